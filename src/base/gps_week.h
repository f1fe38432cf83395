// The GPS week as the conversion and the utility library count it.
#pragma once

namespace morvelin {

inline constexpr double kWeekSeconds = 604800.0;

}  // namespace morvelin
