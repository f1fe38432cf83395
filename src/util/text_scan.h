// Locale-free number reading and a small scanf for the utility library.
//
// The parsers read numbers the way C's atoi, atof and sscanf do in the "C"
// locale, but never consult the process locale (a host with a decimal comma
// must still read "1.5" as one and a half).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <variant>

#include "base/text.h"
#include "morvelin/util.h"

namespace morvelin::detail {

// Conversion toward zero into 32 bits; values beyond the range saturate and
// NaN gives 0 (a plain cast would be undefined there).
std::int32_t TruncateToInt32(double value);

using ::morvelin::IsDigit;
using ::morvelin::IsSpace;
using ::morvelin::ParseReal;

// An optional sign and decimal digits at the start of text; the characters
// used (0 when there are no digits). Saturates at the int32 range.
std::size_t ParseInt(std::string_view text, std::int32_t& value);

// atoi / atof: leading white space skipped, 0 when nothing converts.
std::int32_t LeadingInt(std::string_view text);
double LeadingReal(std::string_view text);

// sscanf(text, format, ...) for %d %i %u %x %o %f %e %g %s %c %[...] %%,
// with the l modifier, field widths and '*' suppression (int32 for %d %i,
// uint32 for %u %x %o). Returns the assignments made; 0, never EOF, when
// the text ends first. An unsupported directive, or a destination missing or
// of the wrong kind, ends the scan there.
std::int32_t ScanFormatted(std::string_view text, const char* format,
                           std::span<const ScanTarget> targets);

// Copies text into out, cut to out's size, NUL-terminated (nothing when out
// is empty).
void CopyCut(std::string_view text, std::span<char> out);

// Stores value into target when target is of its type; false when not.
template <class Value>
bool StoreValue(const ScanTarget& target, Value value) {
  auto* destination = std::get_if<Value*>(&target.Get());
  if (destination == nullptr) return false;
  **destination = value;
  return true;
}

// Copies text into target, cut as CopyCut does, when target is a text;
// false when not.
inline bool StoreText(const ScanTarget& target, std::string_view text) {
  auto* destination = std::get_if<std::span<char>>(&target.Get());
  if (destination == nullptr) return false;
  CopyCut(text, *destination);
  return true;
}

}  // namespace morvelin::detail
