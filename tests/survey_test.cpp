// A static survey of a few hundred epochs with everything a receiver
// writes along the way, converted whole and compared against reviewed
// reference outputs in tests/golden/survey/ (the .gpb without its creation
// stamp). MORVELIN_UPDATE_GOLDEN=1 rewrites the references; review the
// difference before committing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/harness.h"

namespace morvelin::test {
namespace {

constexpr std::uint8_t kValidSingle = 0x10;
constexpr std::uint8_t kSlip = 0x02;
constexpr std::uint8_t kFullDual = 0x31;
constexpr std::uint8_t kSquaredDual = 0x11;

RawSatellite Sat(std::uint8_t prn, std::uint8_t f1, int epoch, std::uint8_t f2 = 0, std::uint8_t f3 = 0) {
  RawSatellite s;
  s.prn = prn;
  s.f1 = f1;
  s.f2 = f2;
  s.f3 = f3;
  s.pseudorange = 2.0e7 + 1000.0 * prn + 0.25 * epoch;
  s.phase = 1.0e8 + 5000.0 * prn + 1.5 * epoch;
  s.third = 40.0 + prn;
  s.l2_phase = 7.8e7 + 4000.0 * prn + 1.25 * epoch;
  s.l2_code_offset = 1.5 + 0.125 * prn;
  return s;
}

RawBuilder Survey() {
  RawBuilder raw;
  raw.Write<PositionRecord>({46.25 / 180.0, -122.5125 / 180.0, 152.375, -0.125});
  raw.Write<StationNameRecord>({TextOf<5>("BASE2")});
  raw.Write<ReceiverTypeRecord>({1});
  raw.Write<AntennaHeightRecord>({1.625});
  raw.Write<AntennaNoticeRecord>({604550000.0, 1.625});
  raw.Write<MotionModeRecord>({}, station_sub_record::kStatic);
  raw.Write<StationEntryRecord>({TextOf<50>("Monument under cover"), TextOf<8>("1.711"), TextOf<8>("MON1")});
  // Time marks of their 6 characters alone.
  raw.Record(16, PayloadBuilder().Text("604590", 6).Get(), -1, station_sub_record::kTimeMark);
  raw.Record(16, PayloadBuilder().Text("ABCDEF", 6).Get(), -1, station_sub_record::kTimeMarkAgain);

  for (int k = 0; k < 200; ++k) {
    const double time_ms = (604600.0 + k) * 1000.0 + 4.0;
    std::vector<RawSatellite> sats = {Sat(1, kValidSingle, k, 1), Sat(2, kValidSingle, k),
                                      Sat(3, kValidSingle, k, 0, 1), Sat(4, kValidSingle, k),
                                      Sat(5, kFullDual, k, 1), Sat(6, kSquaredDual, k)};
    if (k == 60) sats[1].f1 |= kSlip;
    if (k == 90) sats[2].f1 = sats[3].f1 = 0x00;  // invalid phases side by side
    if (k == 120) sats.clear();
    if (k == 121)
      for (std::uint8_t prn = 7; prn <= 12; ++prn) sats.push_back(Sat(prn, kValidSingle, k));
    if (k == 122) sats.insert(sats.end(), 7, Sat(20, kValidSingle, k));  // 13 blocks
    if (k == 123) sats.push_back(Sat(40, kValidSingle, k));              // out of range, single
    if (k == 124) sats.insert(sats.begin() + 4, Sat(0, kFullDual, k));   // out of range, dual
    raw.Measurement(time_ms, 0.0000125 * k, sats);
    if (k == 100) {
      raw.Write<DescribedPointRecord>({TextOf<50>("Point north"), TextOf<8>("PT-N")});
      raw.Write<HeightEntryRecord>({TextOf<8>("1.8"), 'S', TextOf<8>("PT-E"), ""});
      raw.Write<HeightEntryRecord>({TextOf<8>("1.9"), 'V', TextOf<8>("PT-S"), "X"});
    }
    if (k == 150) {
      raw.Write<PointDescriptionRecord>({TextOf<8>("PT-W"), "West of the road"});
      raw.Write<HeightOnlyRecord>({TextOf<8>("2.25")});
    }
  }
  // The end of the week: 604800.0 is written, 604800.02 is not, then the
  // receiver time starts again from 0 and locks go on across the crossing.
  raw.Measurement(604800000.0, 0.0, {Sat(1, kValidSingle, 200)});
  raw.Measurement(604800020.0, 0.0, {Sat(1, kValidSingle, 201)});
  for (int k = 0; k < 100; ++k)
    raw.Measurement(1000.0 * k + 4.0, 0.0, {Sat(1, kValidSingle, 202 + k, 1), Sat(5, kFullDual, 202 + k)});
  return raw;
}

std::string Golden(const std::string& name) { return std::string(MORVELIN_TEST_DATA_DIR) + "/golden/survey/" + name; }

TEST(Survey, ConvertsIntoTheReviewedOutputs) {
  TempDir dir;
  std::string path = dir.File("BASE1230.DAT");
  Survey().WriteTo(path);
  Conversion c = ConvertAsHost(path);
  ASSERT_EQ(c.result, 0) << c.error_text;

  std::string messages;
  for (const Message& m : c.messages) messages += std::to_string(m.time) + " " + m.text + "\n";
  messages += "counts " + std::to_string(c.counts[0]) + " " + std::to_string(c.counts[1]) + " " +
              std::to_string(c.counts[2]) + " " + std::to_string(c.counts[3]) + "\n";

  const Bytes gpb = WithoutGpbStamp(ReadBytes(WithExtension(path, ".gpb")));
  const std::string sta = ReadText(WithExtension(path, ".sta"));
  const std::string sum = ReadText(WithExtension(path, ".sum"));
  // The day text comes from the path: make it independent of the folder.
  const std::string day = "DAY # " + path.substr(4, 3) + " ";
  std::string sum_portable = sum;
  sum_portable.replace(sum_portable.find(day), day.size(), "DAY # ### ");
  // Reference texts are kept with "\n"; the file name in the .gpb header is
  // blanked, as it names the scratch folder.
  Bytes gpb_portable = gpb;
  for (std::size_t i = 24; i < 168; ++i) gpb_portable[i] = 0;

  if (std::getenv("MORVELIN_UPDATE_GOLDEN") != nullptr) {
#if !defined(_WIN32)
    WriteBytes(Golden("survey.gpb"), gpb_portable);
    WriteBytes(Golden("survey.sta"), Bytes(sta.begin(), sta.end()));
    WriteBytes(Golden("survey.sum"), Bytes(sum_portable.begin(), sum_portable.end()));
    WriteBytes(Golden("messages.txt"), Bytes(messages.begin(), messages.end()));
#endif
    GTEST_SKIP() << "references rewritten";
  }
  EXPECT_EQ(sta, LineEnds(ReadText(Golden("survey.sta"))));
  EXPECT_EQ(sum_portable, LineEnds(ReadText(Golden("survey.sum"))));
  EXPECT_EQ(messages, ReadText(Golden("messages.txt")));
  EXPECT_TRUE(gpb_portable == ReadBytes(Golden("survey.gpb"))) << "the .gpb differs from the reference";
}

}  // namespace
}  // namespace morvelin::test
