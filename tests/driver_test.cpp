// The conversion driver: output paths, opening the run's files, failures,
// the end of a run.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/stat.h>
#endif

#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "convert/output_paths.h"
#include "support/harness.h"

namespace morvelin::test {
namespace {

namespace fs = std::filesystem;

struct ExtensionCase {
  const char* input;
  const char* expected;
};

TEST(ReplaceExtension, Table) {
  const ExtensionCase cases[] = {
      {"C:\\data\\ABCD1230.DAT", "C:\\data\\ABCD1230.gpb"},
      {"C:\\data.x\\ABCD", "C:\\data.x\\ABCD.gpb"},
      {"ABCD1230.DAT", "ABCD1230.gpb"},
      {"a.b.c.DAT", "a.b.c.gpb"},
      {"ABCD.", "ABCD.gpb"},
      {"ABCD", "ABCD.gpb"},
      {"  ABCD.DAT", "ABCD.gpb"},
      {"   ", ".gpb"},
      {"", ".gpb"},
      {".hidden", ".gpb"},
#if defined(_WIN32)
      // Only the backslash separates directories on Windows.
      {"C:/data.x/ABCD", "C:/data.gpb"},
#else
      // On Linux '/' separates directories too.
      {"C:/data.x/ABCD", "C:/data.x/ABCD.gpb"},
      {"data.v2/SITE", "data.v2/SITE.gpb"},
      {"/tmp/run.1\\SITE", "/tmp/run.1\\SITE.gpb"},
#endif
  };
  for (const ExtensionCase& c : cases) {
    char buffer[512];
    std::strcpy(buffer, c.input);
    EXPECT_TRUE(ReplaceExtension(buffer, ".gpb"));
    EXPECT_STREQ(buffer, c.expected) << '[' << c.input << ']';
  }
}

TEST(ReplaceExtension, RefusesWhatDoesNotFit) {
  char buffer[512];
  std::string stem(508, 'a');  // 508 + ".gpb" + NUL = 513 bytes
  std::strcpy(buffer, stem.c_str());
  EXPECT_FALSE(ReplaceExtension(buffer, ".gpb", sizeof buffer));
  EXPECT_EQ(std::string(buffer), stem);
  stem.pop_back();
  std::strcpy(buffer, stem.c_str());
  EXPECT_TRUE(ReplaceExtension(buffer, ".gpb", sizeof buffer));
  EXPECT_EQ(std::strlen(buffer), 511u);
}

TEST(Driver, EmptyFileMakesFourFilesAndOneProgressCall) {
  TempDir dir;
  std::string path = dir.File("ABCD1230.DAT");
  WriteBytes(path, {});
  Conversion c = ConvertAsHost(path);
  EXPECT_EQ(c.result, 0) << c.error_text;
  EXPECT_EQ(c.path_after, dir.File("ABCD1230.dat"));
  for (int count : c.counts) EXPECT_EQ(count, 0);
  ASSERT_EQ(c.progress.size(), 1u);
  EXPECT_EQ(c.progress[0], std::make_pair(0, 0));
  EXPECT_EQ(ReadText(dir.File("ABCD1230.epp")), LineEnds("$EPHREC Ver6.02 MORVELIN \n"));
  EXPECT_EQ(ReadBytes(dir.File("ABCD1230.gpb")).size(), 202u);
  EXPECT_TRUE(FileExists(dir.File("ABCD1230.sta")));
  EXPECT_TRUE(FileExists(dir.File("ABCD1230.sum")));
}

TEST(Driver, MissingInputCreatesNothing) {
  TempDir dir;
  std::string path = dir.File("NONE1230.DAT");
  Conversion c = ConvertAsHost(path);
  EXPECT_EQ(c.result, -1);
  EXPECT_EQ(c.error_text, "Error: File " + path + " not found");
  for (int count : c.counts) EXPECT_EQ(count, 0);
  EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(Driver, DirectoryAsInputIsNotFound) {
  TempDir dir;
  std::string path = dir.File("FOLDER.DAT");
  fs::create_directory(path);
  Conversion c = ConvertAsHost(path);
  EXPECT_EQ(c.result, -1);
  EXPECT_EQ(c.error_text, "Error: File " + path + " not found");
  EXPECT_FALSE(FileExists(dir.File("FOLDER.gpb")));
}

TEST(Driver, LeadingBlanksOpenTheInputButNotTheOutputs) {
  TempDir dir;
  fs::path previous = fs::current_path();
  fs::current_path(dir.Path());
  WriteBytes("  SITE.DAT", {});
  Conversion c = ConvertAsHost("  SITE.DAT");
  fs::current_path(previous);
  EXPECT_EQ(c.result, 0) << c.error_text;
  EXPECT_EQ(c.path_after, "SITE.dat");
  EXPECT_TRUE(FileExists(dir.File("SITE.gpb")));
}

TEST(Driver, InputThatWouldBeOverwrittenIsRefused) {
  for (const char* name : {"X.sum", "X.gpb", "X.epp", "X.sta"}) {
    TempDir dir;
    std::string path = dir.File(name);
    Bytes content{0x74, 8, 0, 1, 1, 2, 3, 4};
    WriteBytes(path, content);
    Conversion c = ConvertAsHost(path);
    EXPECT_EQ(c.result, -1) << name;
    EXPECT_NE(c.error_text.find("would overwrite the input file"), std::string::npos) << c.error_text;
    EXPECT_EQ(ReadBytes(path), content) << name;
    int files = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path())) ++files;
    EXPECT_EQ(files, 1) << name << ": nothing may be created";
  }
}

// Outputs left by an earlier, longer run are emptied before they are
// written: no byte of theirs survives past the new end.
TEST(Driver, LongerEarlierOutputsLeaveNoStaleBytes) {
  TempDir dir;
  const std::string input = dir.File("SIMU3450.dat");
  fs::copy_file(std::string(MORVELIN_TEST_DATA_DIR) + "/../examples/SIMU3450.dat", input);
  const char* extensions[] = {".gpb", ".epp", ".sum", ".sta"};
  ASSERT_EQ(ConvertAsHost(input).result, 0);
  Bytes first[4];
  for (int i = 0; i < 4; ++i) {
    first[i] = ReadBytes(WithExtension(input, extensions[i]));
    WriteBytes(WithExtension(input, extensions[i]), Bytes(4 << 20, 0xA5));
  }
  ASSERT_EQ(ConvertAsHost(input).result, 0);
  for (int i = 0; i < 4; ++i) {
    Bytes again = ReadBytes(WithExtension(input, extensions[i]));
    if (i == 0) {
      first[i] = WithoutGpbStamp(first[i]);
      again = WithoutGpbStamp(again);
    }
    EXPECT_EQ(again, first[i]) << extensions[i];
  }
}

#if !defined(_WIN32)
// Disk space reserved ahead of the measurement file's writes is given back:
// the file holds no more blocks than its bytes need (give or take the file
// system's own rounding), not a reservation step of 32 MiB.
TEST(Driver, MeasurementFileKeepsNoReservedSpace) {
  TempDir dir;
  const std::string input = dir.File("SIMU3450.dat");
  fs::copy_file(std::string(MORVELIN_TEST_DATA_DIR) + "/../examples/SIMU3450.dat", input);
  ASSERT_EQ(ConvertAsHost(input).result, 0);
  struct stat info;
  ASSERT_EQ(stat(WithExtension(input, ".gpb").c_str(), &info), 0);
  EXPECT_LE(static_cast<std::int64_t>(info.st_blocks) * 512, static_cast<std::int64_t>(info.st_size) + (1 << 20));
}
#endif

TEST(Driver, OverlongOutputPathsAreRefusedBeforeAnythingIsCreated) {
  TempDir dir;
  // The measurement file's path must fit its 143-character header field.
  std::string name(143 - dir.Path().size() - 1 - 4 + 1, 'L');
  std::string path = dir.File(name + ".DAT");
  WriteBytes(path, {});
  ASSERT_EQ(WithExtension(path, ".gpb").size(), 144u);
  Conversion c = ConvertAsHost(path);
  EXPECT_EQ(c.result, -1);
  EXPECT_NE(c.error_text.find("longer than 143 characters"), std::string::npos) << c.error_text;
  EXPECT_FALSE(FileExists(WithExtension(path, ".gpb")));
  EXPECT_FALSE(FileExists(WithExtension(path, ".sum")));

  name.pop_back();
  path = dir.File(name + ".DAT");
  WriteBytes(path, {});
  EXPECT_EQ(ConvertAsHost(path).result, 0);
}

TEST(Driver, PathWithoutRoomForItsExtensionIsRefused) {
#if defined(_WIN32)
  GTEST_SKIP() << "paths beyond 260 characters are not listed by this runtime";
#endif
  TempDir dir;
  std::string folder = dir.File(std::string(200, 'd'));
  fs::create_directory(folder);
  folder.append("/").append(200, 'e');
  fs::create_directory(folder);
  std::string path = folder + "/";
  path += std::string(508 - path.size(), 'f');  // 508 characters, no extension
  WriteBytes(path, {});
  Conversion c = ConvertAsHost(path);
  EXPECT_EQ(c.result, -1);
  EXPECT_EQ(c.error_text.rfind("Error: No room for the output file extensions", 0), 0u) << c.error_text;
  EXPECT_EQ(c.path_after, path);
  int files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++files;
  EXPECT_EQ(files, 1);
}

TEST(Driver, CountsOfAFailedRunAreZero) {
  TempDir dir;
  std::string path = dir.File("ABCD1230.DAT");
  // Three records of a type without a decoder, so the previous run counts
  // nothing visible; then a run that fails must report zeros, not them.
  WriteBytes(path, {});
  ASSERT_EQ(ConvertAsHost(path).result, 0);
  Conversion failed = ConvertAsHost(dir.File("MISSING.DAT"));
  EXPECT_EQ(failed.result, -1);
  for (int count : failed.counts) EXPECT_EQ(count, 0);
}

#if !defined(_WIN32)
// /dev/full accepts the open and fails every write that reaches it.
TEST(Driver, WriteFailuresOfTextFilesFailTheRun) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  // (The station file has nothing written to it in an empty run.)
  for (const char* extension : {".epp", ".sum"}) {
    TempDir dir;
    std::string path = dir.File("ABCD1230.DAT");
    WriteBytes(path, {});
    fs::create_symlink("/dev/full", WithExtension(path, extension));
    Conversion c = ConvertAsHost(path);
    EXPECT_EQ(c.result, -1) << extension;
    EXPECT_EQ(c.error_text, "Error: Unable to write to " + WithExtension(path, extension)) << extension;
  }
}

