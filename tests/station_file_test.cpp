// The station file writers: record-driven lines, the end-of-run lines,
// lines built from text, and the locale-free number reading they share.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "base/text.h"
#include "formats/station_file.h"
#include "host/library_state.h"
#include "morvelin/station.h"
#include "records/station.h"
#include "support/decoder_harness.h"

using namespace morvelin;
using namespace morvelin::test;
using namespace std::string_literals;

namespace {

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Station lines as the decoders report them, written as the station file holds them.
class StationFileTest : public ::testing::Test {
 protected:
  void Line(StationField name, StationField height, StationField description, std::int32_t count, double time) {
    ReportStationLine(run_.Context(), name, height, description, count, time);
  }
  std::string Written() const { return run_.StationText(); }

  TempDir dir_;
  DecoderHarness run_;
};

TEST_F(StationFileTest, FieldLimits) {
  const std::string forty(40, 'd');
  const std::string name_with_nul("AB\0CDEFG", 8);
  const std::string description_with_nul("one\0two", 7);
  Line(AsBytes("ABCDEFGH"), std::nullopt, AsBytes(forty), 33, 1.0);
  Line(AsBytes(name_with_nul), std::nullopt, AsBytes(forty), 0, 2.0);
  Line(AsBytes("ABCDEFGHIJ"), std::nullopt, AsBytes(forty), -5, 3.0);
  Line(AsBytes("P"), std::nullopt, AsBytes(description_with_nul), 7, -4.25);
  Line(AsBytes("Q"), std::nullopt, std::nullopt, 20, 5.0);
  EXPECT_EQ(Written(), LineEnds("STA:  *  1.0  * ABCDEFGH  *  0.000  *  " + std::string(32, 'd') + "  * \n"
                                "STA:  *  2.0  * AB  *  0.000  *    * \n"
                                "STA:  *  3.0  * ABCDEFGH  *  0.000  *    * \n"
                                "STA:  *  -4.2  * P  *  0.000  *  one  * \n"
                                "STA:  *  5.0  * Q  *  0.000  *    * \n"));
  EXPECT_EQ(run_.station_lines, 5);
}

TEST_F(StationFileTest, HeightTexts) {
  struct Case {
    std::string text;
    const char* printed;
  };
  const Case cases[] = {
      {"        ", "0.000"},  {"1.5", "1.500"},      {"  -2.25x", "-2.250"}, {"12345678", "12345678.000"},
      {"abc", "0.000"},       {"+3e2", "300.000"},   {"1.5\0009"s, "1.500"},  {"123456789", "12345678.000"},
  };
  std::string expected;
  for (const Case& c : cases) {
    Line(AsBytes("N"), AsBytes(c.text), std::nullopt, 0, 0.0);
    expected += std::string("STA:  *  0.0  * N  *  ") + c.printed + "  *    * \n";
  }
  EXPECT_EQ(Written(), LineEnds(expected));
}

TEST_F(StationFileTest, HeightWithoutNameWritesNothingButHolds) {
  Line(std::nullopt, AsBytes("2.5"), std::nullopt, 0, 100.0);
  EXPECT_EQ(run_.station_lines, 0);
  Line(AsBytes("PT"), std::nullopt, std::nullopt, 0, 200.0);
  ReportEndOfRunStationLines(run_.Context());
  EXPECT_EQ(Written(), LineEnds("STA:  *  200.0  * PT  *  2.500  *    * \n"
                                "STA:  *  100.0  *   *  2.500  *  Entered at start  * \n"));
  EXPECT_EQ(run_.station_lines, 2);
}

TEST_F(StationFileTest, EndOfRunLines) {
  struct Case {
    double current, logged;
    const char* expected;
  };
  const Case cases[] = {
      {0.0, 0.0, ""},
      {-0.0, -0.0, ""},
      {1.25, 0.0, "STA:  *  60.5  * SITE1  *  1.250  *  Entered at start  * \n"},
      {0.0, 2.0, "STA:  *  0.0  * SITE1  *  2.000  *  Entered at start  * \n"},
      {1.25, 2.0,
       "STA:  *  60.5  * SITE1  *  1.250  *  Entered at start  * \n"
       "STA:  *  0.0  * SITE1  *  2.000  *  Entered at start  * \n"},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(index);
    ++index;
    DecoderHarness run;
    std::memcpy(run.state.station.station_name, "SITE1", 6);
    run.state.station.current_antenna_height = c.current;
    run.state.station.antenna_height_time = 60.5;
    run.state.station.logged_antenna_height = c.logged;
    ReportEndOfRunStationLines(run.Context());
    EXPECT_EQ(run.StationText(), LineEnds(c.expected));
    EXPECT_EQ(run.station_lines, (c.current != 0.0) + (c.logged != 0.0));
  }
}

TEST(ParseLeadingNumber, ReadsAsPercentLfInTheCLocale) {
  struct Case {
    const char* text;
    bool number;
    double value;
  };
  const Case cases[] = {
      {"12.5", true, 12.5},     {"  \t\n7", true, 7.0},  {"+3", true, 3.0},        {"-0.5", true, -0.5},
      {"12345x", true, 12345.0}, {".5", true, 0.5},      {"1e3", true, 1000.0},   {"2.5e", true, 2.5},
      {"1,5", true, 1.0},       {"0x10", true, 0.0},     {"", false, 0.0},        {"   ", false, 0.0},
      {"abc", false, 0.0},      {"+-1", false, 0.0},     {"-", false, 0.0},       {".", false, 0.0},
      {"inf", false, 0.0},      {"-nan", false, 0.0},    {"1e999", false, 0.0},   {"x12", false, 0.0},
  };
  for (const Case& c : cases) {
    double value = 99.0;
    EXPECT_EQ(ParseLeadingNumber(c.text, &value), c.number) << c.text;
    if (c.number) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

// WriteStationLineFromText writes to a host's FILE* and counts into the
// current run; the library's options and last epoch time are its inputs.
class StationTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_option_ = Library().station_text_option;
    saved_time_ = Library().last_epoch_time;
    saved_count_ = Library().counts.station_lines;
    Library().station_text_option = 0;
    Library().last_epoch_time = 1234.56;
    Library().counts.station_lines = 0;
    file_ = std::fopen(path_.c_str(), "w");
    ASSERT_NE(file_, nullptr);
  }
  void TearDown() override {
    if (file_ != nullptr) std::fclose(file_);
    Library().station_text_option = saved_option_;
    Library().last_epoch_time = saved_time_;
    Library().counts.station_lines = saved_count_;
  }
  std::string Written() {
    std::fclose(file_);
    file_ = nullptr;
    return ReadText(path_);
  }

  TempDir dir_;
  std::string path_ = dir_.File("text.sta");
  std::FILE* file_ = nullptr;
  std::int32_t saved_option_ = 0;
  double saved_time_ = 0.0;
  std::int32_t saved_count_ = 0;
};

TEST_F(StationTextTest, FewerThanTwoWords) {
  for (const char* line : {"", "   ", "1.500", "  1.500  \n", "1234567890123456789012345678901234567890"}) {
    std::int32_t mode = 7;
    EXPECT_EQ(WriteStationLineFromText(line, &mode, file_), -1) << line;
    EXPECT_EQ(mode, 7);
  }
  std::int32_t mode = 0;
  EXPECT_EQ(WriteStationLineFromText(nullptr, &mode, file_), -1);
  EXPECT_EQ(WriteStationLineFromText("1.5 PT01", &mode, nullptr), -1);
  EXPECT_EQ(Written(), "");
  EXPECT_EQ(Library().counts.station_lines, 0);
}

TEST_F(StationTextTest, ModeTexts) {
  struct Case {
    const char* line;
    std::int32_t mode_before, mode_after;
  };
  const Case cases[] = {
      {"1.500    PT01    KIN", 0, 2},   {"1.500    PT01    kin", 0, 2},  {"1.500    PT01    sTaT", 2, 0},
      {"1.500    PT01    KIN ", 0, 0},  {"1.500    PT01    KINE", 0, 0}, {"1.500    PT01    STAT\n", 2, 2},
      {"1.500    PT01", 2, 2},
  };
  for (const Case& c : cases) {
    std::int32_t mode = c.mode_before;
    EXPECT_EQ(WriteStationLineFromText(c.line, &mode, file_), 0) << c.line;
    EXPECT_EQ(mode, c.mode_after) << c.line;
  }
  EXPECT_EQ(WriteStationLineFromText("1.500    PT01    KIN", nullptr, file_), 0);
  EXPECT_EQ(Written(), LineEnds("STA:  *  1234.6  * PT01      *  1.500  *  KIN  * \n"
                                "STA:  *  1234.6  * PT01      *  1.500  *  kin  * \n"
                                "STA:  *  1234.6  * PT01      *  1.500  *  sTaT  * \n"
                                "STA:  *  1234.6  * PT01      *  1.500  *  KIN   * \n"
                                "STA:  *  1234.6  * PT01      *  1.500  *  KINE  * \n"
                                "STA:  *  1234.6  * PT01      *  1.500  *  STAT\n  * \n"
                                "STA:  *  1234.6  * PT01  *  1.500  *    * \n"
                                "STA:  *  1234.6  * PT01      *  1.500  *  KIN  * \n"));
  EXPECT_EQ(Library().counts.station_lines, 8);
}

TEST_F(StationTextTest, HeightNameAndShortOrLongLines) {
  const std::string long_word = "2.5" + std::string(147, 'a');
  const char* lines[] = {
      "2.0 X",                                      // ends before the name: empty name and mode
      "1.25m    NAME-LONGER-THAN-8 mode text that runs on",  // name 8, mode at most 16
      "abc      PT      x",                        // no number: height 0.0
      "-0.5E3   PT",                             // 'E' ends the height
  };
  for (const char* line : lines) EXPECT_EQ(WriteStationLineFromText(line, nullptr, file_), 0) << line;
  EXPECT_EQ(WriteStationLineFromText((long_word + " second").c_str(), nullptr, file_), 0);
  EXPECT_EQ(WriteStationLineFromText((long_word + "more").c_str(), nullptr, file_), -1);
  EXPECT_EQ(Written(), LineEnds("STA:  *  1234.6  *   *  2.000  *    * \n"
                                "STA:  *  1234.6  * NAME-LON  *  1.250  *  GER-THAN-8 mode   * \n"
                                "STA:  *  1234.6  * PT" + std::string(6, ' ') + "  *  0.000  *  x  * \n"
                                "STA:  *  1234.6  * PT  *  -0.500  *    * \n"
                                "STA:  *  1234.6  * aaaaaaaa  *  2.500  *  aaaaaaaaaaaaaaaa  * \n"));
}

TEST_F(StationTextTest, StationTextOptionTakesNameFromFirstWord) {
  Library().station_text_option = 1;
  const std::string long_word = "2.5" + std::string(147, 'a');
  struct Case {
    std::string line;
    std::int32_t mode_after;
  };
  const Case cases[] = {
      {"1.500abcdePNT1xyz other", 0},     // name from k + 5 = 10, four characters
      {"1.5xxxxxAB other", 0},            // the word ends after two
      {"0.0 x" + std::string(12, ' ') + "KIN", 2},  // no name, height 0.0: no line, mode still set
      {"0.000abcde other", 0},            // empty name at the word's end, height 0.0: no line
      {"3 y", 0},                         // no name but a height: a line with an empty name
      {"2.5\xC3\xA9xyzNAMEz other", 0},   // bytes above 0x7F end the height
      {long_word + " second", 0},         // the first word is cut to 99 characters
  };
  for (const Case& c : cases) {
    std::int32_t mode = 0;
    EXPECT_EQ(WriteStationLineFromText(c.line.c_str(), &mode, file_), 0) << c.line;
    EXPECT_EQ(mode, c.mode_after) << c.line;
  }
  EXPECT_EQ(Written(), LineEnds("STA:  *  1234.6  * PNT1  *  1.500  *   other  * \n"
                                "STA:  *  1234.6  * AB  *  1.500  *    * \n"
                                "STA:  *  1234.6  *   *  3.000  *    * \n"
                                "STA:  *  1234.6  * NAME  *  2.500  *  er  * \n"
                                "STA:  *  1234.6  * aaaa  *  2.500  *  aaaaaaaaaaaaaaaa  * \n"));
  EXPECT_EQ(Library().counts.station_lines, 5);
}

}  // namespace
