// The five exported functions: defaults, detection, refusals, texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "base/message.h"
#include "morvelin/morvelin.h"
#include "support/harness.h"

namespace morvelin::test {
namespace {

TEST(SetFactoryDefaults, ZeroesBothWordsOnlyForSizeEight) {
  struct Case {
    uint32_t size;
    bool zeroed;
  } cases[] = {{8, true}, {4, false}, {12, false}, {0, false}};
  for (const Case& c : cases) {
    MorvelinOptions options{7, 9};
    SetFactoryDefaults(c.size, &options);
    EXPECT_EQ(options.kinematic, c.zeroed ? 0u : 7u) << c.size;
    EXPECT_EQ(options.station_text_option, c.zeroed ? 0u : 9u) << c.size;
  }
}

// A measurement-record header as AutoDetect looks for it: preamble, any
// length, any sub-record, type 17, and the satellite count 20 bytes on.
Bytes Candidate(std::uint8_t satellites, std::size_t size = 24) {
  Bytes bytes(size, 0);
  bytes[0] = 0x74;
  bytes[3] = 17;
  bytes[20] = satellites;
  return bytes;
}

Bytes Candidates(int count, std::uint8_t satellites = 4) {
  Bytes bytes;
  for (int i = 0; i < count; ++i) {
    Bytes one = Candidate(satellites);
    bytes.insert(bytes.end(), one.begin(), one.end());
  }
  return bytes;
}

struct DetectCase {
  const char* name;
  const char* file_name;
  Bytes content;
  int32_t expected;
};

TEST(AutoDetect, Table) {
  Bytes ten_then_bad = Candidates(50);
  Bytes bad = Candidate(13);
  ten_then_bad.insert(ten_then_bad.end(), bad.begin(), bad.end());
  ten_then_bad.resize(ten_then_bad.size() + 40, 0);

  Bytes eleven_then_bad_far = Candidates(11);
  eleven_then_bad_far.resize(32000, 0);
  Bytes beyond = Candidate(13);
  eleven_then_bad_far.insert(eleven_then_bad_far.end(), beyond.begin(), beyond.end());

  // The last candidate's satellite count lies past the end of the file.
  Bytes short_tail = Candidates(10);
  Bytes tail(18, 0);
  tail[0] = 0x74;
  tail[3] = 17;
  short_tail.insert(short_tail.end(), tail.begin(), tail.end());

  const DetectCase cases[] = {
      {"ten candidates", "site.dat", Candidates(10), 0},
      {"eleven candidates", "site.dat", Candidates(11), 1},
      {"twelve satellites count", "site.dat", Candidates(11, 12), 1},
      {"thirteen satellites reject", "site.dat", Candidates(11, 13), 0},
      {"bad after fifty good", "site.dat", ten_then_bad, 0},
      {"bad beyond the first 32000 bytes", "site.dat", eleven_then_bad_far, 1},
      {"count past the end still counts", "site.dat", short_tail, 1},
      {"empty", "site.dat", {}, 0},
      {"sixteen bytes", "site.dat", Bytes(16, 0x74), 0},
      {"mixed-case extension", "site.DaT", Candidates(11), 1},
      {"xdat passes", "sitexdat", Candidates(11), 1},
      {"other extension", "site.obs", Candidates(11), 0},
      {"dat in the middle", "site.dat.bak", Candidates(11), 0},
  };
  TempDir dir;
  for (const DetectCase& c : cases) {
    std::string path = dir.File(c.file_name);
    WriteBytes(path, c.content);
    EXPECT_EQ(AutoDetect(path.c_str()), c.expected) << c.name;
    std::remove(path.c_str());
  }
}

TEST(AutoDetect, UnreadablePathsAnswerZeroAndKeepTheMessage) {
  SetLibraryMessage("kept");
  TempDir dir;
  EXPECT_EQ(AutoDetect("DAT"), 0);
  EXPECT_EQ(AutoDetect(""), 0);
  EXPECT_EQ(AutoDetect(nullptr), 0);
  EXPECT_EQ(AutoDetect(dir.File("missing.dat").c_str()), 0);
  EXPECT_EQ(AutoDetect((dir.Path() + "/").c_str()), 0);
  std::string directory = dir.File("folder.dat");
  std::filesystem::create_directory(directory);
  EXPECT_EQ(AutoDetect(directory.c_str()), 0);
  char text[MORVELIN_MESSAGE_SIZE];
  GetErrString(text);
  EXPECT_STREQ(text, "kept");
}

struct RefusalCase {
  const char* name;
  uint32_t request_size;
  uint32_t callbacks_size;
  uint32_t options_size;
  const char* text;
};

TEST(ConvertFile, RefusesWrongSizesWithoutRunning) {
  const RefusalCase cases[] = {
      {"request 2671", 2671, 272, 8, "Incorrect version of Sample Conversion DLL"},
      {"request 0", 0, 272, 8, "Incorrect version of Sample Conversion DLL"},
      {"callbacks 271", 2672, 271, 8, "Incorrect version of Sample Conversion DLL"},
      {"both wrong", 2673, 0, 4, "Incorrect version of Sample Conversion DLL"},
      {"options 4", 2672, 272, 4, "Incorrect version of Sample Conversion DLL, Invalid options"},
      {"options 12", 2672, 272, 12, "Incorrect version of Sample Conversion DLL, Invalid options"},
  };
  TempDir dir;
  std::string path = dir.File("ABCD1230.DAT");
  WriteBytes(path, Candidates(20));
  for (const RefusalCase& c : cases) {
    MorvelinRequest request;
    std::memset(&request, 0, sizeof request);
    request.size = c.request_size;
    request.options_size = c.options_size;
    std::memcpy(request.path, path.c_str(), path.size() + 1);
    request.epoch_count = 77;
    MorvelinCallbacks callbacks;
    std::memset(&callbacks, 0, sizeof callbacks);
    callbacks.size = c.callbacks_size;
    EXPECT_EQ(ConvertFile(&request, &callbacks, 0), 1) << c.name;
    char text[MORVELIN_MESSAGE_SIZE];
    GetErrString(text);
    EXPECT_STREQ(text, c.text) << c.name;
    EXPECT_EQ(request.epoch_count, 77) << c.name << ": counts are not written";
    EXPECT_EQ(std::string(request.path), path) << c.name;
    EXPECT_FALSE(FileExists(dir.File("ABCD1230.gpb"))) << c.name;
  }
  EXPECT_EQ(ConvertFile(nullptr, nullptr, 0), 1);
}

TEST(ConvertFile, AbortBeforeTheCallIsForgotten) {
  TempDir dir;
  std::string path = dir.File("ABCD1230.DAT");
  WriteBytes(path, {});
  Abort();
  Abort();
  Conversion c = ConvertAsHost(path);
  EXPECT_EQ(c.result, 0) << c.error_text;
}

TEST(ConvertFile, UnterminatedPathFieldIsRefused) {
  MorvelinRequest request;
  std::memset(&request, 0, sizeof request);
  request.size = MORVELIN_REQUEST_SIZE;
  request.options_size = MORVELIN_OPTIONS_SIZE;
  std::memset(request.path, 'A', sizeof request.path);
  MorvelinCallbacks callbacks;
  std::memset(&callbacks, 0, sizeof callbacks);
  callbacks.size = MORVELIN_CALLBACKS_SIZE;
  EXPECT_EQ(ConvertFile(&request, &callbacks, 0), -1);
  EXPECT_EQ(request.epoch_count, 0);
}

TEST(MessageBuffer, LongTextsAreCutNeverOverrun) {
  std::string long_text(1000, 'x');
  SetLibraryMessage(long_text);
  char text[MORVELIN_MESSAGE_SIZE + 16];
  std::memset(text, '#', sizeof text);
  GetErrString(text);
  EXPECT_EQ(std::strlen(text), MORVELIN_MESSAGE_SIZE - 1u);
  EXPECT_EQ(text[MORVELIN_MESSAGE_SIZE], '#');

  // A missing input whose path fills the path field gives a cut message.
  TempDir dir;
  std::string path = dir.File(std::string(400, 'p') + ".DAT");
  Conversion c = ConvertAsHost(path);
  EXPECT_EQ(c.result, -1);
  EXPECT_EQ(c.error_text.size(), MORVELIN_MESSAGE_SIZE - 1u);
  EXPECT_EQ(c.error_text.rfind("Error: File ", 0), 0u);
}

}  // namespace
}  // namespace morvelin::test
