// Real faults while the outputs are written, through the exports as a host
// calls them: every write, flush or close of each output made to fail as a
// full disk does, at many offsets (the shim, shim.c, loaded with
// LD_PRELOAD), and a small file system that fills up (tmpfs, where the
// machine lets the test mount one). A run that lost data ends with -1 and
// a text naming the file; nothing is deleted; no descriptor stays open.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "morvelin/converter.h"
#include "morvelin/rinex.h"
#include "support/descriptors.h"
#include "support/harness.h"

namespace morvelin::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kExtensions[] = {".gpb", ".epp", ".sum", ".sta"};
enum Kind { kWrite = 0, kFlush = 1, kClose = 2, kRename = 3 };
constexpr const char* kKindNames[] = {"write", "flush", "close", "rename"};

struct Shim {
  void (*arm)(int, const char*, long) = nullptr;
  long (*calls)() = nullptr;
  long (*failures)() = nullptr;
  bool Loaded() const { return arm != nullptr && calls != nullptr && failures != nullptr; }
};

Shim FindShim() {
  Shim shim;
  shim.arm = reinterpret_cast<void (*)(int, const char*, long)>(dlsym(RTLD_DEFAULT, "morvelin_fault_arm"));
  shim.calls = reinterpret_cast<long (*)()>(dlsym(RTLD_DEFAULT, "morvelin_fault_calls"));
  shim.failures = reinterpret_cast<long (*)()>(dlsym(RTLD_DEFAULT, "morvelin_fault_failures"));
  return shim;
}

std::string Sample() { return std::string(MORVELIN_TEST_DATA_DIR) + "/../examples/SIMU3450.dat"; }

ConvertOptions Quiet() {
  ConvertOptions quiet;
  quiet.message_callback = quiet.progress_callback = false;
  return quiet;
}

void RemoveOutputs(const std::string& input) {
  for (const char* extension : kExtensions) fs::remove(WithExtension(input, extension));
}

// 1, 2, 3, then about a dozen offsets spread over the calls, and the last.
std::vector<long> Offsets(long calls) {
  std::set<long> offsets;
  for (long n = 1; n <= calls && n <= 3; ++n) offsets.insert(n);
  for (long step = 1; step <= 12; ++step) offsets.insert(1 + (calls - 1) * step / 12);
  offsets.insert(calls);
  offsets.erase(0);
  return {offsets.begin(), offsets.end()};
}

class InjectedFaults : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(InjectedFaults, FailTheRunNamingTheFile) {
  const Shim shim = FindShim();
  if (!shim.Loaded()) GTEST_SKIP() << "the fault shim is not loaded (run through ctest: LD_PRELOAD)";
  const int output = std::get<0>(GetParam());
  const int kind = std::get<1>(GetParam());
  TempDir dir;
  const std::string input = dir.File("SIMU3450.dat");
  fs::copy_file(Sample(), input);
  const std::string target = WithExtension(input, kExtensions[output]);

  shim.arm(kind, kExtensions[output], 0);
  ASSERT_EQ(ConvertAsHost(input, Quiet()).result, MORVELIN_DONE);
  const long calls = shim.calls();
  shim.arm(-1, "", 0);
  if (calls == 0) GTEST_SKIP() << "no " << kKindNames[kind] << " call reaches " << kExtensions[output];

