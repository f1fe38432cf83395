// Framing of the raw data file: preamble scan, dropped and invalid types,
// the type table's skips, progress pacing, abort.
//
// Records without a decoder frame themselves by the type table, and an
// invalid-type header works as a probe: its message tells the record
// number and the previous record type the reader arrived with.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "host/library_state.h"
#include "support/harness.h"

namespace morvelin::test {
namespace {

namespace fs = std::filesystem;

Bytes Probe(std::uint8_t invalid_type = 30) { return {0x74, 4, 0, invalid_type}; }

std::string ProbeText(int number, int invalid_type, int previous) {
  return "Error(" + std::to_string(number) + "): Invalid record type (" + std::to_string(invalid_type) +
         ") encountered--Previous record type is " + std::to_string(previous);
}

// A record of a type without a decoder, of the table's length, whose
// payload hides a probe that a wrong skip would find.
RawBuilder& TableRecord(RawBuilder& raw, std::uint8_t type, int expected_length) {
  Bytes payload(static_cast<std::size_t>(expected_length - 4), 0);
  payload[1] = 0x74;
  payload[2] = 4;
  payload[4] = 31;
  return raw.Record(type, payload, expected_length);
}

Conversion ConvertBytes(const Bytes& bytes, const ConvertOptions& options = {}) {
  TempDir dir;
  std::string path = dir.File("ABCD1230.DAT");
  WriteBytes(path, bytes);
  return ConvertAsHost(path, options);
}

TEST(RecordStream, TypesWithoutDecoderAreSkippedByTheTable) {
  struct Case {
    std::uint8_t type;
    int length;
  } cases[] = {{1, 82}, {2, 82}, {3, 206}, {9, 9}, {10, 90}};
  for (const Case& c : cases) {
    RawBuilder raw;
    TableRecord(raw, c.type, c.length).Raw(Probe());
    Conversion conversion = ConvertBytes(raw.Get());
    ASSERT_EQ(conversion.messages.size(), 1u) << int(c.type);
    EXPECT_EQ(conversion.messages[0], (Message{-1.0, ProbeText(2, 30, c.type)})) << int(c.type);
  }
}

TEST(RecordStream, TypesWithoutLengthAreFramedByTheirHeader) {
  for (std::uint8_t type : {4, 13, 14}) {
    RawBuilder raw;
    raw.Record(type, {0, 0x74, 4, 0, 31, 0}).Raw(Probe());
    Conversion framed = ConvertBytes(raw.Get());
    ASSERT_EQ(framed.messages.size(), 1u) << int(type);
    EXPECT_EQ(framed.messages[0].text, ProbeText(2, 30, type));

    // A length below 4 frames nothing: scanning goes on after the header.
    RawBuilder short_length;
    short_length.Record(type, {}, 2).Raw(Probe());
    Conversion rescanned = ConvertBytes(short_length.Get());
    ASSERT_EQ(rescanned.messages.size(), 1u) << int(type);
    EXPECT_EQ(rescanned.messages[0].text, ProbeText(2, 30, type));
  }
}

TEST(RecordStream, JunkIsPassedOverSilently) {
  RawBuilder raw;
  raw.Raw({1, 2, 3, 0x73, 0x75, 0xFF}).Record(9, {0, 0, 0, 0, 0}).Raw({0, 0, 9, 17}).Raw(Probe(22));
  Conversion c = ConvertBytes(raw.Get());
  ASSERT_EQ(c.messages.size(), 1u);
  EXPECT_EQ(c.messages[0], (Message{-1.0, ProbeText(2, 22, 9)}));
  EXPECT_EQ(c.error_text, ProbeText(2, 22, 9)) << "the last message stays for GetErrString";
  EXPECT_EQ(c.result, 0);
}

TEST(RecordStream, FirstInvalidTypeReportsNinetyNine) {
  Conversion c = ConvertBytes(Probe(255));
  ASSERT_EQ(c.messages.size(), 1u);
  EXPECT_EQ(c.messages[0], (Message{-1.0, ProbeText(1, 255, 99)}));
}

TEST(RecordStream, InvalidTypesAreNotCounted) {
  RawBuilder two;
  two.Raw(Probe(23)).Raw(Probe(24));
  Conversion twice = ConvertBytes(two.Get());
  ASSERT_EQ(twice.messages.size(), 2u);
  EXPECT_EQ(twice.messages[1].text, ProbeText(1, 24, 99));
}

TEST(RecordStream, DroppedTypesHaveTheirPayloadScanned) {
  for (std::uint8_t type : {0, 18}) {
    RawBuilder raw;
    raw.Record(type, {1, 0x74, 4, 0, 30, 2, 3}, 82);
    Conversion c = ConvertBytes(raw.Get());
    ASSERT_EQ(c.messages.size(), 1u) << int(type);
    EXPECT_EQ(c.messages[0].text, ProbeText(1, 30, 99)) << "dropped records are not counted";
  }
}

TEST(RecordStream, TypeSevenSetsTheTimeAndConsumes99Bytes) {
  RawBuilder raw;
  raw.Record(record_type::kTimeTag, PayloadOf<TimeTagRecord>({345600.25}), 10).Raw(Probe());
  Conversion c = ConvertBytes(raw.Get());
  ASSERT_EQ(c.messages.size(), 1u);
  EXPECT_EQ(c.messages[0], (Message{345600.25, ProbeText(2, 30, 7)}));

  // A type-7 record cut inside its time leaves the earlier time in force.
  RawBuilder cut;
  cut.TimeRecord(100.5).Raw(Probe()).Raw({0x74, 82, 0, 7, 1, 2, 3});
  Conversion c2 = ConvertBytes(cut.Get());
  ASSERT_EQ(c2.messages.size(), 1u);
  EXPECT_EQ(c2.messages[0].time, 100.5);
}

TEST(RecordStream, CutHeadersEndTheRunNormally) {
  for (Bytes tail : {Bytes{0x74}, Bytes{0x74, 9}, Bytes{0x74, 9, 0}}) {
    RawBuilder raw;
    raw.Record(9, {0, 0, 0, 0, 0}).Raw(tail);
    Conversion c = ConvertBytes(raw.Get());
    EXPECT_EQ(c.result, 0);
    EXPECT_TRUE(c.messages.empty());
    ASSERT_EQ(c.progress.size(), 1u);
    EXPECT_EQ(c.progress[0].first, static_cast<int>(raw.Size()));
  }
}

RawBuilder NineByteRecords(int count) {
  RawBuilder raw;
  for (int i = 0; i < count; ++i) raw.Record(9, {0, 0, 0, 0, 0});
  return raw;
}

TEST(RecordStream, ProgressEveryFiftyRecordsThenOnceAtTheEnd) {
  struct Case {
    int records;
    std::vector<std::pair<int32_t, int32_t>> progress;
  } cases[] = {
      {49, {{441, 441}}},
      {50, {{49 * 9 + 4, 450}, {450, 450}}},
      {100, {{49 * 9 + 4, 900}, {99 * 9 + 4, 900}, {900, 900}}},
  };
  for (const Case& c : cases) {
    Conversion conversion = ConvertBytes(NineByteRecords(c.records).Get());
    EXPECT_EQ(conversion.progress, c.progress) << c.records;
  }
  ConvertOptions silent;
  silent.progress_callback = false;
  EXPECT_TRUE(ConvertBytes(NineByteRecords(100).Get(), silent).progress.empty());
}

TEST(RecordStream, DroppedAndInvalidRecordsDoNotAdvanceProgress) {
  RawBuilder raw = NineByteRecords(49);
  raw.Raw(Probe()).Record(0, {}, 4).Record(18, {}, 4).Record(9, {0, 0, 0, 0, 0});
  Conversion c = ConvertBytes(raw.Get());
  ASSERT_EQ(c.progress.size(), 2u);
  EXPECT_EQ(c.progress[0].first, static_cast<int32_t>(raw.Size() - 5));
}

TEST(RecordStream, AbortFromTheProgressCallbackStopsAfterTheRecord) {
  ConvertOptions options;
  options.on_progress = [](int call) {
    if (call == 1) Abort();
  };
  Conversion c = ConvertBytes(NineByteRecords(200).Get(), options);
  EXPECT_EQ(c.result, 1);
  EXPECT_EQ(c.error_text, "User Quit");
  ASSERT_EQ(c.progress.size(), 2u) << "stopped after record 50, then the final call";
  EXPECT_EQ(c.progress[1], std::make_pair(1800, 1800));
}

TEST(RecordStream, AbortFromAnotherThread) {
  ConvertOptions options;
  options.on_progress = [](int call) {
    if (call == 2) std::thread([] { Abort(); }).join();
  };
  Conversion c = ConvertBytes(NineByteRecords(500).Get(), options);
  EXPECT_EQ(c.result, 1);
  EXPECT_EQ(c.error_text, "User Quit");
  EXPECT_EQ(c.progress.size(), 3u);
}

TEST(RecordStream, AbortFromTheMessageCallback) {
  ConvertOptions options;
  options.on_message = [](int) { Abort(); };
  RawBuilder raw;
  raw.Raw(Probe()).Raw(Probe());
  Conversion c = ConvertBytes(raw.Get(), options);
  EXPECT_EQ(c.result, 1);
  EXPECT_EQ(c.messages.size(), 1u);
}

#if !defined(_WIN32)
TEST(RecordStream, FilesOfTwoGibibytesAndMoreKeepTheProgressRatio) {
  TempDir dir;
  std::string path = dir.File("LONG1230.DAT");
  WriteBytes(path, Probe());
  std::error_code error;
  fs::resize_file(path, 5ull << 30, error);  // sparse
  if (error) GTEST_SKIP() << "no sparse files here";
  ConvertOptions options;
  options.on_message = [](int) { Abort(); };
  Conversion c = ConvertAsHost(path, options);
  EXPECT_EQ(c.result, 1);
  ASSERT_EQ(c.progress.size(), 1u);
  EXPECT_EQ(c.progress[0], std::make_pair(int32_t{5 << 28}, int32_t{5 << 28}));
}
#endif

TEST(Progress, ScalesPositionAndLengthByOnePowerOfTwo) {
  struct Case {
    std::int64_t position, length;
    std::int32_t scaled_position, scaled_length;
  } cases[] = {
      {10, 20, 10, 20},
      {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX},
      {3'000'000'000, 6'000'000'000, 750'000'000, 1'500'000'000},
      {1, 4'294'967'296, 0, 1 << 30},
  };
  for (const Case& c : cases) {
    std::int32_t position = -1, length = -1;
    ScaleProgress(c.position, c.length, position, length);
    EXPECT_EQ(std::make_pair(position, length), std::make_pair(c.scaled_position, c.scaled_length)) << c.length;
  }
}

}  // namespace
}  // namespace morvelin::test
