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
// The day in whole seconds (integer arithmetic takes it as it is, real
// arithmetic as the exact double), and the week built on it.
inline constexpr std::int32_t kSecondsPerDay = 86400;
inline constexpr double kSecondsPerWeek = 7.0 * kSecondsPerDay;
inline constexpr double kHalfWeek = 302400.0;
// GPS satellites are numbered 1 to kMaxPrn: a table by PRN has kMaxPrn + 1
// rows, row 0 unused.
inline constexpr int kMaxPrn = 32;

}  // namespace morvelin
