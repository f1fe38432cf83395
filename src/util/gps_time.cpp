// GPS time, calendar time and their text forms.
//
// The calendar arithmetic is the 32-bit seconds-since-1970 kind: every fourth
// year is a leap year, two-digit years 0-69 are 2000-2069, and the sums wrap
// at 32 bits as they always have (callers compare against files written that
// way). The one exception is ParseGpsTime, which counts the full GPS week
// from 1980 to 2099.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "morvelin/util.h"
#include "base/gnss_constants.h"
#include "base/text_builder.h"
#include "util/calendar_table.h"
#include "util/text_scan.h"

namespace morvelin {

namespace {

constexpr std::int32_t kFourYearSeconds = 126230400;  // 1461 days
// The parsers' work area: texts must fit it with their terminator.
constexpr std::size_t kWorkAreaSize = 32;

using detail::ApplyRollover;
using detail::kDaysBeforeMonth;
using detail::kWeeksPerRollover;
using detail::TruncateToInt32;
using detail::Wrap32;

// The GPS epoch is derived, never stored, so it always agrees with the
// calendar arithmetic of SecondsFromDateTime.
std::int32_t GpsEpochSeconds() {
  std::tm epoch{};
  epoch.tm_year = 80;
  epoch.tm_mon = 0;
  epoch.tm_mday = 6;
  return SecondsFromDateTime(epoch);
}

// Years since 1900 and month 0-11 with a month outside the year carried into
// the year, so the month table is never read outside its row.
void CarryMonth(std::int64_t& years_since_1900, std::int64_t& month) {
  std::int64_t carry = month / 12;
  month %= 12;
  if (month < 0) {
    month += 12;
    --carry;
  }
  years_since_1900 += carry;
}

// Seconds since 1970 in 64 bits: the arithmetic of SecondsFromDateTime
// without the wrap.
std::int64_t SecondsFromDateTime64(std::int64_t years_since_1900, std::int64_t month,
                                   std::int64_t day, std::int64_t hour, std::int64_t minute,
                                   std::int64_t second) {
  CarryMonth(years_since_1900, month);
  const int leap = years_since_1900 % 4 == 0 ? 1 : 0;
  std::int64_t days = kDaysBeforeMonth[leap][month] + day - 1;
  const std::int64_t years = years_since_1900 < 70 ? years_since_1900 + 30 : years_since_1900 - 70;
  days += 365 * years + (years + 2) / 4 - leap;
  return days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

// A calendar year as CalendarToGps reads it, in years since 1900.
std::int32_t YearsSince1900(std::int32_t year) { return year > 1900 ? year - 1900 : year; }

// The text as far as the separator, or false when the text ends first.
bool TakeUntil(std::string_view& rest, char separator, std::string_view& field) {
  std::size_t at = rest.find(separator);
  if (at == std::string_view::npos) return false;
  field = rest.substr(0, at);
  rest.remove_prefix(at + 1);
  return true;
}

bool FitsWorkArea(const char* text) {
  if (text == nullptr) return false;
  for (std::size_t i = 0; i < kWorkAreaSize; ++i) {
    if (text[i] == '\0') return true;
  }
  return false;
}

}  // namespace

std::int32_t SecondsFromDateTime(const std::tm& time) {
  return Wrap32(SecondsFromDateTime64(time.tm_year, time.tm_mon, time.tm_mday, time.tm_hour,
                                      time.tm_min, time.tm_sec));
}

bool DateTimeFromSecondsChecked(std::int32_t seconds, std::tm& time) {
  const std::int32_t quads = seconds / kFourYearSeconds;
  std::int32_t rest = seconds - quads * kFourYearSeconds;
  std::int32_t years = 4 * quads;
  int leap = 0;
  if (rest < 31536000) {
  } else if (rest < 63072000) {
    years += 1;
    rest -= 31536000;
  } else if (rest < 94694400) {
    years += 2;
    rest -= 63072000;
    leap = 1;
  } else {
    years += 3;
    rest -= 94694400;
  }
  const std::int32_t day_of_year = rest / kSecondsPerDay;
  int month = 0;
  bool placed = false;
  for (int m = 0; m < 12; ++m) {
    if (kDaysBeforeMonth[leap][m] <= day_of_year && day_of_year < kDaysBeforeMonth[leap][m + 1]) {
      month = m;
      placed = true;
      break;
    }
  }
  time.tm_mday = day_of_year - kDaysBeforeMonth[leap][month] + 1;
  time.tm_mon = month;
  rest -= day_of_year * kSecondsPerDay;
  time.tm_hour = rest / 3600;
  rest -= time.tm_hour * 3600;
  time.tm_min = rest / 60;
  time.tm_sec = rest - time.tm_min * 60;
  time.tm_year = years + 70;
  time.tm_wday = 0;
  return placed;
}

std::tm* DateTimeFromSeconds(std::int32_t seconds) {
  static std::tm record{};
  if (!DateTimeFromSecondsChecked(seconds, record)) {
    // Existing callers watch standard output for this line.
    std::fputs("Internal error: Bad day number\n", stdout);
  }
  return &record;
}

void GpsToCalendar(std::int32_t week, double seconds_of_week, std::int32_t& hour,
                   std::int32_t& minute, double& seconds, std::int32_t& month, std::int32_t& day,
                   std::int32_t& year) {
  week = ApplyRollover(week);
  const double total = week * static_cast<double>(kWholeSecondsPerWeek) + GpsEpochSeconds() + seconds_of_week;
  const std::int32_t whole = TruncateToInt32(total);
  const std::tm* broken = DateTimeFromSeconds(whole);
  hour = broken->tm_hour;
  minute = broken->tm_min;
  seconds = (total - whole) + broken->tm_sec;
  year = broken->tm_year;
  if (year < 50) year += 100;
  if (year < 199) year += 1900;
  month = broken->tm_mon + 1;
  day = broken->tm_mday;
}

void CalendarToGps(std::int32_t hour, std::int32_t minute, double seconds, std::int32_t month,
                   std::int32_t day, std::int32_t year, std::int32_t& week,
                   double& seconds_of_week) {
  std::tm record{};
  const std::int32_t whole_seconds = TruncateToInt32(seconds);
  record.tm_sec = whole_seconds;
  record.tm_min = minute;
  record.tm_hour = hour;
  record.tm_mday = day;
  // Month is not range-checked: any int32 is carried into the year, and
  // month - 1 must not overflow on the way.
  record.tm_mon = Wrap32(std::int64_t{month} - 1);
  record.tm_year = YearsSince1900(year);
  record.tm_isdst = 0;
  const std::int32_t since_epoch = Wrap32(std::int64_t{SecondsFromDateTime(record)} - GpsEpochSeconds());
  week = since_epoch / kWholeSecondsPerWeek;
  seconds_of_week = (since_epoch - week * kWholeSecondsPerWeek) + (seconds - whole_seconds);
  if (week >= kWeeksPerRollover) week -= kWeeksPerRollover;
}

void CalendarToGpsFullWeek(std::int32_t hour, std::int32_t minute, double seconds,
                           std::int32_t month, std::int32_t day, std::int32_t year,
                           std::int32_t& week, double& seconds_of_week) {
  const std::int32_t whole_seconds = TruncateToInt32(seconds);
  const std::int64_t since_epoch =
      SecondsFromDateTime64(YearsSince1900(year), std::int64_t{month} - 1, day, hour, minute,
                            whole_seconds) -
      GpsEpochSeconds();
  const std::int64_t full_week = since_epoch / kWholeSecondsPerWeek;
  week = Wrap32(full_week);
  seconds_of_week = static_cast<double>(since_epoch - full_week * kWholeSecondsPerWeek) +
                    (seconds - whole_seconds);
}

std::int32_t ParseTimeText(const char* text, std::int32_t& hour, std::int32_t& minute,
                           double& seconds) {
  if (!FitsWorkArea(text)) return 1;
  std::string_view rest(text);
  std::string_view field;
  if (!TakeUntil(rest, ':', field)) return 1;
  const std::int32_t parsed_hour = detail::LeadingInt(field);
  if (parsed_hour > 255) return 1;
  hour = parsed_hour;
  if (!TakeUntil(rest, ':', field)) return 1;
  const std::int32_t parsed_minute = detail::LeadingInt(field);
  if (parsed_minute < 0 || parsed_minute > 60) return 1;
  minute = parsed_minute;
  std::size_t run = 0;
  while (run < rest.size() && (detail::IsDigit(rest[run]) || rest[run] == '.')) ++run;
  const double parsed_seconds = detail::LeadingReal(rest.substr(0, run));
  if (parsed_seconds < 0.0 || parsed_seconds > 60.0) return 1;
  seconds = parsed_seconds;
  return 0;
}

std::int32_t ParseDateText(const char* text, std::int32_t& month, std::int32_t& day,
                           std::int32_t& year) {
  if (!FitsWorkArea(text)) return 1;
  std::string_view rest(text);
  std::string_view field;
  if (!TakeUntil(rest, '/', field)) return 1;
  month = detail::LeadingInt(field);
  if (!TakeUntil(rest, '/', field)) return 1;
  day = detail::LeadingInt(field);
  std::int32_t parsed_year = detail::LeadingInt(rest);
  if (parsed_year < 50) {
    parsed_year += 2000;
  } else if (parsed_year < 1900) {
    parsed_year += 1900;
  }
  year = parsed_year;
  return 0;
}

void FormatGpsTime(double gps_seconds, std::int32_t decimals, std::span<char> time_text,
                   std::span<char> date_text) {
  if (decimals < 0) decimals = 0;
  if (decimals > 60) decimals = 60;
  const std::int32_t week = TruncateToInt32(gps_seconds / kWholeSecondsPerWeek);
  const double seconds_of_week = gps_seconds - week * static_cast<double>(kWholeSecondsPerWeek);
  std::int32_t hour = 0, minute = 0, month = 0, day = 0, year = 0;
  double seconds = 0.0;
  GpsToCalendar(week, seconds_of_week, hour, minute, seconds, month, day, year);
  if (!time_text.empty()) {
    TextBuilder out(time_text.data(), time_text.size());
    out.Int(hour, 2, TextBuilder::Pad::kZeros);
    out.Char(':');
    out.Int(minute, 2, TextBuilder::Pad::kZeros);
    out.Char(':');
    out.Fixed(seconds, decimals, decimals + 2 + (decimals != 0 ? 1 : 0), TextBuilder::Pad::kZeros);
  }
  if (!date_text.empty()) {
    TextBuilder out(date_text.data(), date_text.size());
    out.Int(month, 2, TextBuilder::Pad::kZeros);
    out.Char('/');
    out.Int(day, 2, TextBuilder::Pad::kZeros);
    out.Char('/');
    out.Int(year);
  }
}

std::int32_t ParseGpsTime(const char* time_text, const char* date_text, double& gps_seconds) {
  std::int32_t month = 0, day = 0, year = 0, hour = 0, minute = 0;
  double seconds = 0.0;
  if (ParseDateText(date_text, month, day, year) != 0) return 1;
  if (ParseTimeText(time_text, hour, minute, seconds) != 0) return 1;
  // A week folded into 0-1023 and unfolded again by the 500-week threshold is
  // right only from August 1989 to March 2009, so from the GPS epoch to the
  // end of 2099 the week is counted whole. Outside that span the documented
  // rule holds: the folded week, moved on by 1024 when below 500.
  std::int32_t week = 0;
  double seconds_of_week = 0.0;
  CalendarToGpsFullWeek(hour, minute, seconds, month, day, year, week, seconds_of_week);
  const double full = week * static_cast<double>(kWholeSecondsPerWeek) + seconds_of_week;
  const double end_of_2099 =
      static_cast<double>(SecondsFromDateTime64(200, 0, 1, 0, 0, 0) - GpsEpochSeconds());
  if (full >= 0.0 && full < end_of_2099) {
    gps_seconds = full;
    return 0;
  }
  CalendarToGps(hour, minute, seconds, month, day, year, week, seconds_of_week);
  week = ApplyRollover(week);
  gps_seconds = week * static_cast<double>(kWholeSecondsPerWeek) + seconds_of_week;
  return 0;
}

}  // namespace morvelin
