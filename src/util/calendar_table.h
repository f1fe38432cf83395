// What the time and the numeric helpers share of the calendar: the day of
// the year on which each month starts, and the reading of a 10-bit week.
#pragma once

#include <cstdint>

namespace morvelin::detail {

// The 13th value closes the year, so that table[m] <= day < table[m + 1]
// places a day in month m.
inline constexpr std::int32_t kDaysBeforeMonth[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

// A week below 500 is taken as one after the 1999 rollover (week + 1024).
inline constexpr std::int32_t kWeekRolloverThreshold = 500;
inline constexpr std::int32_t kWeeksPerRollover = 1024;

constexpr std::int32_t ApplyRollover(std::int32_t week) {
  return week < kWeekRolloverThreshold ? week + kWeeksPerRollover : week;
}

// Two's complement wrap of a 64-bit intermediate to the helpers' 32 bits.
constexpr std::int32_t Wrap32(std::int64_t value) { return static_cast<std::int32_t>(value); }

}  // namespace morvelin::detail
