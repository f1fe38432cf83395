// The day of the year on which each month starts, shared by the time and
// the numeric helpers. The 13th value closes the year, so that
// table[m] <= day < table[m + 1] places a day in month m.
#pragma once

#include <cstdint>

namespace morvelin::detail {

inline constexpr std::int32_t kDaysBeforeMonth[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

}  // namespace morvelin::detail
