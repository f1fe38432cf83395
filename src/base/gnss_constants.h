// The constants of GPS that every part of the library uses, named once: the
// conversion, the utility library, the GNSS models and the exports all take
// them from here. src/gnss/constants.h adds the models' own.
#pragma once

#include <cstdint>
#include <numbers>

namespace morvelin {

inline constexpr double kSpeedOfLight = 299792458.0;  // m/s
// The double nearest to pi: the value the converter scales semicircles with,
// so every angle is in radians exactly as a reader of a raw record has it.
inline constexpr double kPi = std::numbers::pi;
// The day and the week in whole seconds (integer arithmetic takes them as
// they are, real arithmetic as the exact doubles), and the week as a double.
inline constexpr std::int32_t kSecondsPerDay = 86400;
inline constexpr std::int32_t kWholeSecondsPerWeek = 7 * kSecondsPerDay;
inline constexpr double kSecondsPerWeek = kWholeSecondsPerWeek;
inline constexpr double kHalfWeek = 302400.0;
// GPS satellites are numbered 1 to kMaxPrn: a table by PRN has kMaxPrn + 1
// rows, row 0 unused.
inline constexpr int kMaxPrn = 32;

}  // namespace morvelin
