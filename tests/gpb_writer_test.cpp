// The measurement file writer: byte layouts and every failure text.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

#include "base/message.h"
#include "morvelin/gpb.h"
#include "support/harness.h"
#include "base/byte_reader.h"

namespace morvelin::test {
namespace {

std::string Message() { return LibraryMessage(); }

EpochObservationSet MakeEpoch(int count, double time) {
  EpochObservationSet set;
  std::memset(&set, 0, sizeof set);
  set.epoch.measurement_count = static_cast<std::uint8_t>(count);
  set.epoch.epoch_time = time;
  for (int i = 0; i < count && i < kEpochChannels; ++i) {
    set.observations[i].prn = static_cast<std::uint8_t>(i + 1);
    set.observations[i].l1_pseudorange = 2.0e7 + i;
  }
  return set;
}

TEST(GpbWriter, HeaderLayout) {
  TempDir dir;
  std::string path = dir.File("SITE.gpb");
  std::time_t before = std::time(nullptr);
  MeasurementFile* file = CreateMeasurementFile(path.c_str(), 3, 1.0f, 8192, 12);
  ASSERT_NE(file, nullptr) << Message();
  EXPECT_EQ(CloseMeasurementFile(file), 0);
  Bytes bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 202u);
  const std::uint8_t* b = bytes.data();
  EXPECT_EQ(LoadLittle<std::int16_t>(b + 0), 202);
  EXPECT_EQ(LoadLittle<std::uint32_t>(b + 2), 0x3F8147AEu);
  EXPECT_EQ(b[6], 3);
  EXPECT_EQ(b[7], 12);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &before);
#else
  localtime_r(&before, &local);
#endif
  EXPECT_EQ(LoadLittle<std::int16_t>(b + 8), local.tm_mon) << "month counted from 0";
  EXPECT_EQ(LoadLittle<std::int16_t>(b + 12), local.tm_year) << "years since 1900";
  EXPECT_EQ(LoadLittle<float>(b + 20), 1.0f);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 24)), path);
  for (std::size_t i = 24 + path.size(); i < 168; ++i) EXPECT_EQ(b[i], 0) << i;
  EXPECT_EQ(LoadLittle<std::int16_t>(b + 172), 8192);
  for (std::size_t i = 178; i < 202; ++i) EXPECT_EQ(b[i], 0) << i;
}

TEST(GpbWriter, EpochSizesAndStamps) {
  struct Case {
    int measurements;
    std::size_t file_size;
  } cases[] = {{0, 202 + 68}, {5, 490}, {12, 202 + 68 + 12 * 44}};
  for (const Case& c : cases) {
    TempDir dir;
    std::string path = dir.File("SITE.gpb");
    MeasurementFile* file = CreateMeasurementFile(path.c_str(), 3, 1.0f, 8192, 12);
    ASSERT_NE(file, nullptr);
    EpochObservationSet set = MakeEpoch(c.measurements, 100.0);
    EXPECT_EQ(WriteMeasurementEpoch(file, &set.epoch, set.observations), 0);
    CloseMeasurementFile(file);
    Bytes bytes = ReadBytes(path);
    ASSERT_EQ(bytes.size(), c.file_size) << c.measurements;
    EXPECT_EQ(LoadLittle<std::int16_t>(bytes.data() + 202), 68);
    EXPECT_EQ(bytes[204], c.measurements);
    for (int i = 0; i < c.measurements; ++i) {
      const std::uint8_t* record = bytes.data() + 270 + 44 * i;
      EXPECT_EQ(LoadLittle<std::int16_t>(record), 44);
      EXPECT_EQ(record[2], i + 1);
      EXPECT_EQ(LoadLittle<double>(record + 4), 2.0e7 + i);
    }
  }
}

TEST(GpbWriter, TooManyMeasurementsAreRefusedAndNothingWritten) {
  TempDir dir;
  std::string path = dir.File("SITE.gpb");
  MeasurementFile* file = CreateMeasurementFile(path.c_str(), 3, 1.0f, 8192, 12);
  ASSERT_NE(file, nullptr);
  EpochObservationSet set = MakeEpoch(13, 345.67);
  EXPECT_EQ(WriteMeasurementEpoch(file, &set.epoch, set.observations), 1);
  EXPECT_EQ(Message(), "Error: Epoch 345.7 has 13 measurements 12 channels in " + path);
  CloseMeasurementFile(file);
  EXPECT_EQ(ReadBytes(path).size(), 202u);
}

TEST(GpbWriter, ReceiverTypeChangesStayInMemory) {
  TempDir dir;
  std::string path = dir.File("SITE.gpb");
  MeasurementFile* file = CreateMeasurementFile(path.c_str(), 3, 1.0f, 0, 12);
  ASSERT_NE(file, nullptr);
  file->header.receiver_type = 4;
  CloseMeasurementFile(file);
  EXPECT_EQ(ReadBytes(path)[6], 3);
}

TEST(GpbWriter, CreationFailures) {
  TempDir dir;
  std::string missing_dir = dir.File("no-such-dir") + "/SITE.gpb";
  EXPECT_EQ(CreateMeasurementFile(missing_dir.c_str(), 3, 1.0f, 8192, 12), nullptr);
  EXPECT_EQ(Message(), "Error: Unable to open " + missing_dir + " for writing");

  std::string long_path = dir.File(std::string(150, 'x') + ".gpb");
  EXPECT_EQ(CreateMeasurementFile(long_path.c_str(), 3, 1.0f, 8192, 12), nullptr);
  EXPECT_FALSE(FileExists(long_path));
}

TEST(GpbWriter, CloseLeavesForeignHandlesAlone) {
  EXPECT_EQ(CloseMeasurementFile(nullptr), 0);
  MeasurementFile handle;
  handle.header.header_size = 99;
  EXPECT_EQ(CloseMeasurementFile(&handle), 0);  // not deleted: it lives on the stack
}

#if !defined(_WIN32)
TEST(GpbWriter, FullDiskIsReportedByALaterWrite) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP();
  MeasurementFile* file = CreateMeasurementFile("/dev/full", 3, 1.0f, 8192, 12);
  ASSERT_NE(file, nullptr) << "the header still sits in the buffer";
  int failed_at = -1;
  for (int i = 0; i < 100 && failed_at < 0; ++i) {
    EpochObservationSet set = MakeEpoch(12, i * 1.0);
    if (WriteMeasurementEpoch(file, &set.epoch, set.observations) != 0) failed_at = i;
  }
  ASSERT_GT(failed_at, 0);
  EXPECT_EQ(Message(), "Error: Unable to write to /dev/full (disk full). Epoch " + std::to_string(failed_at) + ".0");
  EXPECT_EQ(FlushMeasurementFile(file), 1);
  EXPECT_EQ(CloseMeasurementFile(file), 1);
}
#endif

}  // namespace
}  // namespace morvelin::test
