#include "gnss/time.h"

#include <cmath>

#include "gnss/constants.h"

namespace morvelin::gnss {

namespace {

// Days from 0000-03-01 to the GPS epoch, 1980-01-06.
constexpr std::int64_t kGpsEpochFromEra = 723125;

}  // namespace

GpsTime AddSeconds(GpsTime t, double seconds) {
  double s = t.seconds + seconds;
  const double weeks = std::floor(s / kSecondsPerWeek);
  s -= weeks * kSecondsPerWeek;
  if (s >= kSecondsPerWeek) s -= kSecondsPerWeek;  // -1e-300 + week rounds up to a whole week
  return {t.week + static_cast<std::int32_t>(weeks), s};
}

double SecondsBetween(GpsTime a, GpsTime b) {
  return static_cast<double>(a.week - b.week) * kSecondsPerWeek + (a.seconds - b.seconds);
}

double WrapHalfWeek(double seconds) {
  if (seconds > kHalfWeek) return seconds - kSecondsPerWeek;
  if (seconds < -kHalfWeek) return seconds + kSecondsPerWeek;
  return seconds;
}

CalendarDate DateOf(GpsTime t) {
  return DateOfGpsDay(static_cast<std::int64_t>(t.week) * 7 + static_cast<std::int64_t>(std::floor(t.seconds / kSecondsPerDay)));
}

// The calendar counted in eras of 400 years (146097 days) from 0000-03-01,
// with March as the first month of the year so that the leap day comes last.
std::int64_t GpsDayOfDate(int year, int month, int day) {
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = FloorDiv(y, 400);
  const std::int64_t year_of_era = y - era * 400;
  const std::int64_t shifted_month = month > 2 ? month - 3 : month + 9;
  const std::int64_t day_of_year = (153 * shifted_month + 2) / 5 + day - 1;
  const std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - kGpsEpochFromEra;
}

CalendarDate DateOfGpsDay(std::int64_t day) {
  const std::int64_t days = day + kGpsEpochFromEra;
  const std::int64_t era = FloorDiv(days, 146097);
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const std::int64_t month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  CalendarDate date;
  date.year = static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0));
  date.month = static_cast<int>(month);
  date.day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  date.day_of_year = static_cast<int>(day - GpsDayOfDate(date.year, 1, 1) + 1);
  return date;
}

int GpsMinusUtc(std::int64_t gps_day) {
  // The first day of each leap second's new count (UTC), in order.
  static constexpr struct {
    int year, month, day;
  } kLeapDays[] = {{1981, 7, 1}, {1982, 7, 1}, {1983, 7, 1}, {1985, 7, 1}, {1988, 1, 1}, {1990, 1, 1},
                   {1991, 1, 1}, {1992, 7, 1}, {1993, 7, 1}, {1994, 7, 1}, {1996, 1, 1}, {1997, 7, 1},
                   {1999, 1, 1}, {2006, 1, 1}, {2009, 1, 1}, {2012, 7, 1}, {2015, 7, 1}, {2017, 1, 1}};
  int count = 0;
  for (const auto& leap : kLeapDays)
    if (gps_day >= GpsDayOfDate(leap.year, leap.month, leap.day)) ++count;
  return count;
}

}  // namespace morvelin::gnss
