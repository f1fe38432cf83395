// GPS-time and calendar arithmetic through Modified Julian Dates, angle
// splitting, and Earth-centred to geodetic coordinates.
//
// The constants are kept exactly as the results that depend on them have
// always been computed, quirks included: the day reciprocal sits just below
// 1/86400 (a time on a day boundary lands a hair before it), and a day of
// year is placed in its month by a 0.032 estimate.
#include <cmath>
#include <cstdint>
#include <limits>

#include "base/gnss_constants.h"
#include "morvelin/util.h"
#include "util/calendar_table.h"
#include "util/text_scan.h"

namespace morvelin {

namespace {

using detail::kDaysBeforeMonth;
using detail::ApplyRollover;
using detail::TruncateToInt32;
using detail::Wrap32;

constexpr std::int32_t kMjdGpsOrigin = 44244;  // 1980-01-06
constexpr std::int32_t kMjd1901 = 15385;       // 1901-01-01
constexpr std::int32_t kDaysInFourYears = 1461;
constexpr std::int32_t kFirstCycleYear = 1901;
constexpr double kDayReciprocal = 1.157407407407407e-05;
constexpr std::int32_t kMjdDateOffset = 679006;
constexpr double kRemainderGuard = 0.0001;
constexpr double kMonthEstimate = 0.032;

constexpr double kSemiMajorAxis = 6378137.0;
constexpr double kEccentricitySquared = 0.006694380066;
constexpr double kLatitudeTolerance = 1e-10;
// Ordinary points settle in under ten rounds; points deep inside the Earth
// can swing between two latitudes for ever.
constexpr int kMaxGeodeticIterations = 100;

// The three GPS-time functions each apply the rollover once at their entry;
// these inner forms take the week as it is, so it is never raised twice.
void WeekTimeToMjd(std::int32_t week, double seconds_of_week, std::int32_t& mjd,
                   double& day_fraction) {
  const std::int32_t days = TruncateToInt32(seconds_of_week * kDayReciprocal);
  day_fraction = (seconds_of_week - days * static_cast<double>(kSecondsPerDay)) * kDayReciprocal;
  mjd = Wrap32(std::int64_t{days} + kMjdGpsOrigin + std::int64_t{7} * week);
}

void WeekTimeToYearDay(std::int32_t week, double seconds_of_week, std::int32_t& year,
                       std::int32_t& day_of_year, std::int32_t& hours, std::int32_t& minutes,
                       double& seconds) {
  std::int32_t mjd = 0;
  double day_fraction = 0.0;
  WeekTimeToMjd(week, seconds_of_week, mjd, day_fraction);
  const std::int64_t days = std::int64_t{mjd} - kMjd1901;
  const std::int64_t cycles = days / kDaysInFourYears;
  const std::int64_t rest = days - kDaysInFourYears * cycles;
  const std::int64_t years_in_cycle = rest / 365 - rest / 1460;
  year = Wrap32(4 * cycles + kFirstCycleYear + years_in_cycle);
  day_of_year = Wrap32(rest - 365 * years_in_cycle + 1);
  DayFractionToHms(day_fraction, hours, minutes, seconds);
}

}  // namespace

std::int32_t IntMod(std::int32_t a, std::int32_t b) {
  if (b == 0) return 0;
  const double quotient = static_cast<double>(a) / b;
  const double fraction = quotient - TruncateToInt32(quotient);
  return TruncateToInt32(b * fraction + kRemainderGuard);
}

std::int32_t MjdFromDate(std::int32_t year, std::int32_t month, std::int32_t day) {
  std::int64_t y = year;
  std::int64_t m = month;
  if (m < 3) {
    y -= 1;
    m += 12;
  }
  const std::int32_t a = TruncateToInt32(static_cast<double>(y) * 0.01);
  const std::int64_t b = 2 - a + TruncateToInt32(a * 0.25);
  return Wrap32(b + TruncateToInt32(static_cast<double>(y) * 365.25) +
                TruncateToInt32(static_cast<double>(m + 1) * 30.6001) + day - kMjdDateOffset);
}

std::int32_t DayOfWeekFromMjd(std::int32_t mjd) { return IntMod(Wrap32(std::int64_t{mjd} + 3), 7); }

std::int32_t DayOfWeekFromDate(std::int32_t year, std::int32_t month, std::int32_t day) {
  return DayOfWeekFromMjd(MjdFromDate(year, month, day));
}

void AngleToDms(double value, std::int32_t& degrees, std::int32_t& minutes, double& seconds) {
  const double magnitude = std::fabs(value);
  std::int32_t whole = TruncateToInt32(magnitude);
  const double minutes_real = (magnitude - whole) * 60.0;
  minutes = TruncateToInt32(minutes_real);
  seconds = (minutes_real - minutes) * 60.0;
  whole -= (whole / 360) * 360;
  degrees = value < 0 ? -whole : whole;
}

void DayFractionToHms(double day_fraction, std::int32_t& hours, std::int32_t& minutes,
                      double& seconds) {
  hours = TruncateToInt32(day_fraction * 24.0);
  minutes = Wrap32(std::int64_t{TruncateToInt32(day_fraction * 1440.0)} - std::int64_t{hours} * 60);
  seconds = day_fraction * kSecondsPerDay - hours * 3600.0 - minutes * 60.0;
}

void SecondsOfWeekToHms(double seconds_of_week, std::int32_t& hours, std::int32_t& minutes,
                        double& seconds) {
  if (!(seconds_of_week >= 0.0 && seconds_of_week <= kSecondsPerWeek)) {
    hours = 0;
    minutes = 0;
    seconds = 0.0;
    return;
  }
  double whole_days = 0.0;
  const double fraction = std::modf(seconds_of_week / kSecondsPerDay, &whole_days);
  AngleToDms(fraction * 24.0, hours, minutes, seconds);
}

void MonthDayFromDayOfYear(std::int32_t year, std::int32_t day_of_year, std::int32_t& month,
                           std::int32_t& day) {
  const auto& row = kDaysBeforeMonth[year % 4 == 0 ? 1 : 0];
  std::int32_t k = TruncateToInt32(day_of_year * kMonthEstimate);
  // Days outside the year would index outside the table.
  if (k < 0) k = 0;
  if (k > 11) k = 11;
  if (std::int64_t{day_of_year} - row[k + 1] > 0) ++k;
  month = k + 1;
  day = Wrap32(std::int64_t{day_of_year} - row[k]);
}

void GpsTimeToMjd(std::int32_t week, double seconds_of_week, std::int32_t& mjd,
                  double& day_fraction) {
  WeekTimeToMjd(ApplyRollover(week), seconds_of_week, mjd, day_fraction);
}

void GpsTimeToYearDay(std::int32_t week, double seconds_of_week, std::int32_t& year,
                      std::int32_t& day_of_year, std::int32_t& hours, std::int32_t& minutes,
                      double& seconds) {
  WeekTimeToYearDay(ApplyRollover(week), seconds_of_week, year, day_of_year, hours, minutes,
                    seconds);
}

void GpsTimeToCalendar(std::int32_t week, double seconds_of_week, std::int32_t& year,
                       std::int32_t& month, std::int32_t& day, std::int32_t& hours,
                       std::int32_t& minutes, double& seconds) {
  std::int32_t day_of_year = 0;
  WeekTimeToYearDay(ApplyRollover(week), seconds_of_week, year, day_of_year, hours, minutes,
                    seconds);
  MonthDayFromDayOfYear(year, day_of_year, month, day);
}

void EcefToGeodetic(double x, double y, double z, double& latitude, double& longitude,
                    double& height) {
  const double p = std::sqrt(x * x + y * y);
  if (x == 0.0 && y == 0.0) {
    latitude = 0.0;
    longitude = 0.0;
    height = 0.0;
    return;
  }
  if (!std::isfinite(x) || !std::isfinite(y) || !std::isfinite(z)) {
    latitude = longitude = height = std::numeric_limits<double>::quiet_NaN();
    return;
  }
  longitude = std::atan2(y, x);
  double factor = 1.0 - kEccentricitySquared;
  double current = std::atan2(z, p * factor);
  double current_height = 0.0;
  for (int i = 0; i < kMaxGeodeticIterations; ++i) {
    const double sine = std::sin(current);
    const double n = kSemiMajorAxis / std::sqrt(1.0 - kEccentricitySquared * sine * sine);
    current_height = p / std::cos(current) - n;
    factor = 1.0 - kEccentricitySquared * n / (n + current_height);
    const double next = std::atan2(z, p * factor);
    latitude = current;
    height = current_height;
    if (std::fabs(current - next) < kLatitudeTolerance) return;
    current = next;
  }
}

}  // namespace morvelin
