// The end-of-run block of the summary file: written directly from a run
// state, and after whole conversions (empty, with dropped epochs, stopped).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "formats/summary_file.h"
#include "formats/text_file.h"
#include "morvelin/gpb.h"
#include "support/harness.h"
#include "support/measurement_payloads.h"

namespace morvelin::test {
namespace {

constexpr const char* kSseLine = "RECEIVER TYPE: SSE           \n\n";
constexpr const char* kUnknownLine = "RECEIVER TYPE: UNKNOWN       \n\n";

// A block whose position and counters are all zero.
std::string ZeroBlock(const std::string& sta_line, const std::string& receiver_line) {
  return "\n" + sta_line + receiver_line +
         "LAT:       0  0  0.00\n"
         "LONG:      0  0  0.00\n"
         "HEIGHT: 0.000\n"
         "Clock O/S: 0.000\n"
         "\n\n FLAGS SUMMARY :\n"
         "  L1_only  L1 and L2  L1 Pcode  L1 Ca  Full l2  L2 Squa  L1 Invalid  F3 val.\n"
         "   0        0         0      0      0       0         0        0\n"
         "  Total Number of Observations:  0    \n";
}

// The day text of a conversion: characters 5 to 7 of its path.
std::string DayOf(const Conversion& conversion) { return conversion.path_after.substr(4, 3); }

// The end-of-run block written from a summary of the test's own.
class SummaryBlock : public ::testing::Test {
 protected:
  void SetUp() override { summary_.session = &session_; }

  std::string Write(const char* path) {
    const std::string file = dir_.File("block.sum");
    Result<std::unique_ptr<OutputTarget>> target = OpenFileTarget(file, true);
    EXPECT_TRUE(target.Ok());
    TextFile sum;
    sum.Open(std::move(*target), file.c_str());
    summary_.day_text = SummaryDayText(path);
    WriteSummaryBlock(sum, summary_);
    EXPECT_TRUE(sum.Close());
    return ReadText(file);
  }

