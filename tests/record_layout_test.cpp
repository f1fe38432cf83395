// The layout table's round trip: every laid-out record written by the one
// record writer, then framed and read back as its decoder reads it, whole
// values compared. Unused bytes carry a filler, so a field read from the
// wrong place would show.
#include <gtest/gtest.h>

#include <span>
#include <tuple>
#include <typeinfo>
#include <vector>

#include "framing/record_writer.h"
#include "support/raw_builder.h"

namespace morvelin::test {
namespace {

constexpr std::uint8_t kFiller = 0xA5;

template <typename Layout>
struct Sample {
  typename Layout::Value value;
  std::uint8_t sub_record = Layout::kSubRecord;
};

// The record's header as the reader takes it, and its payload.
std::span<const std::uint8_t> Frame(const Bytes& bytes, RecordHeader& header) {
  EXPECT_EQ(bytes.at(0), kPreamble);
  header = {bytes.at(1), bytes.at(2), bytes.at(kTypeByte), 0};
  return std::span(bytes).subspan(kHeaderSize);
}

template <typename Layout>
void ExpectRoundTrip(const Sample<Layout>& sample) {
  SCOPED_TRACE(typeid(Layout).name());
  const Bytes bytes = RecordWriter().Fill(kFiller).Write<Layout>(sample.value, sample.sub_record).Bytes();
  RecordHeader header;
  const std::span<const std::uint8_t> payload = Frame(bytes, header);
  EXPECT_EQ(header.type, Layout::kType);
  EXPECT_EQ(header.sub_record, sample.sub_record);
  // A time tag is framed by the type table, every other record by its length byte.
  if (header.type == record_type::kTimeTag)
    EXPECT_EQ(payload.size(), TimeTagRecord::kReadSize + ExpectedRecordLength(header.type) - kHeaderSize);
  else
    EXPECT_EQ(static_cast<std::size_t>(DeclaredPayloadLength(header)), payload.size());
  typename Layout::Value read{};
  ASSERT_TRUE(ReadFields<Layout>(payload, read));
  EXPECT_EQ(read, sample.value);
}

const auto kSamples = std::tuple{
    Sample<StationNameRecord>{{TextOf<5>("BASE1")}},
    Sample<ReceiverTypeRecord>{{4}},
    Sample<AntennaHeightRecord>{{1.5625}},
    Sample<TimeTagRecord>{{345599.5}},
    Sample<AntennaNoticeRecord>{{345600250.0, 2.5}},
    Sample<PositionRecord>{{47.3769 / 180.0, -8.5417 / 180.0, 408.25, -0.125}},
    Sample<MotionModeRecord>{{}, station_sub_record::kKinematic},
    Sample<StationEntryRecord>{{TextOf<50>("Survey pillar north"), TextOf<8>("1.5625"), TextOf<8>("PT01")}},
    Sample<TimeMarkRecord>{{TextOf<6>("345600")}, station_sub_record::kTimeMarkAgain},
    Sample<DescribedPointRecord>{{TextOf<50>("Point north of the road"), TextOf<8>("PT-N")}},
    Sample<HeightEntryRecord>{{TextOf<8>("1.8"), 'V', TextOf<8>("PT-E"), "East of the road"}},
    Sample<HeightEntryRecord>{{TextOf<8>("1.9"), 'S', TextOf<8>("PT-S"), ""}},
    Sample<PointDescriptionRecord>{{TextOf<8>("PT0007"), "Kinematic point at an event"}},
    Sample<HeightOnlyRecord>{{TextOf<8>("2.25")}},
    Sample<MarkedEventRecord>{{65535, 345600123.25}},
    Sample<MarkedEventRecord>{{7, 345600500.0}, event_sub_record::kRs232Event},
    Sample<TimeAdjustmentRecord>{{345601000.0, 1}},
    Sample<CommentRecord>{{12, "hello marker"}},
    Sample<SecondFormEventRecord>{{9, 345602000.5}},
    Sample<IonosphereRecord>{{{1.1e-8, 1.5e-8, -6e-8, -1.2e-7}, {90112.0, 0.0, -196608.0, 65536.0}}},
    Sample<EphemerisRecord>{{.prn = 200, .el1_1 = -2, .el1_4 = -3, .iode = 255, .el1_2 = 123456, .el1_5 = -654321,
                             .toe = 345600, .el1_3 = 1.5e-9, .el2_1 = 0.1, .el2_2 = -0.25, .el2_3 = 1e-12,
                             .crs = 12.34375, .delta_n = 1.4e-9, .m0 = 0.5, .cuc = -3e-7, .eccentricity = 0.0123456789,
                             .cus = 5e-6, .sqrt_a = 5153.6789, .cic = 1e-8, .omega0 = -0.75, .cis = -2e-8, .i0 = 0.3,
                             .crc = 250.5, .omega = 0.9, .omega_dot = -2.6e-9, .idot = 1e-10}},
};

TEST(RecordLayouts, EveryRecordReadsBackWhatTheWriterWrote) {
  std::apply([](const auto&... sample) { (ExpectRoundTrip(sample), ...); }, kSamples);
}

// The measurement record: its fixed part, then each block, an L2 block
// after the dual-frequency ones.
TEST(RecordLayouts, MeasurementRecordReadsBackBlockByBlock) {
  const std::vector<SatelliteMeasurement> satellites = {
      {3, 0x10, 0x00, 0x01, 21000000.5, 110356789.25, -1234.5, 0.0, 0.0},
      {12, 0x33, 0x01, 0x00, 23456789.125, 123265432.75, 2345.25, 96050000.5, 3.75},
      {31, 0x11, 0x01, 0x01, 20100000.0, 105627000.0, 0.0, 82300000.0, -1.5},
  };
  const Bytes bytes = RecordWriter().Fill(kFiller).Measurement(345600004.0, 0.25, satellites).Bytes();
  RecordHeader header;
  std::span<const std::uint8_t> payload = Frame(bytes, header);
  EXPECT_EQ(header.type, record_type::kMeasurement);

  MeasurementRecord fixed;
  ASSERT_TRUE(ReadFields<MeasurementRecord>(payload, fixed));
  EXPECT_EQ(fixed, (MeasurementRecord{345600004.0, 0.25, 3}));
  payload = payload.subspan(MeasurementRecord::kSize);
  std::vector<SatelliteMeasurement> read(fixed.satellite_count);
  for (SatelliteMeasurement& satellite : read) {
    ASSERT_TRUE(ReadFields<SatelliteBlockLayout>(payload, satellite));
    payload = payload.subspan(SatelliteBlockLayout::kSize);
    if (!satellite.DualFrequency()) continue;
    ASSERT_TRUE(ReadFields<L2BlockLayout>(payload, satellite));
    payload = payload.subspan(L2BlockLayout::kSize);
  }
  EXPECT_TRUE(payload.empty());
  EXPECT_EQ(read, satellites);
}

}  // namespace
}  // namespace morvelin::test
