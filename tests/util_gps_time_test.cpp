// GPS time, calendar time and their text forms.
#include <gtest/gtest.h>

#include <string>

#include "morvelin/util.h"

namespace morvelin {
namespace {

std::tm Record(int year_since_1900, int month0, int day, int hour = 0, int minute = 0, int second = 0) {
  std::tm t{};
  t.tm_year = year_since_1900;
  t.tm_mon = month0;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

TEST(SecondsFromDateTime, Anchors) {
  EXPECT_EQ(SecondsFromDateTime(Record(80, 0, 6)), 315964800);
  EXPECT_EQ(SecondsFromDateTime(Record(72, 2, 1)), 68256000);
  EXPECT_EQ(SecondsFromDateTime(Record(70, 0, 1)), 0);
  EXPECT_EQ(SecondsFromDateTime(Record(100, 2, 1)), 951868800);  // 2000-03-01
  EXPECT_EQ(SecondsFromDateTime(Record(5, 0, 1)), SecondsFromDateTime(Record(105, 0, 1)));
  // A month outside the year is carried into it, never read past the table.
  EXPECT_EQ(SecondsFromDateTime(Record(104, 12, 1)), SecondsFromDateTime(Record(105, 0, 1)));
  EXPECT_EQ(SecondsFromDateTime(Record(105, -1, 1)), SecondsFromDateTime(Record(104, 11, 1)));
}

TEST(DateTimeFromSeconds, BreaksDownAndLeavesDayOfYearAlone) {
  std::tm* t = DateTimeFromSeconds(315964800 + 3723);
  t->tm_yday = 77;
  t->tm_isdst = 1;
  t = DateTimeFromSeconds(951868800 - 1);  // 2000-02-29 23:59:59
  const int fields[] = {t->tm_year, t->tm_mon,  t->tm_mday, t->tm_hour, t->tm_min,
                        t->tm_sec,  t->tm_wday, t->tm_yday, t->tm_isdst};
  const int expected[] = {100, 1, 29, 23, 59, 59, 0, 77, 1};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(fields[i], expected[i]) << i;
}

TEST(DateTimeFromSeconds, RoundTripsEveryMonthStart) {
  for (int year = 70; year < 137; ++year) {
    for (int month = 0; month < 12; ++month) {
      std::tm in = Record(year, month, 1 + month, month, 2 * month, 59 - month);
      std::tm out{};
      ASSERT_TRUE(DateTimeFromSecondsChecked(SecondsFromDateTime(in), out));
      EXPECT_EQ(out.tm_year, year);
      EXPECT_EQ(out.tm_mon, month);
      EXPECT_EQ(out.tm_mday, 1 + month);
      EXPECT_EQ(out.tm_hour, month);
      EXPECT_EQ(out.tm_min, 2 * month);
      EXPECT_EQ(out.tm_sec, 59 - month);
    }
  }
}

TEST(DateTimeFromSeconds, BadDayIsReportedBesidesTheMessage) {
  std::tm out{};
  EXPECT_FALSE(DateTimeFromSecondsChecked(-86401, out));
  EXPECT_EQ(out.tm_mon, 0);
  testing::internal::CaptureStdout();
  DateTimeFromSeconds(-86401);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Internal error: Bad day number\n");
  testing::internal::CaptureStdout();
  DateTimeFromSeconds(0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

struct CalendarCase {
  int week;
  double seconds_of_week;
  int year, month, day, hour, minute;
  double seconds;
};

TEST(GpsToCalendar, WindowAnchors) {
  const CalendarCase cases[] = {
      {0, 0.0, 1999, 8, 22, 0, 0, 0.0},
      {1024, 0.0, 1999, 8, 22, 0, 0, 0.0},
      {500, 0.0, 1989, 8, 6, 0, 0, 0.0},
      {1303, 518400.25, 2005, 1, 1, 0, 0, 0.25},
      {279, 518400.25, 2005, 1, 1, 0, 0, 0.25},
      {2300, 86399.5, 2024, 2, 4, 23, 59, 59.5},
  };
  for (const auto& c : cases) {
    int hour, minute, month, day, year;
    double seconds;
    GpsToCalendar(c.week, c.seconds_of_week, hour, minute, seconds, month, day, year);
    EXPECT_EQ(year, c.year) << c.week;
    EXPECT_EQ(month, c.month) << c.week;
    EXPECT_EQ(day, c.day) << c.week;
    EXPECT_EQ(hour, c.hour) << c.week;
    EXPECT_EQ(minute, c.minute) << c.week;
    EXPECT_DOUBLE_EQ(seconds, c.seconds) << c.week;
  }
}

TEST(CalendarToGps, FoldsTheWeek) {
  int week;
  double sow;
  CalendarToGps(0, 0, 0.25, 1, 1, 2005, week, sow);
  EXPECT_EQ(week, 279);
  EXPECT_DOUBLE_EQ(sow, 518400.25);
  CalendarToGps(0, 0, 0.25, 1, 1, 5, week, sow);  // two-digit year
  EXPECT_EQ(week, 279);
  CalendarToGps(0, 0, 0.0, 1, 6, 1980, week, sow);
  EXPECT_EQ(week, 0);
  EXPECT_DOUBLE_EQ(sow, 0.0);
  CalendarToGpsFullWeek(0, 0, 0.25, 1, 1, 2005, week, sow);
  EXPECT_EQ(week, 1303);
  EXPECT_DOUBLE_EQ(sow, 518400.25);
}

// Month and day are not range-checked: any int32 is carried through the
// 32-bit arithmetic without overflow (month - 1 of INT32_MIN overflowed;
// the time parsers' fuzzing found it through a date text "-4444454412/...").
TEST(CalendarToGps, AnyMonthIsCarriedWithoutOverflow) {
  const int months[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 13, INT32_MAX};
  for (int month : months) {
    int week = -7;
    double sow = -7.0;
    CalendarToGps(0, 0, 0.0, month, 1, 2000, week, sow);
    EXPECT_GE(sow, -604800.0) << month;
    CalendarToGpsFullWeek(0, 0, 0.0, month, 1, 2000, week, sow);
  }
  double t = 0.0;
  EXPECT_EQ(ParseGpsTime("00:00:00", "-4444454412/1/2000", t), 0);
  // The fuzzer's own input: hour and month INT32_MIN are accepted as written.
  EXPECT_EQ(ParseGpsTime("-4444454412:::\0229", "-4444454412:::\0229/\377/k", t), 0);
}

// Calendar -> GPS -> calendar over 1990-2037 (weeks 500-1023 come back as
// themselves, later ones through the window), and the full week agrees.
TEST(CalendarToGps, RoundTripsThroughGpsToCalendar) {
  for (int year = 1990; year <= 2037; ++year) {
    for (int month = 1; month <= 12; ++month) {
      const int day = 1 + (year + month) % 28;
      const int hour = (year * month) % 24;
      const int minute = (year + 7 * month) % 60;
      const double seconds = ((year + month) % 60) + 0.125;
      int week, full_week;
      double sow, full_sow;
      CalendarToGps(hour, minute, seconds, month, day, year, week, sow);
      CalendarToGpsFullWeek(hour, minute, seconds, month, day, year, full_week, full_sow);
      EXPECT_EQ(week, full_week > 1023 ? full_week - 1024 : full_week) << year << "-" << month;
      EXPECT_DOUBLE_EQ(sow, full_sow);
      int h, m, mo, d, y;
      double s;
      GpsToCalendar(full_week, full_sow, h, m, s, mo, d, y);
      EXPECT_EQ(y, year);
      EXPECT_EQ(mo, month);
      EXPECT_EQ(d, day);
      EXPECT_EQ(h, hour);
      EXPECT_EQ(m, minute);
      EXPECT_DOUBLE_EQ(s, seconds);
    }
  }
}

TEST(ParseTimeText, Bounds) {
  struct Case {
    const char* text;
    int result;
    int hour, minute;
    double seconds;
  };
  const Case cases[] = {
      {"12:34:56.5", 0, 12, 34, 56.5},
      {"00:60:60.0", 0, 0, 60, 60.0},
      {"-3:00:00", 0, -3, 0, 0.0},
      {" +7:5:1.25xyz", 0, 7, 5, 1.25},
      {"1:2:", 0, 1, 2, 0.0},
      {"1:2:3.4.5", 0, 1, 2, 3.4},
      {"00:61:00", 1, 0, -1, -1.0},
      {"00:00:60.5", 1, 0, 0, -1.0},
      {"256:00:00", 1, -1, -1, -1.0},
      {"12-00:00", 1, 12, -1, -1.0},
      {"12:00", 1, 12, -1, -1.0},
      {"00:00:00.000000000000000000000001", 1, -1, -1, -1.0},  // 33 characters
  };
  for (const auto& c : cases) {
    int hour = -1, minute = -1;
    double seconds = -1.0;
    EXPECT_EQ(ParseTimeText(c.text, hour, minute, seconds), c.result) << c.text;
    EXPECT_EQ(hour, c.hour) << c.text;
    EXPECT_EQ(minute, c.minute) << c.text;
    EXPECT_DOUBLE_EQ(seconds, c.seconds) << c.text;
  }
  int hour, minute;
  double seconds;
  EXPECT_EQ(ParseTimeText("00:00:00.0000000000000000000001", hour, minute, seconds), 0);  // 31
}

TEST(ParseDateText, Years) {
  struct Case {
    const char* text;
    int result, month, day, year;
  };
  const Case cases[] = {
      {"12/31/49", 0, 12, 31, 2049}, {"12/31/50", 0, 12, 31, 1950},
      {"12/31/1999", 0, 12, 31, 1999}, {"1/2/05", 0, 1, 2, 2005},
      {"13/40/2024", 0, 13, 40, 2024}, {"12/31", 1, 12, -1, -1},
      {"12-31-99", 1, -1, -1, -1},
  };
  for (const auto& c : cases) {
    int month = -1, day = -1, year = -1;
    EXPECT_EQ(ParseDateText(c.text, month, day, year), c.result) << c.text;
    EXPECT_EQ(month, c.month) << c.text;
    EXPECT_EQ(day, c.day) << c.text;
    EXPECT_EQ(year, c.year) << c.text;
  }
}

TEST(FormatGpsTime, TextForms) {
  char time_text[32];
  char date_text[16];
  double t = 0.0;
  ASSERT_EQ(ParseGpsTime("12:05:07.5", "03/14/2004", t), 0);
  FormatGpsTime(t, 2, time_text, date_text);
  EXPECT_STREQ(time_text, "12:05:07.50");
  EXPECT_STREQ(date_text, "03/14/2004");
  FormatGpsTime(t, 0, time_text, {});
  EXPECT_STREQ(time_text, "12:05:08");  // printf rounds 7.5 to even
  FormatGpsTime(t, 3, time_text, date_text);
  EXPECT_STREQ(time_text, "12:05:07.500");
  // A short buffer is cut, never overrun.
  char small[6] = {'x', 'x', 'x', 'x', 'x', 'x'};
  FormatGpsTime(t, 3, std::span<char>(small, 5), {});
  EXPECT_STREQ(small, "12:0");
  EXPECT_EQ(small[5], 'x');
}

TEST(ParseGpsTime, FullWeeksFrom1980To2099) {
  struct Case {
    const char* time;
    const char* date;
    double expected;
  };
  const Case cases[] = {
      {"00:00:00.25", "01/01/05", 1303 * 604800.0 + 518400.25},
      {"00:00:00", "01/06/1980", 0.0},
      {"00:00:00", "08/22/1999", 1024 * 604800.0},
      {"00:00:00", "03/22/2009", 1524 * 604800.0},  // folded to 500: was 1024 weeks early
      {"12:00:00", "02/05/2024", 2300 * 604800.0 + 86400.0 + 43200.0},
      {"23:59:59.5", "12/31/2099", 6260 * 604800.0 + 4 * 86400.0 + 86399.5},
  };
  for (const auto& c : cases) {
    double t = -1.0;
    ASSERT_EQ(ParseGpsTime(c.time, c.date, t), 0) << c.date;
    EXPECT_DOUBLE_EQ(t, c.expected) << c.date;
  }
  // Outside 1980-2099 the week is folded and moved on by 1024 below 500.
  const Case outside[] = {
      {"00:00:00", "01/05/1980", 1024 * 604800.0 - 86400.0},
      {"12:00:00", "12/31/1979", 1024 * 604800.0 - 6 * 86400.0 + 43200.0},
      {"00:00:00", "01/01/2100", 184 * 604800.0 - 455296.0},  // 32-bit seconds wrap
  };
  for (const auto& c : outside) {
    double t = -1.0;
    ASSERT_EQ(ParseGpsTime(c.time, c.date, t), 0) << c.date;
    EXPECT_DOUBLE_EQ(t, c.expected) << c.date;
  }
  double t = 7.0;
  EXPECT_EQ(ParseGpsTime("00:00:00", "01-01-2005", t), 1);
  EXPECT_EQ(ParseGpsTime("00:61:00", "01/01/2005", t), 1);
  EXPECT_EQ(t, 7.0);
}

}  // namespace
}  // namespace morvelin
