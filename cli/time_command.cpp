// `morvelin time`: GPS week and seconds of week to calendar date and time,
// and back, with the utility library's own conversions.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "commands.h"
#include "time_text.h"
#include "morvelin/util.h"
#include "base/text_builder.h"
#include "base/gnss_constants.h"

namespace morvelin::cli {

namespace {

// Full GPS weeks both ways, from the GPS epoch to the end of 2099.
constexpr int kMaxDecimals = 6;
// Days from 1970-01-01 to the GPS epoch, 1980-01-06, and to 2100-01-01.
constexpr std::int64_t kGpsEpochDay = 3657;
constexpr std::int64_t kEndDay = 47482;

struct TimeArguments {
  std::string when;
  std::string seconds;
  int decimals = -1;
};

int Fail(const std::string& message) {
  std::cerr << "Error: " << message << '\n';
  return kExitFailed;
}

int ChosenDecimals(int requested, int typed) {
  if (requested >= 0) return requested;
  return typed < kMaxDecimals ? typed : kMaxDecimals;
}

// The civil date of a day counted from 1970-01-01 (Gregorian; 1970-2099).
void CivilDate(std::int64_t days, int& year, int& month, int& day) {
  year = 1970;
  while (days >= (year % 4 == 0 ? 366 : 365)) days -= year++ % 4 == 0 ? 366 : 365;
  month = 1;
  while (days >= DaysInMonth(year, month)) days -= DaysInMonth(year, month++);
  day = static_cast<int>(days) + 1;
}

void Digits(TextBuilder& text, std::int64_t value, int width) {
  text.Int(value, width, TextBuilder::Pad::kZeros);
}

int WeekToDate(const std::string& week_text, const std::string& seconds_text, int requested) {
  int week = 0;
  double seconds_of_week = 0.0;
  int typed = 0;
  if (!ParseWhole(week_text, week) || week < 0) {
    return Fail("the GPS week must be a whole number of 0 or more, not '" + week_text + "'");
  }
  if (!ParseDecimalSeconds(seconds_text, seconds_of_week, typed) || seconds_of_week >= kSecondsPerWeek) {
    return Fail("the seconds of the week must be a number from 0 to below 604800, not '" + seconds_text + "'");
  }
  // Whole units of the printed decimals, so that rounding carries into the
  // minutes and days as it must.
  const int decimals = ChosenDecimals(requested, typed);
  std::int64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const std::int64_t units = std::llround(seconds_of_week * static_cast<double>(scale));
  const std::int64_t seconds = week * std::int64_t{kWholeSecondsPerWeek} + units / scale + kGpsEpochDay * kSecondsPerDay;
  if (week > (kEndDay - kGpsEpochDay) / 7 || seconds >= kEndDay * kSecondsPerDay) {
    return Fail("the time lies after 2099-12-31, beyond the calendar this command converts");
  }
  int year = 0, month = 0, day = 0;
  CivilDate(seconds / kSecondsPerDay, year, month, day);
  const std::int64_t of_day = seconds % kSecondsPerDay;
  FixedText<64> line;
  line.Int(year).Char('-');
  Digits(line, month, 2);
  line.Char('-');
  Digits(line, day, 2);
  line.Char('T');
  Digits(line, of_day / 3600, 2);
  line.Char(':');
  Digits(line, of_day / 60 % 60, 2);
  line.Char(':');
  Digits(line, of_day % 60, 2);
  if (decimals > 0) {
    line.Char('.');
    Digits(line, units % scale, decimals);
  }
  std::cout << line.View() << '\n';
  return kExitDone;
}

int DateToWeek(const std::string& text, int requested) {
  CalendarTime when;
  const CalendarParse parsed = ParseCalendarTime(text, when);
  if (parsed == CalendarParse::kNotTheForm) {
    return Fail("'" + text + "' is not a date and time of the form 2005-01-01T00:00:00.25");
  }
  if (parsed == CalendarParse::kNotADay) {
    return Fail("'" + text + "' is not a calendar date and time from 1980 to 2099");
  }
  const int typed = when.decimals;
  int week = 0;
  double seconds_of_week = 0.0;
  CalendarToGpsFullWeek(when.hour, when.minute, when.seconds, when.month, when.day, when.year, week, seconds_of_week);
  if (week < 0 || seconds_of_week < 0.0) return Fail("'" + text + "' lies before the GPS epoch, 1980-01-06");
  FixedText<64> line;
  line.Int(week).Char(' ').Fixed(seconds_of_week, ChosenDecimals(requested, typed));
  std::cout << line.View() << '\n';
  return kExitDone;
}

}  // namespace

void AddTimeCommand(CLI::App& app, int& exit_code) {
  auto* command = app.add_subcommand(
      "time",
      "Convert between GPS time and calendar date and time (GPS time scale: no leap seconds).\n"
      "  morvelin time 1303 518400.25            prints 2005-01-01T00:00:00.25\n"
      "  morvelin time 2005-01-01T00:00:00.25    prints 1303 518400.25\n"
      "Both ways the week is the full GPS week, counted from 1980-01-06 without rollover, and both ways "
      "cover 1980-01-06 to the end of 2099: week and seconds of week give the date and time; a date and "
      "time (YYYY-MM-DD, YYYY-MM-DDTHH:MM, or YYYY-MM-DDTHH:MM:SS with a fraction if wanted) gives the week and "
      "the seconds of the week.\n"
      "Exit code: 0 converted; 1 standard output was closed; 2 the input is not a time this command "
      "converts, or standard output cannot be written; 64 usage error.");
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
    exit_code = FinishStandardOutput(exit_code);
  });
}

}  // namespace morvelin::cli
