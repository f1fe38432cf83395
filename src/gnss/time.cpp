#include "gnss/time.h"

#include <cmath>

#include "gnss/constants.h"

namespace morvelin::gnss {

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
  // Days since 1980-01-06, then the civil date of that day count.
  const std::int64_t days = static_cast<std::int64_t>(t.week) * 7 + static_cast<std::int64_t>(std::floor(t.seconds / 86400.0));
  // 1980-01-06 is day 723125 since 0000-03-01 (proleptic Gregorian).
  std::int64_t z = days + 723125;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy_march = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy_march + 2) / 153;
  CalendarDate date;
  date.day = static_cast<int>(doy_march - (153 * mp + 2) / 5 + 1);
  date.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  date.year = static_cast<int>(yoe + era * 400 + (date.month <= 2 ? 1 : 0));
  static constexpr int kDaysBefore[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  const bool leap = (date.year % 4 == 0 && date.year % 100 != 0) || date.year % 400 == 0;
  date.day_of_year = kDaysBefore[date.month - 1] + date.day + (leap && date.month > 2 ? 1 : 0);
  return date;
}

}  // namespace morvelin::gnss
