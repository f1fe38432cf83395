// Measurement file reading, appending and searching, against files written
// by the writer and against hand-damaged copies of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "base/message.h"
#include "morvelin/gpb.h"
#include "support/harness.h"

namespace morvelin {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

struct Closer {
  void operator()(MeasurementFile* file) const { CloseMeasurementFile(file); }
};
using Handle = std::unique_ptr<MeasurementFile, Closer>;

std::string Message() { return LibraryMessage(); }

// count observations of PRNs first_prn, first_prn + 1, ... with values that
// tell epochs and satellites apart.
EpochObservationSet Epoch(double time, int count, int first_prn = 1) {
  EpochObservationSet set{};
  set.epoch.measurement_count = static_cast<std::uint8_t>(count);
  set.epoch.epoch_flags = count >= 4 ? 1 : 0;
  set.epoch.latitude = 47.5 + time / 1e6;
  set.epoch.longitude = -8.25;
  set.epoch.height = 412.5f;
  set.epoch.epoch_time = time;
  set.epoch.corrected_epoch_time = time - 1e-4;
  set.epoch.clock_offset = 29.9;
  for (int j = 0; j < count; ++j) {
    ObservationRecord& o = set.observations[j];
    o.prn = static_cast<std::uint8_t>(first_prn + j);
    o.lock_time = static_cast<std::uint8_t>(10 * j);
    o.l1_pseudorange = 2.0e7 + time + j;
    o.l1_phase = 1.0e8 + j;
    o.l1_third = -3.5 * j;
    o.l2_pseudorange = j % 2 ? 0.0 : 2.0e7 + j + 0.5;
    o.l2_phase = j % 2 ? 0.0 : 7.8e7 + j;
  }
  return set;
}

void WriteGpb(const std::string& path, std::vector<EpochObservationSet>& epochs, std::uint8_t channels = 12) {
  Handle file(CreateMeasurementFile(path.c_str(), 3, 1.0f, 8192, channels));
  ASSERT_TRUE(file) << Message();
  for (auto& set : epochs) ASSERT_EQ(WriteMeasurementEpoch(file.get(), &set.epoch, set.observations), 0) << Message();
}

Handle Open(const std::string& path, std::uint16_t buffer_size = 4096) {
  return Handle(OpenMeasurementFile(path.c_str(), buffer_size));
}

struct Read {
  int result;
  EpochObservationSet set;
};

Read ReadOne(MeasurementFile* file) {
  Read read{};
  read.result = ReadMeasurementEpoch(file, &read.set.epoch, read.set.observations);
  return read;
}

// The writer stamps the sizes into the caller's records, so a written set
// and its read-back copy compare byte for byte.
void ExpectSameEpoch(const EpochObservationSet& written, const EpochObservationSet& read) {
  EXPECT_EQ(std::memcmp(&written.epoch, &read.epoch, sizeof written.epoch), 0) << written.epoch.epoch_time;
  EXPECT_EQ(std::memcmp(written.observations, read.observations,
                        sizeof(ObservationRecord) * written.epoch.measurement_count),
            0)
      << written.epoch.epoch_time;
}

// Byte offsets into a file of whole epochs, for damaging them by hand.
std::size_t EpochOffset(const std::vector<EpochObservationSet>& epochs, std::size_t index) {
  std::size_t offset = sizeof(GpbHeader);
  for (std::size_t i = 0; i < index; ++i) offset += 68 + 44u * epochs[i].epoch.measurement_count;
  return offset;
}

void PutInt16(Bytes& bytes, std::size_t offset, std::int16_t value) { std::memcpy(&bytes[offset], &value, 2); }

TEST(GpbReader, RoundTripOfEveryMeasurementCount) {
  TempDir dir;
  std::string path = dir.File("ROUND.gpb");
  std::vector<EpochObservationSet> epochs;
  for (int count = 0; count <= 12; ++count) epochs.push_back(Epoch(3600.0 + count * 0.02, count));
  WriteGpb(path, epochs);

  Handle file = Open(path);
  ASSERT_TRUE(file) << Message();
  EXPECT_EQ(file->header.receiver_type, 3);
  EXPECT_EQ(file->header.channel_count, 12);
  EXPECT_EQ(file->header.buffer_size, 4096);
  EXPECT_EQ(std::string(file->header.file_name), path);
  for (const auto& written : epochs) {
    Read read = ReadOne(file.get());
    ASSERT_EQ(read.result, 0) << Message();
    ExpectSameEpoch(written, read.set);
  }
  EXPECT_EQ(ReadOne(file.get()).result, -1);
  EXPECT_EQ(Message(), "End of file");
}

TEST(GpbReader, HeaderOnlyFileEndsAtOnce) {
  TempDir dir;
  std::string path = dir.File("EMPTY.gpb");
  std::vector<EpochObservationSet> none;
  WriteGpb(path, none);
  Handle file = Open(path);
  ASSERT_TRUE(file) << Message();
  EXPECT_EQ(ReadOne(file.get()).result, -1);
  EXPECT_EQ(Message(), "End of file");
  EXPECT_EQ(CloseMeasurementFile(file.release()), 0);  // a read that met the end is no write failure
}

TEST(GpbReader, OpenRefusals) {
  TempDir dir;
  std::vector<EpochObservationSet> one{Epoch(5.0, 2)};
  std::string good = dir.File("GOOD.gpb");
  WriteGpb(good, one);
  Bytes bytes = ReadBytes(good);

  std::string missing = dir.File("MISSING.gpb");
  std::string empty = dir.File("ZERO.gpb");
  WriteBytes(empty, {});
  std::string cut = dir.File("CUT.gpb");
  WriteBytes(cut, Bytes(bytes.begin(), bytes.begin() + 201));
  std::string wrong_size = dir.File("SIZE.gpb");
  Bytes altered = bytes;
  PutInt16(altered, 0, 203);
  WriteBytes(wrong_size, altered);
  std::string negative = dir.File("NEG.gpb");
  PutInt16(altered, 0, -1);
  WriteBytes(negative, altered);

  struct Case {
    std::string path;
    std::uint16_t buffer_size;
    std::string message;
  } cases[] = {
      {missing, 4096, "Error: File " + missing + " not found"},
      {empty, 4096, "Error: Unable to read header from " + empty},
      {cut, 0, "Error: Unable to read header from " + cut},
      {wrong_size, 4096, "Error: Invalid header size in " + wrong_size + "  Size: 203   Hsize: 202"},
      {negative, 0, "Error: Invalid header size in " + negative + "  Size: -1   Hsize: 202"},
      {good, 32768, "Error: Unable to initialize file buffer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    Handle file = Open(c.path, c.buffer_size);
    EXPECT_FALSE(file);
    EXPECT_EQ(Message(), c.message.substr(0, kMessageSize - 1));
  }
  EXPECT_TRUE(Open(good, 32767)) << Message();
}

TEST(GpbReader, RefusesAPathTooLongForTheHeader) {
  std::string path(200, 'a');
  EXPECT_FALSE(Open(path));
  EXPECT_EQ(Message().rfind("Error: Path too long", 0), 0u) << Message();
}

TEST(GpbReader, HeaderFieldsOtherThanTheSizeAreTakenAsTheyAre) {
  TempDir dir;
  std::string path = dir.File("ODD.gpb");
  std::vector<EpochObservationSet> one{Epoch(5.0, 2)};
  WriteGpb(path, one);
  Bytes bytes = ReadBytes(path);
  bytes[6] = 9;  // receiver type
  std::memset(&bytes[2], 0xFF, 4);  // format constant
  std::memcpy(&bytes[24], "C:\\elsewhere\\OTHER.gpb", 23);
  std::memset(&bytes[168], 0xAB, 4);
  WriteBytes(path, bytes);
  Handle file = Open(path);
  ASSERT_TRUE(file) << Message();
  EXPECT_EQ(file->header.receiver_type, 9);
  EXPECT_EQ(std::string(file->header.file_name), path);
  EXPECT_EQ(file->header.stream_slot[0], 0);
  EXPECT_EQ(ReadOne(file.get()).result, 0);
}

// A two-epoch file whose second epoch is damaged: the first reads, the
// second fails as the row says.
TEST(GpbReader, ReadFailures) {
  TempDir dir;
  std::vector<EpochObservationSet> epochs{Epoch(100.0, 3), Epoch(123.45, 4)};
  std::string good = dir.File("GOOD.gpb");
  WriteGpb(good, epochs);
  const Bytes original = ReadBytes(good);
  const std::size_t second = EpochOffset(epochs, 1);

  struct Case {
    const char* name;
    std::function<void(Bytes&)> damage;
    int result;
    std::string message;  // "%s" stands for the path
  } cases[] = {
      {"epoch size", [&](Bytes& b) { PutInt16(b, second, 67); }, 1, "Error: Bad position record in %s"},
      {"count above channels", [&](Bytes& b) { b[second + 2] = 13; }, 1,
       "Error: Epoch 123.5 has 13 measurements 12 channels in %s"},
      {"count 255", [&](Bytes& b) { b[second + 2] = 255; }, 1,
       "Error: Epoch 123.5 has 255 measurements 12 channels in %s"},
      {"first observation size", [&](Bytes& b) { PutInt16(b, second + 68, 0); }, 1,
       "Error: Bad measurement record (1) in %s"},
      {"last observation size", [&](Bytes& b) { PutInt16(b, second + 68 + 3 * 44, 45); }, 1,
       "Error: Bad measurement record (1) in %s"},
      {"count raised past the data", [&](Bytes& b) { b[second + 2] = 5; }, 1,
       "Error: Pre-mature end of file in %s at epoch 123.5"},
      {"cut in the observations", [&](Bytes& b) { b.resize(second + 68 + 44); }, 1,
       "Error: Pre-mature end of file in %s at epoch 123.5"},
      {"cut in the epoch record", [&](Bytes& b) { b.resize(second + 30); }, -1, "End of file"},
      {"cut after the first epoch", [&](Bytes& b) { b.resize(second); }, -1, "End of file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File("BAD.gpb");
    Bytes bytes = original;
    c.damage(bytes);
    WriteBytes(path, bytes);
    Handle file = Open(path);
    ASSERT_TRUE(file) << Message();
    ASSERT_EQ(ReadOne(file.get()).result, 0) << Message();
    EXPECT_EQ(ReadOne(file.get()).result, c.result);
    std::string expected = c.message;
    if (auto at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, path);
    EXPECT_EQ(Message(), expected);
  }
}

// Every cut of a good file reads its whole epochs and then stops, with -1 at
// an epoch record and 1 inside observation records.
TEST(GpbReader, EveryCutPointStopsCleanly) {
  TempDir dir;
  std::vector<EpochObservationSet> epochs{Epoch(10.0, 2), Epoch(11.0, 0), Epoch(12.0, 3)};
  std::string good = dir.File("GOOD.gpb");
  WriteGpb(good, epochs);
  const Bytes original = ReadBytes(good);
  std::string path = dir.File("CUT.gpb");
  for (std::size_t length = sizeof(GpbHeader); length < original.size(); ++length) {
    SCOPED_TRACE(length);
    WriteBytes(path, Bytes(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(length)));
    std::size_t whole = 0;
    while (whole < epochs.size() && EpochOffset(epochs, whole + 1) <= length) ++whole;
    const bool inside_observations = length >= EpochOffset(epochs, whole) + 68;
    Handle file = Open(path);
    ASSERT_TRUE(file) << Message();
    for (std::size_t i = 0; i < whole; ++i) ASSERT_EQ(ReadOne(file.get()).result, 0) << Message();
    EXPECT_EQ(ReadOne(file.get()).result, inside_observations ? 1 : -1) << Message();
  }
}

class GpbSearch : public ::testing::Test {
 protected:
  void Write(std::vector<EpochObservationSet> epochs, std::uint8_t channels = 12) {
    epochs_ = epochs;
    WriteGpb(path_, epochs_, channels);
  }
  void WriteRaw(const Bytes& bytes) { WriteBytes(path_, bytes); }
  Handle OpenIt() {
    Handle file = Open(path_);
    EXPECT_TRUE(file) << Message();
    return file;
  }
  // The next read returns the epoch of this time.
  static void ExpectNextEpoch(MeasurementFile* file, double time) {
    Read read = ReadOne(file);
    ASSERT_EQ(read.result, 0) << Message();
    EXPECT_EQ(read.set.epoch.epoch_time, time);
  }

  TempDir dir_;
  std::string path_ = dir_.File("SEARCH.gpb");
  std::vector<EpochObservationSet> epochs_;
};

// Epochs one second apart from t = 1000; epoch k (0-based) holds count PRNs
// from 10 (k % 3) + 1 on.
std::vector<EpochObservationSet> Ladder(int epochs, int count = 3) {
  std::vector<EpochObservationSet> sets;
  for (int k = 0; k < epochs; ++k) sets.push_back(Epoch(1000.0 + k, count, 10 * (k % 3) + 1));
  return sets;
}

TEST_F(GpbSearch, FindsThePrnInTheThirdEpoch) {
  Write(Ladder(5));  // PRNs 1-3, 11-13, 21-23, 1-3, 11-13
  Handle file = OpenIt();
  EXPECT_EQ(FindSatelliteEpoch(file.get(), 22, 1010.0), 3);
  ExpectNextEpoch(file.get(), 1002.0);
  // From the middle of the file, counting starts at the current epoch.
  EXPECT_EQ(FindSatelliteEpoch(file.get(), 12, 1010.0), 2);
  ExpectNextEpoch(file.get(), 1004.0);
}

TEST_F(GpbSearch, OutsideTheWindowRestoresThePosition) {
  Write(Ladder(4));
  Handle file = OpenIt();
  struct Case {
    const char* name;
    double target;
  } cases[] = {
      {"target before the first epoch", 999.98},
      {"first epoch more than 1000 s before", 2000.02},
      {"NaN target", std::nan("")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FindSatelliteEpoch(file.get(), 1, c.target), 0) << Message();
  }
  ExpectNextEpoch(file.get(), 1000.0);
}

TEST_F(GpbSearch, WindowEndsAtTheTargetTime) {
  Write(Ladder(5));
  Handle file = OpenIt();
  // PRN 21 is in epochs at 1002; a target of 1001.5 stops at epoch 1002.
  EXPECT_EQ(FindSatelliteEpoch(file.get(), 21, 1001.5), 0);
  ExpectNextEpoch(file.get(), 1000.0);
  // Exactly 1000 s before the target is still inside, and so is the target itself.
  Handle again = OpenIt();
  EXPECT_EQ(FindSatelliteEpoch(again.get(), 1, 2000.0), 1);
  ExpectNextEpoch(again.get(), 1000.0);
  EXPECT_EQ(FindSatelliteEpoch(again.get(), 11, 1001.0), 1);
  ExpectNextEpoch(again.get(), 1001.0);
}

TEST_F(GpbSearch, ZeroPseudorangesInTheWindowRestoreThePosition) {
  std::vector<EpochObservationSet> sets = Ladder(4, 1);
  sets[0].observations[0].l1_pseudorange = 0.0;
  sets[1].observations[0].prn = 1;
  sets[1].observations[0].l1_pseudorange = -0.0;
  Write(sets);
  Handle file = OpenIt();
  EXPECT_EQ(FindSatelliteEpoch(file.get(), 1, 1001.5), 0);  // epoch 1002 closes the window
  ExpectNextEpoch(file.get(), 1000.0);
}

TEST_F(GpbSearch, EndOfFileLeavesThePositionAtTheEnd) {
  Write(Ladder(3));
  Handle file = OpenIt();
  EXPECT_EQ(FindSatelliteEpoch(file.get(), 32, 1100.0), 0);
  EXPECT_EQ(Message(), "End of file");
  EXPECT_EQ(ReadOne(file.get()).result, -1);
}

TEST_F(GpbSearch, LooksAtSixtyEpochsAtMost) {
  // PRN 5 only in epochs 59 and 120 (0-based); epoch 0 is empty.
  std::vector<EpochObservationSet> sets;
  for (int k = 0; k < 130; ++k) sets.push_back(Epoch(1000.0 + k, k == 0 ? 0 : 1, k == 59 || k == 120 ? 5 : 1));
  Write(sets);
  Handle file = OpenIt();
  EXPECT_EQ(FindSatelliteEpoch(file.get(), 5, 1200.0), 60);
  ExpectNextEpoch(file.get(), 1059.0);
  // Epochs 60-119: sixty epochs without it.
  EXPECT_EQ(FindSatelliteEpoch(file.get(), 5, 1200.0), 0);
  ExpectNextEpoch(file.get(), 1060.0);
  // Epochs 61-120: the sixtieth has it.
  EXPECT_EQ(FindSatelliteEpoch(file.get(), 5, 1200.0), 60);
  ExpectNextEpoch(file.get(), 1120.0);
}

TEST_F(GpbSearch, CountAboveTheChannelsIsSearchedButNotRead) {
  std::vector<EpochObservationSet> sets = Ladder(2);
  Write(sets);
  Bytes bytes = ReadBytes(path_);
  // Turn the first epoch into one of 13 observations by inserting ten more.
  const std::size_t first = sizeof(GpbHeader);
  bytes[first + 2] = 13;
  Bytes extra(10 * 44, 0);
  for (int j = 0; j < 10; ++j) {
    ObservationRecord o{};
    o.record_size = 44;
    o.prn = static_cast<std::uint8_t>(20 + j);
    o.l1_pseudorange = 2.1e7;
    std::memcpy(&extra[44u * static_cast<unsigned>(j)], &o, 44);
  }
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(first + 68 + 3 * 44), extra.begin(), extra.end());
  WriteRaw(bytes);

  Handle file = OpenIt();
  EXPECT_EQ(FindSatelliteEpoch(file.get(), 29, 1010.0), 1);
  EXPECT_EQ(ReadOne(file.get()).result, 1);
  EXPECT_EQ(Message(), "Error: Epoch 1000.0 has 13 measurements 12 channels in " + path_);
}

// Builds a file of one epoch with count observation records of PRN 7 (the
// header says 12 channels; the search takes up to 24 anyway).
Bytes CraftedEpoch(int count, double time = 1000.0) {
  GpbHeader header{};
  header.header_size = 202;
  header.channel_count = 12;
  EpochRecord epoch{};
  epoch.record_size = 68;
  epoch.measurement_count = static_cast<std::uint8_t>(count);
  epoch.epoch_time = time;
  Bytes bytes(sizeof header + sizeof epoch + 44u * static_cast<unsigned>(count));
  std::memcpy(bytes.data(), &header, sizeof header);
  std::memcpy(bytes.data() + sizeof header, &epoch, sizeof epoch);
  for (int j = 0; j < count; ++j) {
    ObservationRecord o{};
    o.record_size = 44;
    o.prn = static_cast<std::uint8_t>(j == count - 1 ? 7 : 1);
    o.l1_pseudorange = 2.2e7;
    std::memcpy(bytes.data() + sizeof header + sizeof epoch + 44u * static_cast<unsigned>(j), &o, 44);
  }
  return bytes;
}

TEST_F(GpbSearch, TwentyFourObservationsFillTheSearchBuffer) {
  WriteRaw(CraftedEpoch(24));
  Handle file = OpenIt();
  EXPECT_EQ(FindSatelliteEpoch(file.get(), 7, 1000.0), 1) << Message();
}

TEST_F(GpbSearch, Failures) {
  Write(Ladder(3));
  const Bytes original = ReadBytes(path_);
  const std::size_t second = EpochOffset(epochs_, 1);
  struct Case {
    const char* name;
    std::function<Bytes()> file;
    std::string message;  // "%s" stands for the path
  } cases[] = {
      {"count 25", [] { return CraftedEpoch(25); }, "Error: Epoch 1000.0 has more measurements than channels in %s"},
      {"count 255", [] { return CraftedEpoch(255); },
       "Error: Epoch 1000.0 has more measurements than channels in %s"},
      {"epoch size",
       [&] {
         Bytes b = original;
         PutInt16(b, second, 0);
         return b;
       },
       "Error: Bad position record in searching %s"},
      {"observation size",
       [&] {
         Bytes b = original;
         PutInt16(b, second + 68 + 44, 4);
         return b;
       },
       "Error: Bad measurement record (2) in %s"},
      {"cut in the observations",
       [&] {
         Bytes b = original;
         b.resize(second + 68 + 50);
         return b;
       },
       "Error: Pre-mature end of file in %s at epoch 1001.0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteRaw(c.file());
    Handle file = OpenIt();
    EXPECT_EQ(FindSatelliteEpoch(file.get(), 32, 1500.0), -1);
    std::string expected = c.message;
    expected.replace(expected.find("%s"), 2, path_);
    EXPECT_EQ(Message(), expected);
  }
}

#if !defined(_WIN32)
// A stream that cannot move back (a pipe) gets the seek failure reported,
// both when the window holds nothing and when the epoch is found.
TEST(GpbSearchPipe, UnmovableStreamReportsTheSeek) {
  for (double target : {500.0, 1000.0}) {
    SCOPED_TRACE(target);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    Bytes bytes = CraftedEpoch(2);
    ASSERT_EQ(write(fds[1], bytes.data() + 202, bytes.size() - 202), static_cast<ssize_t>(bytes.size() - 202));
    close(fds[1]);
    auto* file = new MeasurementFile;
    file->header.header_size = 202;
    file->header.channel_count = 12;
    std::strcpy(file->header.file_name, "PIPE.gpb");
    file->stream = fdopen(fds[0], "rb");
    Handle handle(file);
    EXPECT_EQ(FindSatelliteEpoch(file, 7, target), -1);
    EXPECT_EQ(Message(), "Error: Unable to seek in PIPE.gpb");
  }
}
#endif

TEST(GpbAppend, ReopenAppendsAndReadsBackEverything) {
  TempDir dir;
  std::string path = dir.File("APPEND.gpb");
  std::vector<EpochObservationSet> first{Epoch(10.0, 4), Epoch(11.0, 0), Epoch(12.0, 12)};
  WriteGpb(path, first);

  std::vector<EpochObservationSet> more{Epoch(13.0, 1), Epoch(14.0, 7)};
  for (std::uint16_t buffer_size : {std::uint16_t{0}, std::uint16_t{512}}) {
    SCOPED_TRACE(buffer_size);
    WriteGpb(path, first);
    const Bytes before = ReadBytes(path);
    {
      Handle file = Open(path, buffer_size);
      ASSERT_TRUE(file) << Message();
      ASSERT_EQ(ReadOne(file.get()).result, 0);  // a partly read file appends at its end all the same
      ASSERT_EQ(ReopenMeasurementFileForAppend(file.get()), 0) << Message();
      for (auto& set : more) ASSERT_EQ(WriteMeasurementEpoch(file.get(), &set.epoch, set.observations), 0);
      EpochObservationSet too_many = Epoch(15.0, 12);
      too_many.epoch.measurement_count = 13;
      EXPECT_EQ(WriteMeasurementEpoch(file.get(), &too_many.epoch, too_many.observations), 1);
      EXPECT_EQ(CloseMeasurementFile(file.release()), 0) << Message();
    }
    Bytes after = ReadBytes(path);
    ASSERT_GT(after.size(), before.size());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));  // header and old epochs untouched
    Handle file = Open(path);
    ASSERT_TRUE(file) << Message();
    for (const auto& set : first) ExpectSameEpoch(set, ReadOne(file.get()).set);
    for (const auto& set : more) ExpectSameEpoch(set, ReadOne(file.get()).set);
    EXPECT_EQ(ReadOne(file.get()).result, -1);
  }
}

#if !defined(_WIN32)
TEST(GpbAppend, RefusalLeavesTheReadHandleUsable) {
  TempDir dir;
  std::string path = dir.File("GONE.gpb");
  std::vector<EpochObservationSet> epochs{Epoch(10.0, 2), Epoch(11.0, 3)};
  WriteGpb(path, epochs);
  Handle file = Open(path);
  ASSERT_TRUE(file) << Message();
  // The name now belongs to a directory, which cannot be opened for appending.
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  EXPECT_EQ(ReopenMeasurementFileForAppend(file.get()), 1);
  EXPECT_EQ(Message(), "Error: Unable to append to " + path);
  ExpectSameEpoch(epochs[0], ReadOne(file.get()).set);
  ExpectSameEpoch(epochs[1], ReadOne(file.get()).set);
}
#endif

// The C++ reading returns the very text the host's functions leave in the
// message buffer, and leaves that buffer alone: a program reading files in
// several threads never overwrites the host's last message.
TEST(GpbProgramReading, ReturnsTheHostTextAndLeavesTheMessageAlone) {
  TempDir dir;
  std::vector<EpochObservationSet> epochs = {Epoch(10.0, 3), Epoch(11.0, 2)};
  const std::string good = dir.File("GOOD0010.gpb");
  WriteGpb(good, epochs);
  Bytes cut = ReadBytes(good);
  cut.resize(cut.size() - 20);
  const std::string damaged = dir.File("CUT00010.gpb");
  WriteBytes(damaged, cut);
  const std::string missing = dir.File("NONE0010.gpb");

  for (const std::string& path : {missing, damaged}) {
    SCOPED_TRACE(path);
    Handle host(Open(path));
    int host_result = 0;
    EpochObservationSet set{};
    if (host) {
      while ((host_result = ReadMeasurementEpoch(host.get(), &set.epoch, set.observations)) == 0) {
      }
    }
    const std::string host_text = Message();

    SetLibraryMessage("the host's last message");
    const Result<MeasurementFile*> opened = OpenGpb(path.c_str(), 4096);
    std::string program_text = opened.Message();
    if (opened.Ok()) {
      Handle file(*opened);
      Result<bool> read = true;
      while ((read = ReadGpbEpoch(file.get(), &set.epoch, set.observations)).Ok() && *read) {
      }
      program_text = read.Message();
      EXPECT_EQ(host_result, 1);
    }
    EXPECT_EQ(program_text, host_text);
    EXPECT_STREQ(LibraryMessage(), "the host's last message");
  }
}

}  // namespace
}  // namespace morvelin
