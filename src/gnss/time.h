// GPS time as a week and seconds of that week. Seconds of week keep
// 0.1 ns resolution where seconds since 1980 would keep only 0.2 us.
#pragma once

#include <cstdint>

namespace morvelin::gnss {

struct GpsTime {
  std::int32_t week = 0;
  double seconds = 0.0;  // [0, 604800)
};

// t + seconds, normalised into its week.
GpsTime AddSeconds(GpsTime t, double seconds);

// a / b rounded towards minus infinity (b != 0): the day of a time before
// an epoch, the era of a year before the calendar's origin.
inline std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}
// a - b in seconds.
double SecondsBetween(GpsTime a, GpsTime b);
// A time difference in seconds of week brought into [-302400, 302400]: the
// user algorithm's handling of a week crossing between t and toe or toc.
double WrapHalfWeek(double seconds);

struct CalendarDate {
  int year = 0;
  int month = 0;  // 1-12
  int day = 0;    // 1-31
  int day_of_year = 0;  // 1-366
};
// The calendar day of a GPS time (GPS time scale, no leap seconds applied).
CalendarDate DateOf(GpsTime t);

// Days counted from the GPS epoch, 1980-01-06 (day 0, earlier days
// negative), to a date of the proleptic Gregorian calendar and back.
std::int64_t GpsDayOfDate(int year, int month, int day);
CalendarDate DateOfGpsDay(std::int64_t day);

// GPS time minus UTC in whole seconds on a GPS day (as GpsDayOfDate counts
// days): the leap seconds inserted into UTC since the GPS epoch, 0 before
// the first (1981-07-01) and 18 from 2017-01-01 on. The table in time.cpp
// ends with the last leap second announced; a new one is added there, with
// its date, when the IERS announces it.
int GpsMinusUtc(std::int64_t gps_day);

}  // namespace morvelin::gnss
