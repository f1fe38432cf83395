// The station file (.sta): one "STA:" line per station entry, in the order
// written, with no header or trailer. Every line is
//   "STA:  *  <time %.1f>  * <name>  *  <height %.3f>  *  <description>  * \n"
// and every line written, by any writer, adds one to the station line count.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "convert/run_state.h"
#include "util/text_builder.h"

namespace morvelin {

// A fixed-width text field of a record: the bytes of the field that the
// record covers (fewer than the width when the record ends inside it), or
// nullopt for a field that is not given at all.
using StationField = std::optional<std::span<const std::uint8_t>>;

inline constexpr std::size_t kPointNameWidth = 8;
inline constexpr std::size_t kHeightTextWidth = 8;
inline constexpr std::int32_t kDescriptionLimit = 32;

// Room for a line with the widest possible numbers (a double's 309 integer
// digits, twice) and the longest name and description.
inline constexpr std::size_t kStationLineCapacity = 768;

// Writes one station line for the record sub-records. A height text (up to
// 8 bytes, ending at a NUL) becomes the current antenna height (0.0 when
// it holds no number) with time as its time. Without a point name nothing
// is written. The name is up to 8 bytes, the description the first count
// bytes (count clamped to 0..32), each ending early at a NUL.
void WriteStationLine(Run& run, StationField point_name, StationField height_text, StationField description,
                      std::int32_t count, double time);

// Writes the end-of-run "Entered at start" lines (current antenna height,
// then the logged antenna height, each when non-zero).
void WriteEndOfRunStationLines(Run& run);

// Appends one station line (with its "\n") to line.
void FormatStationLine(TextBuilder& line, double time, std::string_view name, double height,
                       std::string_view description);

// Reads a decimal number at the start of text as "%lf" would in the "C"
// locale: leading white space, an optional sign, digits with an optional
// point and exponent; reading stops at the first character that cannot
// continue the number. Infinities, NaNs, hexadecimal forms and values out
// of the double range are not numbers here. False when no number is there.
bool ParseLeadingNumber(std::string_view text, double* value);

// The bytes up to the first NUL (or all of them).
std::string_view TextUntilNul(std::span<const std::uint8_t> bytes);

}  // namespace morvelin
