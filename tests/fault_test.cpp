// Faults a host meets, through the exports, with a real sample: outputs
// that cannot be created or written, inputs that cannot be read, paths at
// the limits of the host's fields, names beyond ASCII. Each gives its
// result and a text naming the file, deletes nothing that was written and
// leaves no descriptor (Windows: handle) open. Injected write failures at
// every offset are in faults/ (Linux).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#if defined(_WIN32)
#include <direct.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "support/descriptors.h"
#include "support/harness.h"

namespace morvelin::test {
namespace {

constexpr const char* kExtensions[] = {".gpb", ".epp", ".sum", ".sta"};
const Bytes kOld = {'o', 'l', 'd'};

Bytes Sample() { return ReadBytes(std::string(MORVELIN_TEST_DATA_DIR) + "/data/TRNC3450.dat"); }

// Narrow-path helpers on the C library, as the library itself opens files.
bool MakeFolder(const std::string& path) {
#if defined(_WIN32)
  return _mkdir(path.c_str()) == 0;
#else
  return mkdir(path.c_str(), 0755) == 0;
#endif
}
bool Exists(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file != nullptr) std::fclose(file);
  return file != nullptr;
}
void Put(const std::string& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  if (!bytes.empty()) {
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
  }
  ASSERT_EQ(std::fclose(file), 0);
}

Conversion ConvertCounted(const std::string& input) {
  ConvertOptions quiet;
  quiet.message_callback = quiet.progress_callback = false;
  const int descriptors = OpenDescriptors();
  Conversion c = ConvertAsHost(input, quiet);
  EXPECT_EQ(OpenDescriptors(), descriptors) << "a descriptor was left open converting " << input;
  return c;
}

struct OutputFault {
  const char* name;
  int output;  // index into kExtensions
  bool linux_only;
  std::function<void(const std::string& path)> make;  // puts the fault in the output's place
  const char* text_before;  // the message: text_before + path + text_after
  const char* text_after;
  bool others_old;  // the other outputs keep an earlier run's content
};

TEST(Faults, OutputsThatCannotBeCreatedOrWritten) {
  auto folder = [](const std::string& path) { ASSERT_TRUE(MakeFolder(path)); };
  auto full = [](const std::string& path) {
#if !defined(_WIN32)
    ASSERT_EQ(symlink("/dev/full", path.c_str()), 0);
#else
    (void)path;
#endif
  };
  const OutputFault faults[] = {
      {"folder in the way of the .gpb", 0, false, folder, "Error: Unable to open ", " for writing", true},
      {"folder in the way of the .epp", 1, false, folder, "Error: File ", " not found ", true},
      {"folder in the way of the .sum", 2, false, folder, "Error: File ", " not found ", true},
      {"folder in the way of the .sta", 3, false, folder, "Error: File ", " not able to be opened", true},
      {"full disk under the .gpb", 0, true, full, "Error: Unable to write to ", "", false},
      {"full disk under the .epp", 1, true, full, "Error: Unable to write to ", "", false},
      {"full disk under the .sum", 2, true, full, "Error: Unable to write to ", "", false},
      {"full disk under the .sta", 3, true, full, "Error: Unable to write to ", "", false},
  };
  for (const OutputFault& fault : faults) {
#if defined(_WIN32)
    if (fault.linux_only) continue;
#else
    if (fault.linux_only && !Exists("/dev/full")) continue;
#endif
    SCOPED_TRACE(fault.name);
    TempDir dir;
    const std::string input = dir.File("TRNC3450.dat");
    Put(input, Sample());
    for (int i = 0; i < 4; ++i)
      if (i != fault.output) Put(WithExtension(input, kExtensions[i]), kOld);
    const std::string target = WithExtension(input, kExtensions[fault.output]);
    fault.make(target);

    const Conversion c = ConvertCounted(input);
    EXPECT_EQ(c.result, MORVELIN_FAILED);
    EXPECT_EQ(c.error_text.substr(0, c.error_text.find(" (disk full)")),
              fault.text_before + target + fault.text_after);
    for (int i = 0; i < 4; ++i) {
      if (i == fault.output) continue;
      const std::string other = WithExtension(input, kExtensions[i]);
      ASSERT_TRUE(Exists(other)) << kExtensions[i] << " was deleted";
      if (fault.others_old) {
        EXPECT_EQ(ReadBytes(other), kOld) << kExtensions[i];
      }
    }
  }
}

TEST(Faults, InputsThatCannotBeRead) {
  struct InputFault {
    const char* name;
    std::function<bool(const std::string& path)> make;  // false: not possible here
  };
  const InputFault faults[] = {
      {"missing", [](const std::string&) { return true; }},
      {"a folder", [](const std::string& path) { return MakeFolder(path); }},
      {"unreadable",
       [](const std::string& path) {
#if defined(_WIN32)
         (void)path;
         return false;
#else
         Put(path, Sample());
         // Whoever may read anything (root) reads it all the same.
         return chmod(path.c_str(), 0) == 0 && geteuid() != 0;
#endif
       }},
  };
  for (const InputFault& fault : faults) {
    SCOPED_TRACE(fault.name);
    TempDir dir;
    const std::string input = dir.File("TRNC3450.dat");
    if (!fault.make(input)) continue;
    const Conversion c = ConvertCounted(input);
    EXPECT_EQ(c.result, MORVELIN_FAILED);
    EXPECT_EQ(c.error_text, "Error: File " + input + " not found");
    for (const char* extension : kExtensions) EXPECT_FALSE(Exists(WithExtension(input, extension))) << extension;
  }
}

// Paths at the host's limits: a .gpb path of 143 characters fits its
// header field, 144 do not; an input of 508 characters has no room for an
// appended extension in the 512-byte path field, and 511 fill it.
TEST(Faults, PathsAtTheLimits) {
  struct PathCase {
    std::size_t gpb_length;  // length of the .gpb path; 0: no extension, input of input_length
    std::size_t input_length;
    int result;
    const char* text;
  };
  const PathCase cases[] = {
      {143, 0, MORVELIN_DONE, ""},
      {144, 0, MORVELIN_FAILED, "Error: Output path longer than 143 characters: "},
      {0, 508, MORVELIN_FAILED, "Error: No room for the output file extensions in the path "},
      {0, 511, MORVELIN_FAILED, "Error: No room for the output file extensions in the path "},
  };
  for (const PathCase& k : cases) {
    SCOPED_TRACE(std::to_string(k.gpb_length) + "/" + std::to_string(k.input_length));
    TempDir dir;
    std::string input;
    if (k.gpb_length != 0) {
      const std::size_t stem = k.gpb_length - dir.Path().size() - 1 - 4;
      input = dir.File(std::string(stem, 'L') + ".dat");
      ASSERT_EQ(WithExtension(input, ".gpb").size(), k.gpb_length);
    } else {
#if defined(_WIN32)
      continue;  // beyond the 260 characters of a plain Windows path
#else
      // Folders of up to 200 characters on the way: a name has at most 255.
      std::string folder = dir.Path();
      while (k.input_length - folder.size() > 201) {
        folder += "/" + std::string(200, 'd');
        ASSERT_TRUE(MakeFolder(folder));
      }
      input = folder + "/" + std::string(k.input_length - folder.size() - 1, 'f');
      ASSERT_EQ(input.size(), k.input_length);
#endif
    }
    Put(input, Sample());
    const Conversion c = ConvertCounted(input);
    EXPECT_EQ(c.result, k.result) << c.error_text;
    if (k.result == MORVELIN_DONE) {
      EXPECT_EQ(c.counts[0], 3);
      for (const char* extension : kExtensions) EXPECT_TRUE(Exists(WithExtension(input, extension))) << extension;
    } else {
      EXPECT_EQ(c.error_text.rfind(k.text, 0), 0u) << c.error_text;
      for (const char* extension : kExtensions) EXPECT_FALSE(Exists(WithExtension(input, extension))) << extension;
    }
  }
}

// Folder and file names beyond ASCII, in the bytes the platform's narrow
// file functions take (UTF-8 on Linux, the ANSI code page on Windows).
TEST(Faults, NamesBeyondAscii) {
#if defined(_WIN32)
  const char* folder_name = "Z\xFCrich \xD6lberg";  // Zürich Ölberg in Windows-1252
  const char* file_name = "\xC4\xD6\xDC" "3450.dat";
#else
  const char* folder_name = "Z\xC3\xBCrich \xC3\x96lberg \xE6\x9D\xB1\xE4\xBA\xAC";
  const char* file_name = "\xC3\x84\xC3\x96\xC3\x9C" "3450.dat";
#endif
  TempDir dir;
  const std::string folder = dir.File(folder_name);
  ASSERT_TRUE(MakeFolder(folder));
  const std::string input = folder + (dir.File("x").substr(dir.Path().size(), 1)) + file_name;
  Put(input, Sample());
  const Conversion c = ConvertCounted(input);
  ASSERT_EQ(c.result, MORVELIN_DONE) << c.error_text;
  EXPECT_EQ(c.counts[0], 3);
  for (const char* extension : kExtensions) EXPECT_TRUE(Exists(WithExtension(input, extension))) << extension;
  EXPECT_EQ(c.path_after, input);
}

}  // namespace
}  // namespace morvelin::test
