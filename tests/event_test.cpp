// Event records (type 19): the event blocks in the summary file, the event
// count and the unknown-sub-record warning, end to end through the host
// interface.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/harness.h"

namespace morvelin::test {
namespace {

constexpr std::uint8_t kEventType = record_type::kEvent;
constexpr double kTimeMs = 345600123.456;  // 345600.123456 s

struct EventRun {
  Conversion conversion;
  std::string sum;       // as on disk
  std::string baseline;  // the summary file of an empty input of the same name
};

// Converts raw, and an empty input under the same name: the summary that
// the end of the run appends is the same for both (event records feed none
// of its values), so the events' own text is the difference at the front.
EventRun ConvertRaw(const RawBuilder& raw) {
  EventRun run;
  {
    TempDir dir;
    const std::string path = dir.File("EVNT0010.DAT");
    WriteBytes(path, {});
    EXPECT_EQ(ConvertAsHost(path).result, 0);
    run.baseline = ReadText(WithExtension(path, ".sum"));
  }
  TempDir dir;
  const std::string path = dir.File("EVNT0010.DAT");
  raw.WriteTo(path);
  run.conversion = ConvertAsHost(path);
  EXPECT_EQ(run.conversion.result, 0) << run.conversion.error_text;
  run.sum = ReadText(WithExtension(path, ".sum"));
  return run;
}

void ExpectEventText(const EventRun& run, const std::string& events_with_lf) {
  EXPECT_EQ(run.sum, LineEnds(events_with_lf) + run.baseline);
}

Bytes IdAndTime(std::uint16_t id, double time_ms) { return PayloadOf<MarkedEventRecord>({id, time_ms}); }

struct BlockCase {
  const char* name;
  std::uint8_t sub_record;
  Bytes payload;
  std::string block;
  int counted;
};

class EventBlocks : public testing::TestWithParam<BlockCase> {};

TEST_P(EventBlocks, WriteTheirBlockAndCount) {
  const BlockCase& c = GetParam();
  RawBuilder raw;
  raw.Record(kEventType, c.payload, -1, c.sub_record);
  EventRun run = ConvertRaw(raw);
  ExpectEventText(run, c.block);
  EXPECT_EQ(run.conversion.counts[3], c.counted);
  EXPECT_TRUE(run.conversion.messages.empty());
}

// The 4 closing bytes are preambles, which the reader must not take for a record.
const Bytes kComment = PayloadOf<CommentRecord>({12, "hello marker"}, kPreamble);

INSTANTIATE_TEST_SUITE_P(
    SubRecords, EventBlocks,
    testing::Values(
        BlockCase{"ExternalEvent", 0, IdAndTime(1, kTimeMs),
                  "EVENT MARKER 0: (EXTERNAL EVENT)\n    MARKER ID: 1\n    GPS_TIME: 345600.12346\n\n", 1},
        BlockCase{"TimeAdjustment", 1, PayloadOf<TimeAdjustmentRecord>({kTimeMs, 40000}),
                  "EVENT MARKER 1: (RECEIVER TIME ADJUSTMENT)\n    ADJUSTMENT: 40000\n    GPS_TIME: 345600.123\n\n",
                  0},
        BlockCase{"ManualEvent", 2, IdAndTime(2, 1234.5),
                  "EVENT MARKER 2: (MANUAL EVENT)\n    MARK ID: 2\n    GPS_TIME: 1.23450\n\n", 1},
        BlockCase{"Comment", 3, kComment,
                  "EVENT MARKER 3: (EXTERNAL COMMENT)\n    MARK ID: 12\n    COMMENT: hello marker\n\n", 0},
        BlockCase{"Rs232Event", 4, IdAndTime(4, kTimeMs),
                  "EVENT MARKER 4: (RS232 EVENT)\n    MARK ID: 4\n    GPS_TIME: 345600.123\n\n", 1},
        BlockCase{"ExternalEventSecondForm", 7, PayloadOf<SecondFormEventRecord>({9, kTimeMs}, 0xEE),
                  "EVENT MARKER 0: (EXTERNAL EVENT)\n    MARKER ID: 9\n    GPS_TIME: 345600.123456\n\n", 1},
        BlockCase{"IdsPrintUnsigned", 0, IdAndTime(65535, -500.0),
                  "EVENT MARKER 0: (EXTERNAL EVENT)\n    MARKER ID: 65535\n    GPS_TIME: -0.50000\n\n", 1},
        // The comment ends 4 bytes before the end of the payload, or at a NUL.
        BlockCase{"CommentStopsAtNul", 3, PayloadOf<CommentRecord>({1, std::string_view("ab\0cd", 5)}),
                  "EVENT MARKER 3: (EXTERNAL COMMENT)\n    MARK ID: 1\n    COMMENT: ab\n\n", 0},
        BlockCase{"CommentWithoutTextIsEmpty", 3, PayloadBuilder().U16(5).Text("wxyz", 4).Get(),
                  "EVENT MARKER 3: (EXTERNAL COMMENT)\n    MARK ID: 5\n    COMMENT: \n\n", 0},
        // Payloads of 4 and 5 bytes: the end of the comment lies inside the
        // mark ID, which prints as it was received.
        BlockCase{"CommentEndInsideMarkId", 3, PayloadBuilder().U16(0x0102).Text("yz", 2).Get(),
                  "EVENT MARKER 3: (EXTERNAL COMMENT)\n    MARK ID: 258\n    COMMENT: \n\n", 0},
        BlockCase{"LongestComment", 3, PayloadOf<CommentRecord>({7, std::string(245, 'c')}),
                  "EVENT MARKER 3: (EXTERNAL COMMENT)\n    MARK ID: 7\n    COMMENT: " + std::string(245, 'c') +
                      "\n\n",
                  0}),
    [](const testing::TestParamInfo<BlockCase>& info) { return std::string(info.param.name); });

// Records too short for their sub-record's fields write nothing and count
// nothing; the next record is framed all the same.
TEST(EventRecords, ShortPayloadsWriteNothing) {
  struct Case {
    std::uint8_t sub_record;
    Bytes payload;
    int length_byte;
  };
  const std::vector<Case> cases = {
      {0, IdAndTime(1, kTimeMs), 13},   // time cut
      {1, PayloadBuilder().F64(kTimeMs).U8(1).Get(), -1},
      {2, PayloadBuilder().U16(1).Get(), -1},
      {3, PayloadBuilder().U16(1).U8('a').Get(), -1},  // no room for the 4 closing bytes
      {3, {}, -1},
      {4, Bytes(9, 0x11), -1},
      {7, IdAndTime(1, kTimeMs), -1},  // the leading byte is missing
      {0, {}, 3},                      // length byte below the header
      {2, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "sub-record " << int{c.sub_record} << ", " << c.payload.size() << " bytes");
    RawBuilder raw;
    raw.Record(kEventType, c.payload, c.length_byte, c.sub_record);
    raw.Record(kEventType, IdAndTime(8, 1000.0), -1, 2);
    EventRun run = ConvertRaw(raw);
    ExpectEventText(run, "EVENT MARKER 2: (MANUAL EVENT)\n    MARK ID: 8\n    GPS_TIME: 1.00000\n\n");
    EXPECT_EQ(run.conversion.counts[3], 1);
    EXPECT_TRUE(run.conversion.messages.empty());
  }
}

// A record cut by the end of the file takes nothing from the record
// before it.
TEST(EventRecords, CutRecordAtEndOfFileWritesNothing) {
  const Bytes full = RawBuilder().Record(kEventType, IdAndTime(6, 2000.0), -1, 0).Get();
  const Bytes comment = RawBuilder().Record(kEventType, kComment, -1, 3).Get();
  for (const Bytes* record : {&full, &comment}) {
    for (std::size_t kept : {std::size_t{4}, std::size_t{6}, record->size() - 1}) {
      SCOPED_TRACE(kept);
      RawBuilder raw;
      raw.Record(kEventType, IdAndTime(1, kTimeMs), -1, 0);
      raw.Raw(Bytes(record->begin(), record->begin() + static_cast<std::ptrdiff_t>(kept)));
      EventRun run = ConvertRaw(raw);
      ExpectEventText(run, "EVENT MARKER 0: (EXTERNAL EVENT)\n    MARKER ID: 1\n    GPS_TIME: 345600.12346\n\n");
      EXPECT_EQ(run.conversion.counts[3], 1);
    }
  }
}

TEST(EventRecords, UnknownSubRecordsWarnAndWriteNothing) {
  for (std::uint8_t sub_record : {5, 6, 8, 100, 255}) {
    SCOPED_TRACE(int{sub_record});
    RawBuilder raw;
    raw.Record(kEventType, IdAndTime(1, kTimeMs), -1, sub_record);
    EventRun run = ConvertRaw(raw);
    ExpectEventText(run, "");
    EXPECT_EQ(run.conversion.counts[3], 0);
    const std::string warning = "Warning: Unknown subrecord " + std::to_string(sub_record) + " in record 19";
    EXPECT_EQ(run.conversion.messages, (std::vector<Message>{{0.0, warning}}));
    EXPECT_EQ(run.conversion.error_text, warning);
  }
}

// The warning carries the rounded time of the latest epoch.
TEST(EventRecords, WarningTimeIsTheLatestEpoch) {
  RawBuilder raw;
  raw.Measurement(345600000.0, 0.0, {RawSatellite{}});
  raw.Measurement(345601000.0, 0.0, {RawSatellite{}});
  raw.Record(kEventType, {}, -1, 6);
  Conversion conversion = ConvertRaw(raw).conversion;
  std::vector<Message> warnings;
  for (const Message& message : conversion.messages)
    if (message.text.starts_with("Warning: Unknown")) warnings.push_back(message);
  EXPECT_EQ(warnings, (std::vector<Message>{{345601.0, "Warning: Unknown subrecord 6 in record 19"}}));
}

TEST(EventRecords, BlocksFollowEachOtherInRecordOrder) {
  RawBuilder raw;
  raw.Record(kEventType, IdAndTime(1, 1000.0), -1, 4);
  raw.Record(kEventType, kComment, -1, 3);
  raw.Record(kEventType, IdAndTime(1, 1000.0), -1, 5);
  raw.Record(kEventType, IdAndTime(2, 2000.0), -1, 0);
  EventRun run = ConvertRaw(raw);
  ExpectEventText(run,
                  "EVENT MARKER 4: (RS232 EVENT)\n    MARK ID: 1\n    GPS_TIME: 1.000\n\n"
                  "EVENT MARKER 3: (EXTERNAL COMMENT)\n    MARK ID: 12\n    COMMENT: hello marker\n\n"
                  "EVENT MARKER 0: (EXTERNAL EVENT)\n    MARKER ID: 2\n    GPS_TIME: 2.00000\n\n");
  EXPECT_EQ(run.conversion.counts[3], 2);
}

}  // namespace
}  // namespace morvelin::test
