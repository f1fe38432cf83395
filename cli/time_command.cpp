// `morvelin time`: GPS week and seconds of week to calendar date and time,
// and back, with the utility library's own conversions.
#include <charconv>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "commands.h"
#include "morvelin/util.h"
#include "base/text_builder.h"

namespace morvelin::cli {

namespace {

// The calendar side counts seconds since 1970 in 32 bits, in a double of
// about 2^31: good to a microsecond.
constexpr int kMaxDecimals = 6;
constexpr double kSecondsPerWeek = 604800.0;
constexpr double kGpsEpochSince1970 = 315964800.0;
constexpr double kLastCalendarSecond = 2147483647.0;  // 2038-01-19 03:14:07

struct TimeArguments {
  std::string when;
  std::string seconds;
  int decimals = -1;
};

bool ParseWhole(std::string_view text, int& value) {
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// Digits with an optional fraction, nothing else; also counts the decimals.
bool ParseSeconds(std::string_view text, double& value, int& decimals) {
  if (text.empty()) return false;
  std::size_t dot = text.find('.');
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i != dot && (text[i] < '0' || text[i] > '9')) return false;
  }
  auto result = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return false;
  decimals = dot == std::string_view::npos ? 0 : static_cast<int>(text.size() - dot - 1);
  return true;
}

bool Fixed2(std::string_view text, std::size_t at, int& value) {
  if (at + 2 > text.size()) return false;
  return ParseWhole(text.substr(at, 2), value);
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && year % 4 == 0 ? 29 : kDays[month - 1];
}

int Fail(const std::string& message) {
  std::cerr << "Error: " << message << '\n';
  return 2;
}

int ChosenDecimals(int requested, int typed) {
  if (requested >= 0) return requested;
  return typed < kMaxDecimals ? typed : kMaxDecimals;
}

int WeekToDate(const std::string& week_text, const std::string& seconds_text, int requested) {
  int week = 0;
  double seconds_of_week = 0.0;
  int typed = 0;
  if (!ParseWhole(week_text, week) || week < 0) {
    return Fail("the GPS week must be a whole number of 0 or more, not '" + week_text + "'");
  }
  if (!ParseSeconds(seconds_text, seconds_of_week, typed) || seconds_of_week >= kSecondsPerWeek) {
    return Fail("the seconds of the week must be a number from 0 to below 604800, not '" + seconds_text + "'");
  }
  const int effective_week = week < 500 ? week + 1024 : week;
  if (effective_week * kSecondsPerWeek + seconds_of_week + kGpsEpochSince1970 > kLastCalendarSecond) {
    return Fail("the time lies after 2038-01-19 03:14:07, beyond the library's calendar");
  }
  char time_text[32];
  char date_text[16];
  FormatGpsTime(week * kSecondsPerWeek + seconds_of_week, ChosenDecimals(requested, typed), time_text,
                date_text);
  // "mm/dd/yyyy" to "yyyy-mm-dd".
  const std::string_view date(date_text);
  FixedText<64> line;
  line.Str(date.substr(6)).Char('-').Str(date.substr(0, 2)).Char('-').Str(date.substr(3, 2));
  line.Char('T').Str(time_text);
  std::cout << line.View() << '\n';
  return 0;
}

int DateToWeek(const std::string& text, int requested) {
  const std::string_view when(text);
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double seconds = 0.0;
  int typed = 0;
  const bool date_ok = when.size() >= 10 && ParseWhole(when.substr(0, 4), year) && when[4] == '-' &&
                       Fixed2(when, 5, month) && when[7] == '-' && Fixed2(when, 8, day);
  bool time_ok = date_ok;
  if (date_ok && when.size() > 10) {
    time_ok = (when[10] == 'T' || when[10] == ' ') && Fixed2(when, 11, hour) && when.size() > 13 &&
              when[13] == ':' && Fixed2(when, 14, minute);
    if (time_ok && when.size() > 16) {
      time_ok = when[16] == ':' && ParseSeconds(when.substr(17), seconds, typed);
    } else if (time_ok) {
      time_ok = when.size() == 16;
    }
  }
  if (!time_ok) {
    return Fail("'" + text + "' is not a date and time of the form 2005-01-01T00:00:00.25");
  }
  if (year < 1980 || year > 2099 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
      hour > 23 || minute > 59 || seconds >= 60.0) {
    return Fail("'" + text + "' is not a calendar date and time from 1980 to 2099");
  }
  int week = 0;
  double seconds_of_week = 0.0;
  CalendarToGpsFullWeek(hour, minute, seconds, month, day, year, week, seconds_of_week);
  if (week < 0 || seconds_of_week < 0.0) return Fail("'" + text + "' lies before the GPS epoch, 1980-01-06");
  FixedText<64> line;
  line.Int(week).Char(' ').Fixed(seconds_of_week, ChosenDecimals(requested, typed));
  std::cout << line.View() << '\n';
  return 0;
}

}  // namespace

void AddTimeCommand(CLI::App& app, int& exit_code) {
  auto* command = app.add_subcommand(
      "time",
      "Convert between GPS time and calendar date and time (GPS time scale: no leap seconds).\n"
      "  morvelin time 1303 518400.25            prints 2005-01-01T00:00:00.25\n"
      "  morvelin time 2005-01-01T00:00:00.25    prints 1303 518400.25\n"
      "Week and seconds of week give the date and time; weeks below 500 are taken as counted from the\n"
      "1999 rollover (week + 1024), and times up to 2038-01-19 03:14:07 are covered. A date and time\n"
      "(YYYY-MM-DD, YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS[.fraction], 1980-01-06 to 2099) gives\n"
      "the full GPS week, counted from 1980-01-06, and the seconds of the week.\n"
      "Exit code: 0 converted; 2 the input is not a time this command converts.");
  auto args = std::make_shared<TimeArguments>();
  command->add_option("WHEN", args->when, "A GPS week, or a date and time YYYY-MM-DDTHH:MM:SS[.fraction]")
      ->required();
  auto* seconds = command->add_option("SECONDS", args->seconds, "The seconds of the week, after a GPS week");
  command
      ->add_option("-d,--decimals", args->decimals,
                   "Decimals of the seconds printed (0-6); by default as many as the input has, up to 6")
      ->check(CLI::Range(0, kMaxDecimals));
  command->callback([args, seconds, &exit_code] {
    const bool looks_like_date = args->when.size() > 4 && args->when[4] == '-';
    int week = 0;
    if (seconds->count() > 0 && looks_like_date) {
      // An unquoted "2005-01-01 00:00:00" arrives as two words.
      exit_code = DateToWeek(args->when + " " + args->seconds, args->decimals);
    } else if (seconds->count() > 0) {
      exit_code = WeekToDate(args->when, args->seconds, args->decimals);
    } else if (ParseWhole(args->when, week)) {
      exit_code = Fail("a GPS week needs the seconds of the week after it");
    } else {
      exit_code = DateToWeek(args->when, args->decimals);
    }
  });
}

}  // namespace morvelin::cli
