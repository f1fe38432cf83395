// Ephemeris records (types 20 and 21) and the ephemeris file, end to end
// through the host interface.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/ephemeris_payloads.h"
#include "support/harness.h"

namespace morvelin::test {
namespace {

const std::string kHeader = "$EPHREC Ver6.02 MORVELIN \n";

struct EphemerisRun {
  Conversion conversion;
  std::string epp;  // with "\n" line ends
};

// The platform's line ends back to "\n", after checking that every line
// of the file ends the platform's way.
std::string Unix(const std::string& on_disk) {
  std::string text;
  for (char c : on_disk)
    if (c != '\r') text += c;
  EXPECT_EQ(on_disk, LineEnds(text));
  return text;
}

EphemerisRun ConvertRaw(const RawBuilder& raw, const ConvertOptions& options = {}) {
  TempDir dir;
  const std::string path = dir.File("EPHM0010.DAT");
  raw.WriteTo(path);
  EphemerisRun run;
  run.conversion = ConvertAsHost(path, options);
  EXPECT_EQ(run.conversion.result, 0) << run.conversion.error_text;
  run.epp = Unix(ReadText(WithExtension(path, ".epp")));
  return run;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<Message> EphemerisMessages(const Conversion& conversion) {
  std::vector<Message> found;
  for (const Message& message : conversion.messages)
    if (message.text.starts_with("Ephemeris")) found.push_back(message);
  return found;
}

EphemerisRecord FullEphemeris() {
  EphemerisRecord eph;
  eph.prn = 7;
  eph.el1_1 = -2;
  eph.el1_4 = -3;
  eph.iode = 45;
  eph.el1_2 = 123456;
  eph.el1_5 = -654321;
  eph.toe = 345600;
  eph.el1_3 = 1.5e-9;
  eph.el2_1 = 0.1;
  eph.el2_2 = -0.25;
  eph.el2_3 = 0.0;
  eph.crs = 12.34375;
  eph.delta_n = 1.4e-9;
  eph.m0 = 0.5;
  eph.cuc = -3e-7;
  eph.eccentricity = 0.0123456789;
  eph.cus = 5e-6;
  eph.sqrt_a = 5153.6789;
  eph.cic = 1e-8;
  eph.omega0 = -0.75;
  eph.cis = -2e-8;
  eph.i0 = 0.3;
  eph.crc = 250.5;
  eph.omega = 0.9;
  eph.omega_dot = -2.6e-9;
  eph.idot = 1e-10;
  return eph;
}

const std::string kFullBlock =
    "GpsEph { Prn: 7\n"
    "\tEl1: -2 123456 1.50000001e-09 -3 -654321\n"
    "\tEl2: 1.00000001e-01 -2.50000000e-01 0.00000000e+00\n"
    "\tEl3: 45 1.23437500e+01 4.39822978e-09 1.57079632679490e+00\n"
    "\tEl4: -9.42477811e-07 1.23456789000000e-02 1.57079630e-05 5.15367890000000e+03\n"
    "\tEl5: 345600 3.14159259e-08 -2.35619449019234e+00 -6.28318517e-08\n"
    "\tEl6: 9.42477796076938e-01 2.50500000e+02 2.82743338823081e+00 -8.16814083e-09 3.14159254e-10\n"
    "}\n";

RawBuilder& AddEphemeris(RawBuilder& raw, const EphemerisRecord& eph, int length_byte = kEphemerisRecordLength) {
  return raw.Record(kEphemerisType, EphemerisPayload(eph), length_byte);
}

TEST(EphemerisFile, WholeBlockWithMessageAndCount) {
  RawBuilder raw;
  AddEphemeris(raw, FullEphemeris());
  EphemerisRun run = ConvertRaw(raw);
  EXPECT_EQ(run.epp, kHeader + kFullBlock);
  EXPECT_EQ(run.conversion.counts[1], 1);
  EXPECT_EQ(EphemerisMessages(run.conversion), (std::vector<Message>{{345600.0, "Ephemeris recived on PRN 7"}}));
}

TEST(EphemerisFile, RunWithoutEphemeridesLeavesTheHeaderAlone) {
  RawBuilder raw;
  raw.Record(kSkippedEphemerisType, Bytes(20, 0x74), 24);
  EphemerisRun run = ConvertRaw(raw);
  EXPECT_EQ(run.epp, kHeader);
  EXPECT_EQ(run.conversion.counts[1], 0);
  EXPECT_TRUE(EphemerisMessages(run.conversion).empty());
}

TEST(EphemerisFile, RepeatedEphemerisIsWrittenEachTime) {
  RawBuilder raw;
  AddEphemeris(raw, FullEphemeris());
  AddEphemeris(raw, FullEphemeris());
  EphemerisRun run = ConvertRaw(raw);
  EXPECT_EQ(run.epp, kHeader + kFullBlock + kFullBlock);
  EXPECT_EQ(run.conversion.counts[1], 2);
  const Message message{345600.0, "Ephemeris recived on PRN 7"};
  EXPECT_EQ(EphemerisMessages(run.conversion), (std::vector<Message>{message, message}));
}

struct NumericCase {
  const char* name;
  std::function<void(EphemerisRecord&)> set;
  std::size_t line;  // 0-based line of the block
  std::string expected_line;
  double message_time;
  std::string message;
};

class EphemerisNumbers : public testing::TestWithParam<NumericCase> {};

TEST_P(EphemerisNumbers, PrintAsTheirWidthsSay) {
  const NumericCase& c = GetParam();
  EphemerisRecord eph{.prn = 1};
  c.set(eph);
  RawBuilder raw;
  AddEphemeris(raw, eph);
  EphemerisRun run = ConvertRaw(raw);
  std::vector<std::string> lines = Lines(run.epp);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[1 + c.line], c.expected_line);
  EXPECT_EQ(EphemerisMessages(run.conversion), (std::vector<Message>{{c.message_time, c.message}}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EphemerisNumbers,
    testing::Values(
        NumericCase{"SingleShowsItsOwnDigits", [](EphemerisRecord& e) { e.el2_1 = 0.1; }, 2,
                    "\tEl2: 1.00000001e-01 0.00000000e+00 0.00000000e+00", 0.0, "Ephemeris recived on PRN 1"},
        NumericCase{"PiScaledDouble", [](EphemerisRecord& e) { e.m0 = 0.5; }, 3,
                    "\tEl3: 0 0.00000000e+00 0.00000000e+00 1.57079632679490e+00", 0.0,
                    "Ephemeris recived on PRN 1"},
        NumericCase{"PiScaledSingle", [](EphemerisRecord& e) { e.delta_n = 0.5; }, 3,
                    "\tEl3: 0 0.00000000e+00 1.57079637e+00 0.00000000000000e+00", 0.0,
                    "Ephemeris recived on PRN 1"},
        NumericCase{"BitCopiedDoubleIsNotScaled", [](EphemerisRecord& e) { e.eccentricity = 0.5; }, 4,
                    "\tEl4: 0.00000000e+00 5.00000000000000e-01 0.00000000e+00 0.00000000000000e+00", 0.0,
                    "Ephemeris recived on PRN 1"},
        NumericCase{"El1Value1IsSigned16Bit", [](EphemerisRecord& e) { e.el1_1 = -1; }, 1,
                    "\tEl1: -1 0 0.00000000e+00 0 0", 0.0, "Ephemeris recived on PRN 1"},
        NumericCase{"El1Value4IsSignExtended", [](EphemerisRecord& e) { e.el1_4 = -32768; }, 1,
                    "\tEl1: 0 0 0.00000000e+00 -32768 0", 0.0, "Ephemeris recived on PRN 1"},
        NumericCase{"PrnAbove127IsUnsigned", [](EphemerisRecord& e) { e.prn = 200; }, 0, "GpsEph { Prn: 200", 0.0,
                    "Ephemeris recived on PRN 200"},
        NumericCase{"IodeAbove127IsUnsigned", [](EphemerisRecord& e) { e.iode = 255; }, 3,
                    "\tEl3: 255 0.00000000e+00 0.00000000e+00 0.00000000000000e+00", 0.0,
                    "Ephemeris recived on PRN 1"},
        NumericCase{"NegativeToeIsTheMessageTime", [](EphemerisRecord& e) { e.toe = -1; }, 5,
                    "\tEl5: -1 0.00000000e+00 0.00000000000000e+00 0.00000000e+00", -1.0,
                    "Ephemeris recived on PRN 1"},
        NumericCase{"ToeIsTheMessageTime", [](EphemerisRecord& e) { e.toe = 900; }, 5,
                    "\tEl5: 900 0.00000000e+00 0.00000000000000e+00 0.00000000e+00", 900.0,
                    "Ephemeris recived on PRN 1"},
        NumericCase{"SingleOverflowsToInfinity", [](EphemerisRecord& e) { e.crc = -1e300; }, 6,
                    "\tEl6: 0.00000000000000e+00 -inf 0.00000000000000e+00 0.00000000e+00 0.00000000e+00", 0.0,
                    "Ephemeris recived on PRN 1"}),
    [](const testing::TestParamInfo<NumericCase>& info) { return std::string(info.param.name); });

// What follows a type-20 record must still be framed: its payload holds a
// complete ephemeris record that would be converted if it were scanned.
TEST(EphemerisFile, SkippedTypeIsFramedByItsLength) {
  struct Case {
    int length_byte;
    Bytes payload;
  };
  const Bytes hidden_record = RawBuilder().Record(kEphemerisType, EphemerisPayload(EphemerisRecord{.prn = 1})).Get();
  Bytes inside(hidden_record.begin(), hidden_record.begin() + 36);
  for (const Case& c : {Case{4, {}}, Case{40, inside}, Case{2, {}}}) {
    SCOPED_TRACE(c.length_byte);
    RawBuilder raw;
    raw.Record(kSkippedEphemerisType, c.payload, c.length_byte);
    AddEphemeris(raw, FullEphemeris());
    EphemerisRun run = ConvertRaw(raw);
    EXPECT_EQ(run.epp, kHeader + kFullBlock);
    EXPECT_EQ(run.conversion.counts[1], 1);
  }
}

// A wrong length byte does not change what a type-21 record consumes.
TEST(EphemerisFile, LengthByteIsNotConsulted) {
  for (int length_byte : {0, 10, 255}) {
    SCOPED_TRACE(length_byte);
    RawBuilder raw;
    AddEphemeris(raw, FullEphemeris(), length_byte);
    AddEphemeris(raw, FullEphemeris());
    EphemerisRun run = ConvertRaw(raw);
    EXPECT_EQ(run.epp, kHeader + kFullBlock + kFullBlock);
    EXPECT_EQ(run.conversion.counts[1], 2);
  }
}

// A record cut by the end of the file is dropped whole; the bytes of the
// complete record before it never fill its gaps.
TEST(EphemerisFile, CutRecordWritesNothing) {
  const Bytes cut_record = RawBuilder().Record(kEphemerisType, EphemerisPayload(EphemerisRecord{.prn = 1})).Get();
  for (std::size_t kept : {std::size_t{4}, std::size_t{5}, std::size_t{100}, std::size_t{189}}) {
    SCOPED_TRACE(kept);
    RawBuilder raw;
    AddEphemeris(raw, FullEphemeris());
    raw.Raw(Bytes(cut_record.begin(), cut_record.begin() + static_cast<std::ptrdiff_t>(kept)));
    EphemerisRun run = ConvertRaw(raw);
    EXPECT_EQ(run.epp, kHeader + kFullBlock);
    EXPECT_EQ(run.conversion.counts[1], 1);
    EXPECT_EQ(EphemerisMessages(run.conversion).size(), 1u);
  }
}

TEST(EphemerisFile, WithoutMessageCallbackTheBlockIsStillWritten) {
  RawBuilder raw;
  AddEphemeris(raw, FullEphemeris());
  ConvertOptions options;
  options.message_callback = false;
  EphemerisRun run = ConvertRaw(raw, options);
  EXPECT_EQ(run.epp, kHeader + kFullBlock);
  EXPECT_EQ(run.conversion.counts[1], 1);
  EXPECT_TRUE(run.conversion.messages.empty());
  EXPECT_EQ(run.conversion.error_text, "Ephemeris recived on PRN 7");
}

}  // namespace
}  // namespace morvelin::test
