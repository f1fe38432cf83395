// Upper-casing, blanks, paths, the PATH search and big-endian reads.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "morvelin/util.h"
#include "support/harness.h"

namespace morvelin {
namespace {

TEST(UpperCase, FirstFortyCharactersOnly) {
  char text[] = "abc-xyz";
  UpperCase(text);
  EXPECT_STREQ(text, "ABC-XYZ");
  std::string fifty(50, 'q');
  UpperCase(fifty.data());
  EXPECT_EQ(fifty, std::string(40, 'Q') + std::string(10, 'q'));
}

struct ExtensionCase {
  const char* path;
  const char* expected;
};

TEST(AddDefaultExtension, BackslashPaths) {
  const ExtensionCase cases[] = {
      {"  data\\site", "data\\site.dat"},
      {"site.obs", "site.obs"},
      {"run.1\\site", "run.1\\site.dat"},
      {"run.1\\site.x", "run.1\\site.x"},
      {"site", "site.dat"},
      {"", ".dat"},
  };
  for (const auto& c : cases) {
    char path[64];
    std::strcpy(path, c.path);
    AddDefaultExtension(path, ".dat");
    EXPECT_STREQ(path, c.expected) << c.path;
  }
}

TEST(AddDefaultExtension, SlashPaths) {
  char path[64] = "data.v2/SITE";
  AddDefaultExtension(path, ".dat");
#if defined(_WIN32)
  EXPECT_STREQ(path, "data.v2/SITE");  // only the backslash separates there
#else
  EXPECT_STREQ(path, "data.v2/SITE.dat");
#endif
}

TEST(AddDefaultExtension, LeavesThePathWhenTheExtensionDoesNotFit) {
  char path[9] = "  abcde";
  AddDefaultExtension(std::span<char>(path, 9), ".dat");
  EXPECT_STREQ(path, "abcde");
  char exact[9] = "abcd";
  AddDefaultExtension(exact, ".dat");
  EXPECT_STREQ(exact, "abcd.dat");
}

TEST(SplitPath, Cases) {
  struct Case {
    const char* path;
    const char* directory;
    const char* name;
  };
  const Case cases[] = {
      {"  c:\\gps\\day1.dat", "c:\\gps\\", "day1.dat"},
      {"day1.dat", "", "day1.dat"},
      {"c:\\gps\\", "c:\\gps\\", ""},
#if defined(_WIN32)
      {"a/b\\c/d.dat", "a/b\\", "c/d.dat"},
#else
      {"a/b\\c/d.dat", "a/b\\c/", "d.dat"},
      {"/data.v2/SITE", "/data.v2/", "SITE"},
#endif
  };
  for (const auto& c : cases) {
    char directory[64] = "x";
    char name[64] = "x";
    SplitPath(c.path, directory, name);
    EXPECT_STREQ(directory, c.directory) << c.path;
    EXPECT_STREQ(name, c.name) << c.path;
  }
  char directory[4];
  char name[4];
  SplitPath("abcdef\\ghijkl", directory, name);
  EXPECT_STREQ(directory, "abc");
  EXPECT_STREQ(name, "ghi");
}

TEST(Stars, RoundTrip) {
  char text[] = "A B  C";
  const char* stars = BlanksToStars(text);
  EXPECT_STREQ(stars, "A*B**C");
  char back[16];
  std::strcpy(back, stars);
  StarsToBlanks(back);
  EXPECT_STREQ(back, "A B  C");
  const std::string long_text(300, ' ');
  EXPECT_EQ(std::string(BlanksToStars(long_text.c_str())), std::string(255, '*'));
}

TEST(ReverseBytes, AnyCount) {
  std::uint8_t four[] = {1, 2, 3, 4};
  ReverseBytes(four, 4);
  EXPECT_EQ(four[0], 4);
  EXPECT_EQ(four[3], 1);
  // Counts past 16 bytes, too.
  std::uint8_t twenty[20];
  for (int i = 0; i < 20; ++i) twenty[i] = static_cast<std::uint8_t>(i);
  ReverseBytes(twenty, 20);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(twenty[i], 19 - i);
  ReverseBytes(four, 0);
  ReverseBytes(four, -3);
  EXPECT_EQ(four[0], 4);
}

TEST(BigEndian, Values) {
  const std::uint8_t bytes[] = {0xAA, 0x00, 0x00, 0x01, 0x02, 0x3F, 0xF0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(BigEndian32(bytes + 1), 258u);
  EXPECT_EQ(BigEndianInt32(bytes + 1), 258);
  EXPECT_EQ(BigEndian16(bytes + 3), 258);
  EXPECT_EQ(BigEndianDouble(bytes + 5), 1.0);  // unaligned
  const std::uint8_t minus_one[] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(BigEndianInt32(minus_one), -1);
  EXPECT_EQ(BigEndian32(minus_one), 0xFFFFFFFFu);
  const std::uint8_t one_and_a_half[] = {0x3F, 0xC0, 0x00, 0x00};
  EXPECT_EQ(BigEndianFloat(one_and_a_half), 1.5f);
}

// PATH is process-wide: set it for one test and put it back.
class PathVariable {
 public:
  explicit PathVariable(const std::string& value) {
    const char* old = std::getenv("PATH");
    had_ = old != nullptr;
    if (had_) old_ = old;
    Set(value);
  }
  ~PathVariable() {
    if (had_) Set(old_);
  }

 private:
  static void Set(const std::string& value) {
#if defined(_WIN32)
    _putenv_s("PATH", value.c_str());
#else
    setenv("PATH", value.c_str(), 1);
#endif
  }
  bool had_ = false;
  std::string old_;
};

std::string ReadAll(std::FILE* stream) {
  std::string text;
  char buffer[64];
  while (std::fgets(buffer, sizeof buffer, stream) != nullptr) text += buffer;
  std::fclose(stream);
  return text;
}

#if defined(_WIN32)
constexpr char kListSeparator = ';';
#else
constexpr char kListSeparator = ':';
#endif

TEST(FindInPath, SearchesEntriesInOrder) {
  test::TempDir first;
  test::TempDir second;
  test::WriteBytes(second.File("probe.txt"), {'s', 'e', 'c', 'o', 'n', 'd', '\n'});
  {
    PathVariable path(first.Path() + kListSeparator + second.Path());
    std::FILE* stream = FindInPath("probe.txt");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(ReadAll(stream), "second\n");
    EXPECT_EQ(FindInPath("absent.txt"), nullptr);
  }
  test::WriteBytes(first.File("probe.txt"), {'f', 'i', 'r', 's', 't', '\n'});
  {
    PathVariable path(first.Path() + kListSeparator + second.Path() + kListSeparator);
    std::FILE* stream = FindInPath("probe.txt");
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(ReadAll(stream), "first\n");
  }
}

TEST(FindInPath, LongCandidatesAreNotTried) {
  test::TempDir dir;
  const std::string name = std::string(100, 'n');
  test::WriteBytes(dir.File(name), {'x'});
  PathVariable path(dir.Path());
  EXPECT_EQ(FindInPath(name.c_str()), nullptr);
}

}  // namespace
}  // namespace morvelin