  for (long n : Offsets(calls)) {
    SCOPED_TRACE(std::string(kKindNames[kind]) + " " + std::to_string(n) + " of " + std::to_string(calls) + " on " +
                 kExtensions[output]);
    RemoveOutputs(input);
    const int descriptors = OpenDescriptors();
    shim.arm(kind, kExtensions[output], n);
    const Conversion c = ConvertAsHost(input, Quiet());
    const long failures = shim.failures();
    shim.arm(-1, "", 0);
    ASSERT_GT(failures, 0);
    EXPECT_EQ(c.result, MORVELIN_FAILED) << c.error_text;
    EXPECT_NE(c.error_text.find("Unable to write to " + target), std::string::npos) << c.error_text;
    for (const char* extension : kExtensions) EXPECT_TRUE(FileExists(WithExtension(input, extension))) << extension;
    EXPECT_EQ(OpenDescriptors(), descriptors);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryOutput, InjectedFaults,
                         ::testing::Combine(::testing::Range(0, 4), ::testing::Values(kWrite, kFlush, kClose)),
                         [](const auto& info) {
                           return std::string(kExtensions[std::get<0>(info.param)] + 1) + "_" +
                                  kKindNames[std::get<1>(info.param)];
                         });

// The outputs a command-line run writes under temporaries and renames into
// place (the host's files and RINEX through one output set): a fault at any
// write, flush, close or rename fails the run and leaves the folder's files
// as they were, byte for byte, with no temporary behind.
bool ConvertAtomically(const std::string& input, const std::string& folder, std::string& failure) {
  OutputSet set(input);
  ConversionRequest request;
  request.input = FileInput{input};
  request.output_set = &set;
  RinexOptions options;
  options.fallback_name = "SIMU3450";
  options.creation_time = "20231211 000000 UTC";
  auto rinex = MakeRinexSink(options, folder, nullptr, &set);
  if (!rinex.Ok()) {
    failure = rinex.Message();
    return false;
  }
  request.sinks.push_back(rinex->get());
  const ConversionOutcome outcome = Convert(request);
  if (outcome.result == ConversionResult::kFailed) {
    failure = outcome.failure;
    return false;
  }
  const Status committed = set.Commit();
  failure = committed.Message();
  return committed.Ok();
}

std::map<std::string, Bytes> FolderFiles(const std::string& folder) {
  std::map<std::string, Bytes> files;
  for (const auto& entry : fs::directory_iterator(folder)) files[entry.path().filename().string()] = ReadBytes(entry.path().string());
  return files;
}

class AtomicFaults : public ::testing::TestWithParam<std::tuple<const char*, int>> {};

TEST_P(AtomicFaults, LeaveTheEarlierOutputs) {
  const Shim shim = FindShim();
  if (!shim.Loaded()) GTEST_SKIP() << "the fault shim is not loaded (run through ctest: LD_PRELOAD)";
  const auto [suffix, kind] = GetParam();
  TempDir dir;
  const std::string input = dir.File("SIMU3450.dat");
  fs::copy_file(Sample(), input);
  std::string failure;
  ASSERT_TRUE(ConvertAtomically(input, dir.Path(), failure)) << failure;
  shim.arm(kind, suffix, 0);
  ASSERT_TRUE(ConvertAtomically(input, dir.Path(), failure)) << failure;
  const long calls = shim.calls();
  shim.arm(-1, "", 0);
  if (calls == 0 && kind == kFlush) GTEST_SKIP() << "no flush reaches " << suffix << " (only closes)";
  ASSERT_GT(calls, 0) << "no " << kKindNames[kind] << " reaches " << suffix;
  const std::map<std::string, Bytes> before = FolderFiles(dir.Path());

  for (long n : Offsets(calls)) {
    SCOPED_TRACE(std::string(kKindNames[kind]) + " " + std::to_string(n) + " of " + std::to_string(calls));
    const int descriptors = OpenDescriptors();
    shim.arm(kind, suffix, n);
    const bool converted = ConvertAtomically(input, dir.Path(), failure);
    const long failures = shim.failures();
    shim.arm(-1, "", 0);
    ASSERT_GT(failures, 0);
    EXPECT_FALSE(converted);
    EXPECT_FALSE(failure.empty());
    EXPECT_TRUE(FolderFiles(dir.Path()) == before) << "the earlier outputs changed";
    EXPECT_EQ(OpenDescriptors(), descriptors);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryOutput, AtomicFaults,
                         ::testing::Combine(::testing::Values(".gpb", ".epp", ".sum", ".sta", ".obs", ".nav"),
                                            ::testing::Values(kWrite, kFlush, kClose, kRename)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) + 1) + "_" + kKindNames[std::get<1>(info.param)];
                         });

// A file system of a few pages: the disk fills while one output or another
// is written. Whatever the size, the run either succeeds with every file
// whole or fails naming a file; it never reports success over a cut file.
TEST(FullDisk, SmallFileSystemFillsWhileTheOutputsAreWritten) {
  TempDir input_dir, mount_dir;
  const std::string source = input_dir.File("SIMU3450.dat");
  fs::copy_file(Sample(), source);
  const std::string point = mount_dir.File("disk");
  fs::create_directory(point);
  // The input stays outside: a link to it takes no room.
  const std::string input = point + "/SIMU3450.dat";

  // size 0: a file system with room enough, for the reference outputs at
  // the same path (the .gpb header stores it).
  std::vector<Bytes> reference;
  int done = 0, failed = 0;
  for (int kib : {0, 8, 12, 16, 24, 32, 48, 64, 96, 128, 192, 256, 384, 512, 1024}) {
    SCOPED_TRACE(std::to_string(kib) + " KiB");
    const std::string options = kib == 0 ? "size=16m" : "size=" + std::to_string(kib) + "k";
    if (mount("morvelin-test", point.c_str(), "tmpfs", 0, options.c_str()) != 0)
      GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno)
                   << "); the shim and /dev/full cases cover full disks";
    fs::create_symlink(source, input);
    const int descriptors = OpenDescriptors();
    const Conversion c = ConvertAsHost(input, Quiet());
    EXPECT_EQ(OpenDescriptors(), descriptors);
    std::vector<Bytes> outputs;
    for (const char* extension : kExtensions) {
      const std::string path = WithExtension(input, extension);
      outputs.push_back(FileExists(path) ? WithoutGpbStamp(ReadBytes(path)) : Bytes{});
    }
    if (kib == 0) {
      ASSERT_EQ(c.result, MORVELIN_DONE) << c.error_text;
      reference = outputs;
    } else if (c.result == MORVELIN_DONE) {
      ++done;
      for (int i = 0; i < 4; ++i) EXPECT_EQ(outputs[i], reference[i]) << kExtensions[i] << " is not whole";
    } else {
      ++failed;
      EXPECT_EQ(c.result, MORVELIN_FAILED);
      EXPECT_NE(c.error_text.find(point), std::string::npos) << c.error_text;
    }
    ASSERT_EQ(umount(point.c_str()), 0) << std::strerror(errno);
  }
  EXPECT_GT(failed, 0);
  EXPECT_GT(done, 0);
}

}  // namespace
}  // namespace morvelin::test
