// Time in the RINEX files: GPS week and seconds of week turned into the
// calendar fields of an epoch line, and the ways of finding the week.
#pragma once

#include <cstdint>

#include "morvelin/rinex.h"

namespace morvelin::rinex {

// The epoch field's resolution, 0.1 us: times are rounded to it once, so
// that a second never prints as 60.0000000.
inline constexpr std::int64_t kTicksPerSecond = 10'000'000;
inline constexpr std::int64_t kTicksPerDay = 86'400 * kTicksPerSecond;

struct CivilTime {
  int year = 0, month = 0, day = 0;  // GPS time scale, no leap seconds
  int hour = 0, minute = 0;
  std::int64_t second_ticks = 0;  // 0 .. 59.9999999 s in ticks
  int day_of_year = 0;            // 1-366
};

// The calendar time of a GPS time, rounded to 0.1 us.
CivilTime CivilFromGps(std::int32_t week, double seconds_of_week);

// GPS time as ticks since the GPS epoch (1980-01-06 00:00), rounded.
std::int64_t GpsTicks(std::int32_t week, double seconds_of_week);
CivilTime CivilFromTicks(std::int64_t ticks);

// The GPS week of a date (1980-01-06 or later); false before it.
bool WeekOfDate(const RinexDate& date, std::int32_t* week);

// The week in which seconds_of_week lies nearest to an ephemeris's toe of
// week eph_week: a session and the ephemerides it uses are hours apart at
// most, so the nearest such time is the one.
std::int32_t WeekNearEphemeris(std::int32_t eph_week, std::int32_t toe, double seconds_of_week);

// The week in which seconds_of_week lies nearest to ticks (GpsTicks).
std::int32_t WeekNearTicks(std::int64_t ticks, double seconds_of_week);

// Follows a sequence of seconds of week: the week goes up when the seconds
// fall back by more than half a week (the week ended), down when they jump
// forward by as much (a late record of the previous week).
std::int32_t FollowWeek(std::int32_t week, double previous_seconds, double seconds);

}  // namespace morvelin::rinex
