// Station, antenna and position records: the decoder on its own (what it
// reads, what it leaves to skip, what it changes) and whole conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "records/station.h"
#include "support/decoder_harness.h"
#include "support/harness.h"
#include "support/station_payloads.h"

using namespace morvelin;
using namespace morvelin::test;

namespace {

// One record's payload decoded straight through DecodeStationRecord, from
// memory, with a decoding state of the test's own.
class StationDecoderTest : public ::testing::Test {
 protected:
  std::int32_t Decode(std::uint8_t type, const Bytes& payload, int length_byte = -1, std::uint8_t sub_record = 0) {
    return run_.DecodeStation(type, payload, length_byte, sub_record);
  }
  std::int64_t Consumed() const { return run_.Consumed(); }
  std::string Written() const { return run_.StationText(); }
  const StationState& Station() const { return run_.state.station; }

  DecoderHarness run_;
  std::vector<Message>& messages_ = run_.messages;
};

TEST(DegreesToDms, SplitsAngles) {
  struct Case {
    double angle;
    std::int32_t degrees, minutes;
    float seconds;
  };
  const Case cases[] = {
      {12.5, 12, 30, 0.0f},
      {-33.25, -33, 15, 0.0f},
      {370.5, 10, 30, 0.0f},
      {-0.5, 0, 30, 0.0f},  // the sign is lost below one degree
      {0.0, 0, 0, 0.0f},
      // Seconds that round to 60.0 in single precision carry into the minutes once.
      {12.0 + 29.0 / 60.0 + 59.99999999 / 3600.0, 12, 30, 0.0f},
      {12.0 + 59.0 / 60.0 + 59.99999999 / 3600.0, 12, 60, 0.0f},
      {-(359.0 + 59.0 / 60.0 + 59.99999999 / 3600.0), -359, 60, 0.0f},
      {720.25, 0, 15, 0.0f},
      {1e12 + 0.5, 280, 30, 0.0f},  // beyond the int32 range: 1e12 = 360 * 2777777777 + 280
      {std::nan(""), 0, 0, 0.0f},
      {-INFINITY, 0, 0, 0.0f},
  };
  for (const Case& c : cases) {
    std::int32_t degrees = -1, minutes = -1;
    float seconds = -1.0f;
    DegreesToDms(c.angle, &degrees, &minutes, &seconds);
    EXPECT_EQ(degrees, c.degrees) << c.angle;
    EXPECT_EQ(minutes, c.minutes) << c.angle;
    EXPECT_EQ(seconds, c.seconds) << c.angle;
  }
}

// What a record leaves to skip: consumed + skip is where the next record
// starts (or, for records that are skipped by their table length, the
// table length stands whatever the length byte says).
TEST_F(StationDecoderTest, SkipCounts) {
  struct Case {
    const char* name;
    std::uint8_t type;
    Bytes payload;
    int length_byte;
    std::uint8_t sub_record;
    std::int32_t skip;
    std::int64_t consumed;
  };
  const Case cases[] = {
      {"type 5 name", 5, StationNamePayload("BASE1"), -1, 0, 87, 7},
      {"type 5 receiver", 5, ReceiverTypePayload(4), -1, 0, 23, 37},
      {"type 5 other size", 5, Bytes(40, 1), -1, 0, 40, 0},
      {"type 5 length byte 2", 5, {}, 2, 0, 0, 0},
      {"type 6", 6, AntennaHeightPayload(1.0), -1, 0, 0, 160},
      {"type 6 other length", 6, Bytes(100, 0), -1, 0, 160, 0},
      {"type 8", 8, AntennaNoticePayload(1000.0, 1.0), -1, 0, 0, 20},
      {"type 8 other length", 8, Bytes(30, 0), -1, 0, 20, 0},
      {"type 11", 11, PositionPayload(0.1, 0.2, 3.0, 4.0, 12), -1, 0, 0, 44},
      {"type 11 short", 11, Bytes(20, 0), -1, 0, 0, 20},
      {"type 11 length byte 1", 11, {}, 1, 0, 0, 0},
      {"type 12 16-bit length", 12, {}, 0x10, 0x01, 0x110 - 4, 0},
      {"type 12 length 3", 12, {}, 3, 0, 0, 0},
      {"type 15", 15, {}, 50, 0, 46, 0},
      {"type 15 length 0", 15, {}, 0, 0, 0, 0},
      {"type 16", 16, StationEntryPayload("d", "1", "n"), -1, 3, 0, 67},
      {"type 16 length byte 0", 16, {}, 0, 3, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Decode(c.type, c.payload, c.length_byte, c.sub_record), c.skip) << c.name;
    EXPECT_EQ(Consumed(), c.consumed) << c.name;
  }
}

TEST_F(StationDecoderTest, StationNameAndReceiverTypeEachChangeOnlyTheirField) {
  Decode(kStationNameType, StationNamePayload("BASE1"));
  EXPECT_STREQ(Station().station_name, "BASE1");
  EXPECT_EQ(Station().receiver_type, 3);
  Decode(kStationNameType, ReceiverTypePayload(4));
  EXPECT_EQ(Station().receiver_type, 4);
  EXPECT_STREQ(Station().station_name, "BASE1");
  Decode(kStationNameType, PayloadBuilder().Zeros(2).Text("XY", 5).Zeros(88).Get());  // 95 bytes
  EXPECT_STREQ(Station().station_name, "BASE1");
  // Cut by the end of the input before the whole name: nothing changes.
  Decode(kStationNameType, PayloadBuilder().Zeros(2).Text("XYZ", 3).Get(), 98);
  EXPECT_STREQ(Station().station_name, "BASE1");
  EXPECT_TRUE(messages_.empty());
}

TEST_F(StationDecoderTest, AntennaRecordsReport) {
  Decode(kAntennaHeightType, AntennaHeightPayload(2.123));
  Decode(kAntennaHeightType, AntennaHeightPayload(-0.0));
  Decode(kAntennaHeightType, AntennaHeightPayload(5.0), 163);  // wrong length byte: nothing
  Decode(kAntennaNoticeType, AntennaNoticePayload(604812345.0, 1.5));
  Decode(kAntennaNoticeType, AntennaNoticePayload(1000.0, 2.0), 25);
  Decode(kAntennaNoticeType, Bytes(12, 0), 24);  // cut before the height: no message
  EXPECT_EQ(messages_, (std::vector<Message>{
                           {-1.0, "Antenna height is 2.123 metres"},
                           {-1.0, "Antenna height is -0.000 metres"},
                           {-1.0, "Record 8 detected, AntHght: 1.500, Name: 0, Time: 604812.3, Mode: 0"},
                       }));
  EXPECT_EQ(Station().logged_antenna_height, 0.0);
  EXPECT_TRUE(std::signbit(Station().logged_antenna_height));
  EXPECT_EQ(Written(), "");
}

TEST_F(StationDecoderTest, PositionRecord) {
  Decode(kPositionType, PositionPayload(0.25, -(12.5 + 1.0 / 3600.0) / 180.0, 123.5, -7.25, 8));
  EXPECT_EQ(Station().latitude, 45.0);
  EXPECT_DOUBLE_EQ(Station().longitude, -(12.5 + 1.0 / 3600.0));
  EXPECT_EQ(Station().height, 123.5);
  EXPECT_EQ(Station().clock_offset, -7.25);
  // Under 32 bytes the record holds no whole position: it changes nothing.
  Bytes short_position = PositionPayload(0.5, 0.5, 1.0, 1.0);
  short_position.resize(31);
  Decode(kPositionType, short_position);
  EXPECT_EQ(Station().latitude, 45.0);
  EXPECT_EQ(Station().height, 123.5);
  EXPECT_EQ(Station().clock_offset, -7.25);
}

TEST_F(StationDecoderTest, MotionModeSubRecords) {
    Decode(kStationSubRecordType, {}, -1, 2);
  EXPECT_EQ(Station().motion_mode, 2);
  Decode(kStationSubRecordType, {}, 2, 1);  // length byte below 4: still acts
  EXPECT_EQ(Station().motion_mode, 0);
  Decode(kStationSubRecordType, Bytes(10, 0), -1, 2);
  EXPECT_EQ(Station().motion_mode, 2);
  Decode(kStationSubRecordType, {}, -1, 4);
  EXPECT_EQ(Station().motion_mode, 2);
}

TEST_F(StationDecoderTest, TimeMarks) {
  struct Case {
    std::uint8_t sub_record;
    Bytes payload;
    double time_after;
    bool bad;
  };
  const Case cases[] = {
      {5, TimeMarkPayload("123456"), 123456.0, false},
      {27, TimeMarkPayload("  72.5"), 72.5, false},
      {5, TimeMarkPayload("12345A"), 12345.0, false},  // stops at the letter
      {5, PayloadBuilder().Text("1234567", 8).Get(), 123456.0, false},  // only six characters count
      {5, PayloadBuilder().Text("98", 6).Text("7", 2).Get(), 98.0, false},  // a NUL ends it
      {27, TimeMarkPayload("      "), 98.0, true},
      {5, TimeMarkPayload("ABCDEF"), 98.0, true},
      {5, TimeMarkPayload("inf"), 98.0, true},
      {5, PayloadBuilder().Text("12345", 5).Get(), 98.0, true},  // shorter than a time mark
      {5, {}, 98.0, true},
  };
  int index = 0;
  for (const Case& c : cases) {
    messages_.clear();
    Decode(kStationSubRecordType, c.payload, -1, c.sub_record);
    EXPECT_EQ(Station().current_time, c.time_after) << index;
    const std::vector<Message> expected =
        c.bad ? std::vector<Message>{{-1.0, "Bad time mark detected on record 16-sub-5"}} : std::vector<Message>{};
    EXPECT_EQ(messages_, expected) << index;
    ++index;
  }
}

TEST_F(StationDecoderTest, StationLineSubRecords) {
  run_.state.station.current_time = 7200.0;
  Decode(kStationSubRecordType, StationEntryPayload("entry", " 1.25", "PT03"), -1, 3);
  Decode(kStationSubRecordType, DescribedPointPayload(std::string(50, 'x'), "PT29ABCD"), -1, 29);
  Decode(kStationSubRecordType, HeightEntryPayload("1.500", 'S', "P30S"), -1, 30);
  Decode(kStationSubRecordType, HeightEntryPayload("1.600", 'V', "P30V"), -1, 30);
  Decode(kStationSubRecordType, HeightEntryPayload("1.700", 'A', "P30A"), -1, 30);
  Decode(kStationSubRecordType, HeightEntryPayload("1.800", 'S', "P30n34", "Z"), -1, 30);
  Decode(kStationSubRecordType, HeightEntryPayload("1.900", 'S', "P30long", std::string(40, 'L')), -1, 30);
  Decode(kStationSubRecordType, HeightEntryPayload("2.000", '\0', "P30nul"), -1, 30);
  Decode(kStationSubRecordType, PointDescriptionPayload("PT31", "described point"), -1, 31);
  Decode(kStationSubRecordType, PointDescriptionPayload("PT31", ""), -1, 31);
  Decode(kStationSubRecordType, PayloadBuilder().Text("PT31short", 9).Get(), -1, 31);  // count below 0
  Decode(kStationSubRecordType, HeightOnlyPayload("3.25"), -1, 43);
  Decode(kStationSubRecordType, DescribedPointPayload("after 43", "PT29"), -1, 29);
  EXPECT_EQ(Written(), LineEnds("STA:  *  7200.0  * PT03  *  1.250  *  entry  * \n"
                                "STA:  *  7200.0  * PT29ABCD  *  1.250  *  xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx  * \n"
                                "STA:  *  7200.0  * P30S  *  1.500  *  Uncorrected HI  * \n"
                                "STA:  *  7200.0  * P30V  *  1.600  *  True-vert HI  * \n"
                                "STA:  *  7200.0  * P30A  *  1.700  *  See 'A'-antenna.ini  * \n"
                                "STA:  *  7200.0  * P30n34  *  1.800  *  Z  * \n"
                                "STA:  *  7200.0  * P30long  *  1.900  *  LLLLLLLLLLLLLLLLLLLLLLLLLLLLLLLL  * \n"
                                "STA:  *  7200.0  * P30nul  *  2.000  *  See '  * \n"
                                "STA:  *  7200.0  * PT31  *  2.000  *  described point  * \n"
                                "STA:  *  7200.0  * PT31  *  2.000  *    * \n"
                                "STA:  *  7200.0  * PT31shor  *  2.000  *    * \n"
                                "STA:  *  7200.0  * PT29  *  3.250  *  after 43  * \n"));
  EXPECT_EQ(run_.station_lines, 12);
  EXPECT_EQ(Station().current_antenna_height, 3.25);
  EXPECT_TRUE(messages_.empty());
}

// Every prefix of every sub-record, as a record cut by the end of the
// input: never a byte of an earlier record, never a byte past the payload.
TEST_F(StationDecoderTest, CutSubRecordsUseOnlyTheirOwnBytes) {
  struct Case {
    std::uint8_t sub_record;
    Bytes payload;
  };
  const Case cases[] = {
      {3, StationEntryPayload("entry", "1.25", "PT03")},
      {29, DescribedPointPayload("described", "PT29")},
      {30, HeightEntryPayload("1.5", 'S', "PT30", "description")},
      {30, HeightEntryPayload("1.5", 'Q', "PT30")},
      {31, PointDescriptionPayload("PT31", "description")},
      {43, HeightOnlyPayload("1.5")},
      {5, TimeMarkPayload("123456")},
  };
  for (const Case& c : cases) {
    for (std::size_t size = 0; size <= c.payload.size(); ++size) {
      const Bytes cut(c.payload.begin(), c.payload.begin() + static_cast<std::ptrdiff_t>(size));
      EXPECT_EQ(Decode(kStationSubRecordType, cut, static_cast<int>(c.payload.size()) + 4, c.sub_record), 0);
    }
  }
  const std::string written = Written();
  EXPECT_EQ(written.find('Z'), std::string::npos) << written;
  for (const Message& m : messages_) EXPECT_EQ(m.text.find('Z'), std::string::npos) << m.text;
}

// Short records by their own length byte: a field the payload does not
// reach is not there; a name that starts inside the payload is cut there.
TEST_F(StationDecoderTest, ShortSubRecords) {
  run_.state.station.current_time = 10.0;
  Bytes entry = StationEntryPayload("entry", "1.25", "PT03");
  Decode(kStationSubRecordType, Bytes(entry.begin(), entry.begin() + 58), -1, 3);  // no name: height only
  Decode(kStationSubRecordType, Bytes(entry.begin(), entry.begin() + 61), -1, 3);  // name cut to "PT"
  Decode(kStationSubRecordType, Bytes(entry.begin(), entry.begin() + 55), -1, 3);  // height cut: not taken
  Bytes height_entry = HeightEntryPayload("4.5", 'S', "PT30");
  Decode(kStationSubRecordType, Bytes(height_entry.begin(), height_entry.begin() + 8), -1, 30);
  Decode(kStationSubRecordType, Bytes(height_entry.begin(), height_entry.begin() + 11), -1, 30);
  for (std::uint8_t sub_record : {3, 29, 30, 31, 43}) Decode(kStationSubRecordType, {}, 3, sub_record);
  EXPECT_EQ(Written(), LineEnds("STA:  *  10.0  * PT  *  1.250  *  entry  * \n"
                                "STA:  *  10.0  * PT  *  4.500  *  Uncorrected HI  * \n"));
  EXPECT_EQ(run_.station_lines, 2);
}

// Whole conversions of built raw data files.
class StationConversionTest : public ::testing::Test {
 protected:
  Conversion ConvertRaw(const RawBuilder& raw, const ConvertOptions& options = {}) {
    raw.WriteTo(path_);
    return ConvertAsHost(path_, options);
  }
  std::string Sta() const { return ReadText(WithExtension(path_, ".sta")); }

