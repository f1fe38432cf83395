#include "rinex/rinex_time.h"

#include <cmath>

namespace morvelin::rinex {

namespace {

constexpr int kGpsEpochYear = 1980, kGpsEpochMonth = 1, kGpsEpochDay = 6;
constexpr std::int64_t kDaysPerWeek = 7;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

}  // namespace

// Civil-from-days and back in the proleptic Gregorian calendar, by eras of
// 400 years (146097 days), with March as the first month of the year so
// that the leap day comes last.
std::int64_t DaysFromCivil(int year, int month, int day) {
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = FloorDiv(y, 400);
  const std::int64_t year_of_era = y - era * 400;
  const std::int64_t shifted_month = month > 2 ? month - 3 : month + 9;
  const std::int64_t day_of_year = (153 * shifted_month + 2) / 5 + day - 1;
  const std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

void CivilFromDays(std::int64_t days, int* year, int* month, int* day) {
  days += 719468;
  const std::int64_t era = FloorDiv(days, 146097);
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const std::int64_t d = day_of_year - (153 * shifted_month + 2) / 5 + 1;
  const std::int64_t m = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
  *year = static_cast<int>(year_of_era + era * 400 + (m <= 2 ? 1 : 0));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

std::int64_t GpsTicks(std::int32_t week, double seconds_of_week) {
  // Damaged data can carry any time: beyond about 30 years either way it is
  // held there (NaN taken as 0), so that the ticks never overflow.
  constexpr double kLimit = 1.0e9;
  if (!(seconds_of_week > -kLimit)) seconds_of_week = std::isnan(seconds_of_week) ? 0.0 : -kLimit;
  if (seconds_of_week > kLimit) seconds_of_week = kLimit;
  const auto ticks = static_cast<std::int64_t>(std::llround(seconds_of_week * static_cast<double>(kTicksPerSecond)));
  return static_cast<std::int64_t>(week) * kDaysPerWeek * kTicksPerDay + ticks;
}

CivilTime CivilFromTicks(std::int64_t ticks) {
  const std::int64_t days = FloorDiv(ticks, kTicksPerDay);
  std::int64_t rest = ticks - days * kTicksPerDay;
  CivilTime t;
  const std::int64_t civil_days = days + DaysFromCivil(kGpsEpochYear, kGpsEpochMonth, kGpsEpochDay);
  CivilFromDays(civil_days, &t.year, &t.month, &t.day);
  t.day_of_year = static_cast<int>(civil_days - DaysFromCivil(t.year, 1, 1) + 1);
  t.hour = static_cast<int>(rest / (3600 * kTicksPerSecond));
  rest -= static_cast<std::int64_t>(t.hour) * 3600 * kTicksPerSecond;
  t.minute = static_cast<int>(rest / (60 * kTicksPerSecond));
  t.second_ticks = rest - static_cast<std::int64_t>(t.minute) * 60 * kTicksPerSecond;
  return t;
}

CivilTime CivilFromGps(std::int32_t week, double seconds_of_week) {
  return CivilFromTicks(GpsTicks(week, seconds_of_week));
}

bool WeekOfDate(const RinexDate& date, std::int32_t* week) {
  const std::int64_t days =
      DaysFromCivil(date.year, date.month, date.day) - DaysFromCivil(kGpsEpochYear, kGpsEpochMonth, kGpsEpochDay);
  if (days < 0) return false;
  *week = static_cast<std::int32_t>(days / kDaysPerWeek);
  return true;
}

std::int32_t WeekNearEphemeris(std::int32_t eph_week, std::int32_t toe, double seconds_of_week) {
  const double difference = seconds_of_week - static_cast<double>(toe);
  if (difference > kHalfWeekSeconds) return eph_week - 1;
  if (difference < -kHalfWeekSeconds) return eph_week + 1;
  return eph_week;
}

std::int32_t FollowWeek(std::int32_t week, double previous_seconds, double seconds) {
  if (seconds < previous_seconds - kHalfWeekSeconds) return week + 1;
  if (seconds > previous_seconds + kHalfWeekSeconds) return week - 1;
  return week;
}

}  // namespace morvelin::rinex
