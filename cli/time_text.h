// Times as the command line takes them: calendar dates and times, shared
// by `morvelin time` and the RINEX export's --from and --to.
#pragma once

#include <string_view>

namespace morvelin::cli {

// Digits with an optional fraction, nothing else; decimals: the fraction's digits.
bool ParseDecimalSeconds(std::string_view text, double& value, int& decimals);

// A whole number, nothing else.
bool ParseWhole(std::string_view text, int& value);

// Days of a month (1-12) of a year from 1901 to 2099.
int DaysInMonth(int year, int month);

struct CalendarTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double seconds = 0.0;
  int decimals = 0;  // of the seconds as typed
};

enum class CalendarParse { kDone, kNotTheForm, kNotADay };

// YYYY-MM-DD, YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS[.fraction] (a blank
// may stand for the T), a real date and time from 1980 to 2099.
CalendarParse ParseCalendarTime(std::string_view text, CalendarTime& time);

}  // namespace morvelin::cli