  TempDir dir_;
  std::string path_ = dir_.File("SITE0010.DAT");
};

TEST_F(StationConversionTest, StationFileAndMessages) {
  RawBuilder raw;
  raw.Record(kStationNameType, StationNamePayload("BASE1"));
  raw.Record(kAntennaHeightType, AntennaHeightPayload(1.5));
  StationSubRecord(raw, 5, TimeMarkPayload("720.00"));
  StationSubRecord(raw, 30, HeightEntryPayload("1.500", 'S', "PT01"));
  raw.Record(kStationNameType, Bytes(40, 0x74));  // skipped whole, preambles and all
  StationSubRecord(raw, 27, TimeMarkPayload("  800x"));
  StationSubRecord(raw, 31, PointDescriptionPayload("PT02", "corner of the wall"));
  StationSubRecord(raw, 5, TimeMarkPayload("abcdef"));
  raw.Record(kLongSkipType, Bytes(300, 0x74), 0x30, 0x01);
  StationSubRecord(raw, 43, HeightOnlyPayload("2.25"));
  raw.Record(kSkippedType, Bytes(20, 0x74));
  StationSubRecord(raw, 29, DescribedPointPayload("described", "PT03"));
  StationSubRecord(raw, 3, StationEntryPayload("entry with height", "  0.75", "PT04XXXX"));
  raw.Record(kAntennaNoticeType, AntennaNoticePayload(812345.0, 1.5));
  raw.Record(kPositionType, PositionPayload(0.25, 0.5, 100.0, 0.0));

  Conversion c = ConvertRaw(raw);
  EXPECT_EQ(c.result, 0) << c.error_text;
  EXPECT_EQ(c.counts[2], 6);
  EXPECT_EQ(Sta(), LineEnds("STA:  *  720.0  * PT01  *  1.500  *  Uncorrected HI  * \n"
                            "STA:  *  800.0  * PT02  *  1.500  *  corner of the wall  * \n"
                            "STA:  *  800.0  * PT03  *  2.250  *  described  * \n"
                            "STA:  *  800.0  * PT04XXXX  *  0.750  *  entry with height  * \n"
                            "STA:  *  800.0  * BASE1  *  0.750  *  Entered at start  * \n"
                            "STA:  *  0.0  * BASE1  *  1.500  *  Entered at start  * \n"));
  EXPECT_EQ(c.messages, (std::vector<Message>{
                            {-1.0, "Antenna height is 1.500 metres"},
                            {-1.0, "Bad time mark detected on record 16-sub-5"},
                            {-1.0, "Record 8 detected, AntHght: 1.500, Name: 0, Time: 812.3, Mode: 0"},
                        }));
  const std::string sum = ReadText(WithExtension(path_, ".sum"));
  EXPECT_NE(sum.find(LineEnds("LAT:      45  0  0.00\nLONG:     90  0  0.00\nHEIGHT: 100.000\n")), std::string::npos)
      << sum;
}

TEST_F(StationConversionTest, AbortedRunStillGetsEndOfRunLines) {
  RawBuilder raw;
  StationSubRecord(raw, 5, TimeMarkPayload("500"));
  StationSubRecord(raw, 43, HeightOnlyPayload("1.75"));
  for (int i = 0; i < 60; ++i) raw.Record(kSkippedType, Bytes(4, 0));
  StationSubRecord(raw, 31, PointDescriptionPayload("LATE", "never reached"));
  ConvertOptions options;
  options.on_progress = [](int call) {
    if (call == 1) Abort();
  };
  Conversion c = ConvertRaw(raw, options);
  EXPECT_EQ(c.result, 1);
  EXPECT_EQ(c.error_text, "User Quit");
  EXPECT_EQ(c.counts[2], 1);
  EXPECT_EQ(Sta(), LineEnds("STA:  *  500.0  *   *  1.750  *  Entered at start  * \n"));
}

TEST_F(StationConversionTest, StateDoesNotCarryIntoTheNextRun) {
  RawBuilder first;
  first.Record(kStationNameType, StationNamePayload("FIRST"));
  StationSubRecord(first, 43, HeightOnlyPayload("1.0"));
  first.Record(kAntennaHeightType, AntennaHeightPayload(2.0));
  EXPECT_EQ(ConvertRaw(first).counts[2], 2);
  RawBuilder second;
  StationSubRecord(second, 31, PointDescriptionPayload("PT", "d"));
  Conversion c = ConvertRaw(second);
  EXPECT_EQ(c.counts[2], 1);
  EXPECT_EQ(Sta(), LineEnds("STA:  *  0.0  * PT  *  0.000  *  d  * \n"));
}

}  // namespace