TEST(Driver, WriteFailureOfTheMeasurementFileFailsTheRun) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  std::string path = dir.File("ABCD1230.DAT");
  WriteBytes(path, {});
  fs::create_symlink("/dev/full", WithExtension(path, ".gpb"));
  Conversion c = ConvertAsHost(path);
  EXPECT_EQ(c.result, -1);
  EXPECT_EQ(c.error_text, "Error: Unable to write to " + WithExtension(path, ".gpb"));
}

TEST(Driver, UnopenableOutputsGiveTheirTexts) {
  struct Case {
    const char* extension;
    const char* prefix;
    const char* suffix;
  } cases[] = {
      {".gpb", "Error: Unable to open ", " for writing"},
      {".epp", "Error: File ", " not found "},
      {".sum", "Error: File ", " not found "},
      {".sta", "Error: File ", " not able to be opened"},
  };
  for (const Case& k : cases) {
    TempDir dir;
    std::string path = dir.File("ABCD1230.DAT");
    WriteBytes(path, {});
    // The outputs of an earlier run survive a run refused for one of them.
    for (const char* extension : {".gpb", ".epp", ".sum", ".sta"})
      if (std::strcmp(extension, k.extension) != 0) WriteBytes(WithExtension(path, extension), {'o', 'l', 'd'});
    fs::create_directory(WithExtension(path, k.extension));  // a directory cannot be opened for writing
    Conversion c = ConvertAsHost(path);
    EXPECT_EQ(c.result, -1) << k.extension;
    EXPECT_EQ(c.error_text, k.prefix + WithExtension(path, k.extension) + k.suffix);
    EXPECT_EQ(c.path_after, WithExtension(path, k.extension));
    for (const char* extension : {".gpb", ".epp", ".sum", ".sta"}) {
      if (std::strcmp(extension, k.extension) != 0) {
        EXPECT_EQ(ReadBytes(WithExtension(path, extension)), Bytes({'o', 'l', 'd'})) << k.extension << extension;
      }
    }
  }
  // Nor does a refused run leave outputs that were not there before.
  TempDir dir;
  std::string path = dir.File("ABCD1230.DAT");
  WriteBytes(path, {});
  fs::create_directory(WithExtension(path, ".sta"));
  EXPECT_EQ(ConvertAsHost(path).result, -1);
  for (const char* extension : {".gpb", ".epp", ".sum"}) EXPECT_FALSE(FileExists(WithExtension(path, extension)));
}
#endif

}  // namespace
}  // namespace morvelin::test
