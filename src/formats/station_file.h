// The station file (.sta): one "STA:" line per station entry, in the order
// written, with no header or trailer. Every line is
//   "STA:  *  <time %.1f>  * <name>  *  <height %.3f>  *  <description>  * \n"
#pragma once

#include <cstddef>
#include <string_view>

#include "base/text_builder.h"

namespace morvelin {

// Room for a line with the widest possible numbers (a double's 309 integer
// digits, twice) and the longest name and description.
inline constexpr std::size_t kStationLineCapacity = 768;

// Appends one station line (with its "\n") to line.
void FormatStationLine(TextBuilder& line, double time, std::string_view name, double height,
                       std::string_view description);

}  // namespace morvelin
