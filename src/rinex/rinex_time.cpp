#include "rinex/rinex_time.h"

#include <cmath>

#include "base/gnss_constants.h"
#include "gnss/time.h"

namespace morvelin::rinex {

namespace {

constexpr std::int64_t kDaysPerWeek = 7;

}  // namespace

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
  const std::int64_t days = gnss::FloorDiv(ticks, kTicksPerDay);
  std::int64_t rest = ticks - days * kTicksPerDay;
  const gnss::CalendarDate date = gnss::DateOfGpsDay(days);
  CivilTime t;
  t.year = date.year;
  t.month = date.month;
  t.day = date.day;
  t.day_of_year = date.day_of_year;
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
  const std::int64_t days = gnss::GpsDayOfDate(date.year, date.month, date.day);
  if (days < 0) return false;
  *week = static_cast<std::int32_t>(days / kDaysPerWeek);
  return true;
}

std::int32_t WeekNearEphemeris(std::int32_t eph_week, std::int32_t toe, double seconds_of_week) {
  const double difference = seconds_of_week - static_cast<double>(toe);
  if (difference > kHalfWeek) return eph_week - 1;
  if (difference < -kHalfWeek) return eph_week + 1;
  return eph_week;
}

std::int32_t WeekNearTicks(std::int64_t ticks, double seconds_of_week) {
  const std::int64_t ticks_per_week = kDaysPerWeek * kTicksPerDay;
  const auto week = static_cast<std::int32_t>(gnss::FloorDiv(ticks, ticks_per_week));
  const double seconds = static_cast<double>(ticks - static_cast<std::int64_t>(week) * ticks_per_week) /
                         static_cast<double>(kTicksPerSecond);
  const double difference = seconds_of_week - seconds;
  if (difference > kHalfWeek) return week - 1;
  if (difference < -kHalfWeek) return week + 1;
  return week;
}

std::int32_t FollowWeek(std::int32_t week, double previous_seconds, double seconds) {
  if (seconds < previous_seconds - kHalfWeek) return week + 1;
  if (seconds > previous_seconds + kHalfWeek) return week - 1;
  return week;
}

}  // namespace morvelin::rinex