  TempDir dir_;
  SessionInfo session_;
  RunSummary summary_;
};

TEST_F(SummaryBlock, PrintsEveryFieldAndLetsWideNumbersPushRight) {
  session_.receiver_type = 4;
  session_.station_name = "SITE1";
  session_.height = 123.4567;
  summary_.latitude_degrees = -33;
  summary_.latitude_minutes = 5;
  summary_.latitude_seconds = 7.25f;
  summary_.longitude_degrees = 151;
  summary_.longitude_minutes = 12;
  summary_.longitude_seconds = 45.5f;
  summary_.clock_offset = -0.0004;
  summary_.measurement_records = 86400;
  summary_.start_time = 518399.6;
  summary_.end_time = 604799.98;
  summary_.counters = {12345, 6789, 10, 5, 0, 100, 7, 99999};
  summary_.total_observations = 22222;

  EXPECT_EQ(Write("SITE2450.dat"), LineEnds("\nSTA: SITE1   DAY # 245   EPOCHS 86400  Start 518400  End 604800\n"
                                            "RECEIVER TYPE: GEODETIC L1/L2\n\n"
                                            "LAT:     -33  5  7.25\n"
                                            "LONG:    151 12 45.50\n"
                                            "HEIGHT: 123.457\n"
                                            "Clock O/S: -0.000\n"
                                            "\n\n FLAGS SUMMARY :\n"
                                            "  L1_only  L1 and L2  L1 Pcode  L1 Ca  Full l2  L2 Squa  L1 Invalid  F3 val.\n"
                                            "   12345        6789         10      5      0       100         7        99999\n"
                                            "  Total Number of Observations:  22222    \n"));
}

// Below one degree the degrees' field still shows the hemisphere.
TEST_F(SummaryBlock, NegativeAnglesUnderOneDegreeKeepTheirSign) {
  summary_.latitude_minutes = 30;
  summary_.latitude_negative = true;
  summary_.longitude_degrees = -12;
  summary_.longitude_negative = true;
  const std::string block = Write("ABCD1230.dat");
  EXPECT_NE(block.find(LineEnds("LAT:      -0 30  0.00\nLONG:    -12  0  0.00\n")), std::string::npos) << block;
}

TEST_F(SummaryBlock, StationNameIsPrintedWhole) {
  session_.receiver_type = 0;
  session_.station_name = "ABCDEFGHIJ";
  EXPECT_EQ(Write("ABCD1230.dat"),
            LineEnds(ZeroBlock("STA: ABCDEFGHIJ   DAY # 123   EPOCHS 0  Start 0  End 0\n", kUnknownLine)));
}

struct ReceiverCase {
  int type;
  const char* line;
};

class ReceiverTypeLine : public SummaryBlock, public ::testing::WithParamInterface<ReceiverCase> {};

TEST_P(ReceiverTypeLine, NamesTheTypeOfTheHandle) {
  session_.receiver_type = static_cast<std::uint8_t>(GetParam().type);
  EXPECT_EQ(Write("ABCD1230.dat"),
            LineEnds(ZeroBlock("STA:    DAY # 123   EPOCHS 0  Start 0  End 0\n", GetParam().line)));
}

INSTANTIATE_TEST_SUITE_P(Types, ReceiverTypeLine,
                         ::testing::Values(ReceiverCase{0, kUnknownLine},
                                           ReceiverCase{1, "RECEIVER TYPE: CA-CODE      \n\n"},
                                           ReceiverCase{2, "RECEIVER TYPE: SST          \n\n"}, ReceiverCase{3, kSseLine},
                                           ReceiverCase{4, "RECEIVER TYPE: GEODETIC L1/L2\n\n"},
                                           ReceiverCase{5, kUnknownLine}, ReceiverCase{255, kUnknownLine}));

struct DayCase {
  const char* path;
  const char* day;
};

class DayText : public SummaryBlock, public ::testing::WithParamInterface<DayCase> {};

TEST_P(DayText, IsCharactersFiveToSevenAsFarAsThePathReaches) {
  EXPECT_EQ(Write(GetParam().path),
            LineEnds(ZeroBlock("STA:    DAY # " + std::string(GetParam().day) + "   EPOCHS 0  Start 0  End 0\n",
                               kSseLine)));
}

INSTANTIATE_TEST_SUITE_P(Paths, DayText,
                         ::testing::Values(DayCase{"ABCD1230.dat", "123"}, DayCase{"C:\\data\\ABCD1230.dat", "ata"},
                                           DayCase{"abcdef", "ef"}, DayCase{"abcde", "e"}, DayCase{"abcd", ""},
                                           DayCase{"", ""}));

// --- After whole conversions ------------------------------------------------

TEST(SummaryFile, EmptyInputGivesTheBlockOfZeros) {
  TempDir dir;
  MeasurementOutcome out = ConvertRaw(dir, RawBuilder());
  ASSERT_EQ(out.conversion.result, 0);
  EXPECT_EQ(out.summary,
            LineEnds(ZeroBlock("STA:    DAY # " + DayOf(out.conversion) + "   EPOCHS 0  Start 0  End 0\n", kSseLine)));
}

// Start is the unrounded time of the first record (101.4999 s prints 101),
// End the rounded time of the last (103.5 s prints 104), even though that
// record's epoch was dropped; EPOCHS counts it, the written count does not.
TEST(SummaryFile, CountsEveryRecordAndTheFlagsOfItsBlocks) {
  RawSatellite pcode = Single(4);
  pcode.f2 = kPCode;
  RawSatellite dual = Dual(5, kFullL2);
  dual.f3 = kF3Valid;
  std::vector<RawSatellite> thirteen;
  for (std::uint8_t prn = 1; prn <= 13; ++prn) thirteen.push_back(Single(prn));
  RawBuilder raw;
  raw.Measurement(101499.9, 0.0, {Single(3, kCycleSlip), pcode, dual});
  raw.Measurement(103499.9, 0.0, thirteen);
  TempDir dir;
  MeasurementOutcome out = ConvertRaw(dir, raw);

  EXPECT_EQ(out.conversion.counts[0], 1);
  EXPECT_EQ(out.summary,
            LineEnds("PRN: 3  L1 Cycle Slip: # 1 at 101.50 \n"
                     "\nSTA:    DAY # " + DayOf(out.conversion) + "   EPOCHS 2  Start 101  End 104\n" + kSseLine +
                     "LAT:       0  0  0.00\n"
                     "LONG:      0  0  0.00\n"
                     "HEIGHT: 0.000\n"
                     "Clock O/S: 0.000\n"
                     "\n\n FLAGS SUMMARY :\n"
                     "  L1_only  L1 and L2  L1 Pcode  L1 Ca  Full l2  L2 Squa  L1 Invalid  F3 val.\n"
                     "   15        1         1      2      1       0         0        1\n"
                     "  Total Number of Observations:  16    \n"));
}

TEST(SummaryFile, StoppedRunWritesTheValuesReachedSoFar) {
  RawBuilder raw;
  raw.Measurement(100000.0, 0.0, {Single(3, kCycleSlip)});
  raw.Measurement(101000.0, 0.0, {Single(3), Single(4)});
  ConvertOptions options;
  options.on_message = [](int) { Abort(); };
  TempDir dir;
  MeasurementOutcome out = ConvertRaw(dir, raw, options);

  EXPECT_EQ(out.conversion.result, 1);
  EXPECT_EQ(out.summary,
            LineEnds("PRN: 3  L1 Cycle Slip: # 1 at 100.00 \n"
                     "\nSTA:    DAY # " + DayOf(out.conversion) + "   EPOCHS 1  Start 100  End 100\n" + kSseLine +
                     "LAT:       0  0  0.00\n"
                     "LONG:      0  0  0.00\n"
                     "HEIGHT: 0.000\n"
                     "Clock O/S: 0.000\n"
                     "\n\n FLAGS SUMMARY :\n"
                     "  L1_only  L1 and L2  L1 Pcode  L1 Ca  Full l2  L2 Squa  L1 Invalid  F3 val.\n"
                     "   1        0         0      1      0       0         0        0\n"
                     "  Total Number of Observations:  1    \n"));
}

}  // namespace
}  // namespace morvelin::test
