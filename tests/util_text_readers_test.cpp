// Line, field, keyword-line and block readers, and RINEX's fixed fields.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/text.h"
#include "morvelin/util.h"
#include "support/harness.h"

namespace morvelin {
namespace {

// A text stream over content, read back as the readers' callers open files.
class TextFile {
 public:
  explicit TextFile(const std::string& content) {
    const std::string path = dir_.File("input.txt");
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::fwrite(content.data(), 1, content.size(), out);
    std::fclose(out);
    stream_ = std::fopen(path.c_str(), "r");
  }
  ~TextFile() { std::fclose(stream_); }
  std::FILE* Get() const { return stream_; }

 private:
  test::TempDir dir_;
  std::FILE* stream_ = nullptr;
};

TEST(ReadTextLine, Lines) {
  TextFile file("abc\n\nxy\r\nlast");
  char line[255];
  EXPECT_EQ(ReadTextLine(file.Get(), line), 3);
  EXPECT_STREQ(line, "abc");
  EXPECT_EQ(ReadTextLine(file.Get(), line), 0);
  EXPECT_STREQ(line, "");
#if defined(_WIN32)
  EXPECT_EQ(ReadTextLine(file.Get(), line), 2);  // text mode folds CR LF
  EXPECT_STREQ(line, "xy");
#else
  EXPECT_EQ(ReadTextLine(file.Get(), line), 3);
  EXPECT_STREQ(line, "xy\r");
#endif
  EXPECT_EQ(ReadTextLine(file.Get(), line), 4);
  EXPECT_STREQ(line, "last");
  EXPECT_EQ(ReadTextLine(file.Get(), line), -1);
}

TEST(ReadTextLine, LongLinesStayInside255Bytes) {
  struct Case {
    std::size_t length;
    bool line_feed;
    int result;
    std::size_t kept;
    int next;  // the following call
  };
  const Case cases[] = {
      {254, true, 254, 254, -1},  {254, false, 254, 254, -1}, {255, true, 255, 254, -1},
      {255, false, 255, 254, -1}, {256, true, 255, 254, 0},   {300, true, 255, 254, 44},
  };
  for (const auto& c : cases) {
    std::string text;
    for (std::size_t i = 0; i < c.length; ++i) text += static_cast<char>('a' + i % 26);
    TextFile file(text + (c.line_feed ? "\n" : ""));
    char buffer[300];
    std::memset(buffer, 'G', sizeof buffer);
    EXPECT_EQ(ReadTextLine(file.Get(), buffer), c.result) << c.length;
    EXPECT_EQ(std::strlen(buffer), c.kept) << c.length;
    EXPECT_EQ(std::string(buffer, c.kept), text.substr(0, c.kept));
    for (std::size_t i = 255; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], 'G') << c.length;
    EXPECT_EQ(ReadTextLine(file.Get(), buffer), c.next) << c.length;
  }
}

TEST(ReadLineFields, EveryConversion) {
  TextFile file(
      "12, 3.5\tXY\n"
      "12 . 7\n"
      "A  B C\n"
      "q -4 2.5 1e3 7 8 word\n"
      "9 10\n"
      "1 2\n"
      "1 2\n"
      "\n"
      "5 6\n");
  std::int32_t i = 0, j = 0, k = 0;
  double d = 0.0, d2 = 0.0;
  float f = 0.0f, g = 0.0f;
  char text[16] = "";
  char rest[16] = "";
  char c = 0;
  EXPECT_EQ(ReadLineFields(file.Get(), "%d %lf %s", i, d, text), 3);
  EXPECT_EQ(i, 12);
  EXPECT_EQ(d, 3.5);
  EXPECT_STREQ(text, "XY");
  EXPECT_EQ(ReadLineFields(file.Get(), "%d %d %d", i, j, k), 1);
  EXPECT_EQ(ReadLineFields(file.Get(), "%s %S", text, rest), 2);
  EXPECT_STREQ(text, "A");
  EXPECT_STREQ(rest, " B C");
  EXPECT_EQ(ReadLineFields(file.Get(), "%c %ld %f %le %e %d %s", c, i, f, d, g, j, text), 7);
  EXPECT_EQ(c, 'q');
  EXPECT_EQ(i, -4);
  EXPECT_EQ(f, 2.5f);
  EXPECT_EQ(d, 1000.0);
  EXPECT_EQ(g, 7.0f);
  EXPECT_EQ(j, 8);
  EXPECT_STREQ(text, "word");
  // "%l" before '%' is a long, and the '%' is the next conversion.
  EXPECT_EQ(ReadLineFields(file.Get(), "%l%d", i, j), 2);
  EXPECT_EQ(i, 9);
  EXPECT_EQ(j, 10);
  // Unknown letters and wrong destinations fail; earlier fields stay.
  i = 0;
  EXPECT_EQ(ReadLineFields(file.Get(), "%d %x", i, j), -1);
  EXPECT_EQ(i, 1);
  EXPECT_EQ(ReadLineFields(file.Get(), "%d %lf", i, d2, f), 2);  // a spare destination is fine
  EXPECT_EQ(d2, 2.0);
  EXPECT_EQ(ReadLineFields(file.Get(), "%d"), 0);  // empty line
  EXPECT_EQ(ReadLineFields(file.Get(), "%d %d", i), -1);  // destination missing
  EXPECT_EQ(ReadLineFields(file.Get(), "%d", i), -1);  // end of file
}

TEST(ReadLineFields, WrongDestinationKind) {
  TextFile file("1.5 2\n");
  std::int32_t i = 0;
  EXPECT_EQ(ReadLineFields(file.Get(), "%lf", i), -1);
}

TEST(ParseKeywordLine, Lines) {
  char text[] = "Ant Height = 1.5, 2.0 ;cm\nkey=1,2,,3\nx\t= a=b\r\ntail";
  char keyword[41];
  char* values[50];
  std::int32_t count = -1;
  char* next = ParseKeywordLine(text, keyword, values, count);
  EXPECT_STREQ(keyword, "ANTHEIGHT");
  ASSERT_EQ(count, 2);
  EXPECT_STREQ(values[0], "1.5");
  EXPECT_STREQ(values[1], "2.0");
  next = ParseKeywordLine(next, keyword, values, count);
  EXPECT_STREQ(keyword, "KEY");
  ASSERT_EQ(count, 3);
  EXPECT_STREQ(values[2], "3");
  next = ParseKeywordLine(next, keyword, values, count);
  EXPECT_STREQ(keyword, "X\t");
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(values[0], "a=b");
  // No line feed after the last line: the walk stops at the text's end.
  next = ParseKeywordLine(next, keyword, values, count);
  EXPECT_STREQ(keyword, "TAIL");
  EXPECT_EQ(count, 0);
  EXPECT_EQ(*next, '\0');
}

TEST(ParseKeywordLine, Limits) {
  std::string line = "averyveryverylongkeywordthatgoesonandonandonpast = ";
  for (int v = 0; v < 60; ++v) line += std::to_string(v) + ",";
  line += "\nnext\n";
  char keyword[8];
  char* values[50];
  std::int32_t count = 0;
  char* next = ParseKeywordLine(line.data(), keyword, values, count);
  EXPECT_STREQ(keyword, "AVERYVE");
  EXPECT_EQ(count, 50);
  EXPECT_STREQ(values[49], "49");
  EXPECT_STREQ(next, "next\n");
  char* few[3];
  std::string short_line = "k = 1 2 3 4 5\n";
  ParseKeywordLine(short_line.data(), keyword, few, count);
  EXPECT_EQ(count, 3);
}

// An ephemeris file as the converter writes it.
const char kEphemerisFile[] =
    "$EPHREC Ver6.02 MORVELIN \n"
    "GpsEph { Prn: 5\n"
    "\tEl1: 0 1303 0.00000000e+00 0 0\n"
    "\tEl2: 1.00000001e-01 -2.50000000e-01 0.00000000e+00\n"
    "\tEl3: 77 -1.25000000e+01 4.50000000e-09 1.23456789012345e+00\n"
    "\tEl4: 1.00000000e-06 1.23456789012340e-02 2.00000000e-06 5.15365334320068e+03\n"
    "\tEl5: 518400 3.00000000e-08 -2.10000000000000e+00 4.00000000e-08\n"
    "\tEl6: 9.60000000000000e-01 2.50000000e+02 1.10000000000000e+00 -8.00000000e-09 1.00000000e-10\n"
    "}\n"
    "GpsEph { Prn: 17\n"
    "\tEl1: 0 1303 0.00000000e+00 0 0\n"
    "\tEl3: 3 0.0 0.0 0.0\n"
    "}\n";

TEST(ReadBlock, EphemerisFile) {
  TextFile file(kEphemerisFile);
  TextBlock block;
  ASSERT_EQ(ReadBlock(file.Get(), block), 0);
  EXPECT_STREQ(block.name, "GpsEph");
  ASSERT_EQ(block.entry_count, 7);
  EXPECT_STREQ(block.entries[0].keyword, "Prn:");
  EXPECT_EQ(block.entries[0].value_count, 1);
  EXPECT_STREQ(block.entries[6].keyword, "El6:");
  EXPECT_EQ(block.entries[6].value_count, 5);
  std::int32_t prn = 0, iode = 0, toe = 0;
  float crs = 0.0f, cuc = 0.0f, cus = 0.0f;
  double delta_n = 0.0, m0 = 0.0, eccentricity = 0.0, sqrt_a = 0.0;
  EXPECT_EQ(ScanKeyword("prn:", block, "%d", prn), 1);
  EXPECT_EQ(prn, 5);
  EXPECT_EQ(ScanKeyword("El3:", block, "%ld %e %le %le", iode, crs, delta_n, m0), 4);
  EXPECT_EQ(iode, 77);
  EXPECT_EQ(crs, -12.5f);
  EXPECT_EQ(m0, 1.23456789012345);
  EXPECT_EQ(ScanKeyword("El4:", block, "%f %lf %f %lf", cuc, eccentricity, cus, sqrt_a), 4);
  EXPECT_EQ(eccentricity, 1.23456789012340e-02);
  EXPECT_EQ(sqrt_a, 5.15365334320068e+03);
  EXPECT_EQ(ScanKeyword("El5:", block, "%ld", toe), 1);
  EXPECT_EQ(toe, 518400);
  EXPECT_EQ(ScanKeyword("El7:", block, "%d", toe), -1);

  ASSERT_EQ(ReadBlock(file.Get(), block), 0);
  EXPECT_EQ(block.entry_count, 3);
  EXPECT_EQ(ScanKeyword("Prn:", block, "%d", prn), 1);
  EXPECT_EQ(prn, 17);
  EXPECT_EQ(ScanKeyword("El4:", block, "%lf", sqrt_a), -1);
  EXPECT_EQ(ReadBlock(file.Get(), block), -1);
}

TEST(ReadBlock, QuotedTextAndRepeatedKeywords) {
  TextFile file(
      "Site {\n"
      "ANT \"a b\" 2 ; comment \"x y\"\n"
      "  \n"
      "Note one\n"
      "note two\n"
      "Empty\n"
      "}\n");
  TextBlock block;
  ASSERT_EQ(ReadBlock(file.Get(), block), 0);
  EXPECT_STREQ(block.name, "Site");
  ASSERT_EQ(block.entry_count, 4);
  EXPECT_STREQ(block.entries[0].keyword, "ANT");
  ASSERT_EQ(block.entries[0].value_count, 2);
  EXPECT_STREQ(block.entries[0].values[0], "\"a`b\"");
  EXPECT_STREQ(block.entries[0].values[1], "2");

  char text[16] = "";
  std::int32_t number = 0;
  EXPECT_EQ(ScanKeyword("ant", block, "%s %d", text, number), 2);
  EXPECT_STREQ(text, "a`b");
  EXPECT_EQ(number, 2);
  RestoreQuotedBlanks(text);
  EXPECT_STREQ(text, "a b");
  char marked[] = "a`b`c";
  ReplaceBackquotes(marked, '_');
  EXPECT_STREQ(marked, "a_b_c");

  EXPECT_EQ(ScanNextKeyword("NOTE", block, "%s", text), 1);
  EXPECT_STREQ(text, "one");
  EXPECT_EQ(ScanNextKeyword("NOTE", block, "%s", text), 1);
  EXPECT_STREQ(text, "two");
  EXPECT_EQ(ScanNextKeyword("NOTE", block, "%s", text), -1);
  EXPECT_EQ(ScanKeyword("note", block, "%s", text), 1);
  EXPECT_STREQ(text, "one");
  // An entry without values gives no conversions, not -1.
  EXPECT_EQ(ScanKeyword("empty", block, "%d", number), 0);
  EXPECT_EQ(ScanNextKeyword("empty", block, "%d", number), -1);  // delivered
  EXPECT_EQ(block.entries[3].used, 1);
}

TEST(ReadBlock, HeaderRules) {
  TextFile file(
      "NoBlank{\n"
      "averyveryverylong {\n"
      "fifteen chars  {\n"
      "x = 1\n"
      "}\n"
      "Last { k 1\n"
      "k 2\n"
      "k 3");
  TextBlock block;
  ASSERT_EQ(ReadBlock(file.Get(), block), 0);
  EXPECT_STREQ(block.name, "fifteen");
  ASSERT_EQ(block.entry_count, 1);
  EXPECT_STREQ(block.entries[0].keyword, "x");
  EXPECT_EQ(block.entries[0].value_count, 2);
  // The entry on the unterminated last line is not taken.
  ASSERT_EQ(ReadBlock(file.Get(), block), 0);
  EXPECT_STREQ(block.name, "Last");
  EXPECT_EQ(block.entry_count, 2);
  EXPECT_EQ(ReadBlock(file.Get(), block), -1);

  TextFile header_last("x\nTail {");
  EXPECT_EQ(ReadBlock(header_last.Get(), block), -1);
}

TEST(ReadBlock, LimitsAreCut) {
  std::string content = "B { ";
  content.append(40, 'k').append(" ").append(100, 'v');
  for (int w = 0; w < 20; ++w) content.append(" w").append(std::to_string(w));
  content += "\n";
  for (int e = 0; e < 35; ++e) content.append("e").append(std::to_string(e)).append(" 1\n");
  content += "}\nNext {\n}\n";
  TextFile file(content);
  TextBlock block;
  ASSERT_EQ(ReadBlock(file.Get(), block), 0);
  EXPECT_EQ(std::strlen(block.entries[0].keyword), 31u);
  EXPECT_EQ(std::strlen(block.entries[0].values[0]), 79u);
  EXPECT_EQ(block.entries[0].value_count, 15);
  EXPECT_STREQ(block.entries[0].values[14], "w13");
  EXPECT_EQ(block.entry_count, 32);
  EXPECT_STREQ(block.entries[31].keyword, "e30");
  // The rest of the block stays in the stream; the search goes on from there.
  ASSERT_EQ(ReadBlock(file.Get(), block), 0);
  EXPECT_STREQ(block.name, "Next");
  EXPECT_EQ(block.entry_count, 0);
}

TEST(ScanKeyword, JoinedValuesAreCut) {
  TextBlock block{};
  std::strcpy(block.name, "B");
  block.entry_count = 1;
  std::strcpy(block.entries[0].keyword, "K");
  block.entries[0].value_count = 15;
  for (auto& value : block.entries[0].values) {
    std::memset(value, '7', 79);
    value[79] = '\0';
  }
  char text[600];
  EXPECT_EQ(ScanKeyword("k", block, "%s", text), 1);
  EXPECT_EQ(std::strlen(text), 79u);
  std::int32_t number = 0;
  char tail[2];
  EXPECT_EQ(ScanKeyword("k", block, "%3d%2s", number, tail), 2);
  EXPECT_EQ(number, 777);
  EXPECT_STREQ(tail, "7");  // cut to the destination
}

// The rest of scanf's conventions, each against a keyword entry's values.
// kinds names the destinations in order: i int32, u uint32, t text, f first text.
TEST(ScanKeyword, IntegerBasesSetsAndSuppression) {
  struct Case {
    const char* values;
    const char* format;
    const char* kinds;
    int result;
    std::int32_t i;
    std::uint32_t u;
    const char* first;
    const char* text;
  };
  const Case cases[] = {
      {"0x1F", "%i", "i", 1, 31, 0, "", ""},
      {"-017", "%i", "i", 1, -15, 0, "", ""},
      {"99999999999", "%li", "i", 1, 2147483647, 0, "", ""},
      {"4294967295", "%u", "u", 1, 0, 4294967295u, "", ""},
      {"-1", "%lu", "u", 1, 0, 4294967295u, "", ""},
      {"ff", "%x", "u", 1, 0, 255, "", ""},
      {"0XfFg", "%X%s", "ut", 2, 0, 255, "", "g"},
      {"0x", "%x%s", "ut", 2, 0, 0, "", "x"},
      {"755 8", "%o %d", "ui", 2, 8, 493, "", ""},
      {"12 34", "%*d %d", "i", 1, 34, 0, "", ""},
      {"abc123def", "%[a-c]%u%[^ ]", "fut", 3, 0, 123, "abc", "def"},
      {"]a]b", "%[]a]", "t", 1, 0, 0, "", "]a]"},
      {"1,2", "%*[^,],%d", "i", 1, 2, 0, "", ""},
      {"7", "%[0-9", "t", 0, 0, 0, "", ""},
      {"xyz", "%[0-9]", "t", 0, 0, 0, "", ""},
      {"5", "%u", "i", 0, 0, 0, "", ""},  // an unsigned conversion wants an unsigned destination
  };
  for (const Case& c : cases) {
    TextBlock block{};
    block.entry_count = 1;
    std::strcpy(block.entries[0].keyword, "K");
    block.entries[0].value_count = 1;
    std::strcpy(block.entries[0].values[0], c.values);
    std::int32_t i = 0;
    std::uint32_t u = 0;
    char first[8] = "", text[16] = "";
    std::vector<ScanTarget> targets;
    for (const char* k = c.kinds; *k != '\0'; ++k) {
      targets.push_back(*k == 'i'   ? ScanTarget(i)
                        : *k == 'u' ? ScanTarget(u)
                        : *k == 'f' ? ScanTarget(first)
                                    : ScanTarget(text));
    }
    EXPECT_EQ(ScanKeywordInto("k", block, c.format, targets), c.result) << c.values << " " << c.format;
    EXPECT_EQ(i, c.i) << c.values << " " << c.format;
    EXPECT_EQ(u, c.u) << c.values << " " << c.format;
    EXPECT_STREQ(first, c.first) << c.values << " " << c.format;
    EXPECT_STREQ(text, c.text) << c.values << " " << c.format;
  }
}

// RINEX's fixed fields: what a field holds, read as a real and as an
// integer; ok false where the field holds anything but one number.
TEST(FixedFields, NumbersOfFields) {
  struct Case {
    const char* field;
    bool real_ok;
    double real;
    bool integer_ok;
    long long integer;
    bool blank;
  } cases[] = {
      {"", true, 0.0, true, 0, true},
      {"      ", true, 0.0, true, 0, true},
      {"  .1234D+01", true, 1.234, false, 0, false},
      {" -.5d-02", true, -0.005, false, 0, false},
      {"+42", true, 42.0, true, 42, false},
      {"  18  ", true, 18.0, true, 18, false},
      {"1.5E+3", true, 1500.0, false, 0, false},
      {"12 34", false, 0.0, false, 0, false},
      {"1.0x", false, 0.0, false, 0, false},
      {"inf", false, 0.0, false, 0, false},
      {"nan", false, 0.0, false, 0, false},
      {"1D999", false, 0.0, false, 0, false},
      {"99999999999999999999", true, 1e20, false, 0, false},
      {"0.1234567890123456789012345678901234567890", false, 0.0, false, 0, false},
  };
  for (const Case& c : cases) {
    double real = -1.0;
    long long integer = -1;
    bool blank = false;
    EXPECT_EQ(ParseField(c.field, real, blank), c.real_ok) << c.field;
    if (c.real_ok) {
      EXPECT_DOUBLE_EQ(real, c.real) << c.field;
    }
    EXPECT_EQ(blank, c.blank) << c.field;
    EXPECT_EQ(ParseField(c.field, integer, blank), c.integer_ok) << c.field;
    if (c.integer_ok) {
      EXPECT_EQ(integer, c.integer) << c.field;
    }
  }
}

// Columns are cut to the line, and the header label is columns 61-80 trimmed.
TEST(FixedFields, ColumnsAndHeaderLabels) {
  const std::string line = std::string("     2.11           OBSERVATION DATA    G (GPS)") +
                           std::string(13, ' ') + "RINEX VERSION / TYPE";
  EXPECT_EQ(Columns(line, 0, 9), "     2.11");
  EXPECT_EQ(Columns(line, 20, 16), "OBSERVATION DATA");
  EXPECT_EQ(Columns(line, 76, 20), "TYPE");  // cut at the line's end
  EXPECT_EQ(Columns(line, 80, 5), "");
  EXPECT_EQ(Columns(line, 500, 5), "");
  EXPECT_EQ(HeaderLabel(line), "RINEX VERSION / TYPE");
  EXPECT_EQ(HeaderLabel("G   44 END OF HEADER"), "");  // too short to have a label
}

}  // namespace
}  // namespace morvelin
