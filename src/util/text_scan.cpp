#include "util/text_scan.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace morvelin::detail {

std::int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

std::size_t ParseInt(std::string_view text, std::int32_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const std::size_t digits_start = i;
  std::int64_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    // Stop growing once past the range; the digits are still consumed.
    if (magnitude <= 2147483648LL) magnitude = magnitude * 10 + (text[i] - '0');
  }
  if (i == digits_start) return 0;
  std::int64_t signed_value = negative ? -magnitude : magnitude;
  if (signed_value > std::numeric_limits<std::int32_t>::max()) {
    signed_value = std::numeric_limits<std::int32_t>::max();
  }
  if (signed_value < std::numeric_limits<std::int32_t>::min()) {
    signed_value = std::numeric_limits<std::int32_t>::min();
  }
  value = static_cast<std::int32_t>(signed_value);
  return i;
}

namespace {

std::string_view SkipSpace(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  return text.substr(i);
}

}  // namespace

std::int32_t LeadingInt(std::string_view text) {
  std::int32_t value = 0;
  if (ParseInt(SkipSpace(text), value) == 0) return 0;
  return value;
}

double LeadingReal(std::string_view text) {
  double value = 0.0;
  if (ParseReal(SkipSpace(text), value) == 0) return 0.0;
  return value;
}

void CopyCut(std::string_view text, std::span<char> out) {
  if (out.empty()) return;
  std::size_t length = text.size() < out.size() - 1 ? text.size() : out.size() - 1;
  if (length > 0) std::memcpy(out.data(), text.data(), length);
  out[length] = '\0';
}

namespace {

enum class Conversion { kInt, kFloat, kDouble, kString, kChar };

bool StoreInt(const ScanTarget& target, std::int32_t value) {
  auto* destination = std::get_if<std::int32_t*>(&target.Get());
  if (destination == nullptr) return false;
  **destination = value;
  return true;
}

bool StoreReal(const ScanTarget& target, Conversion conversion, double value) {
  if (conversion == Conversion::kFloat) {
    auto* destination = std::get_if<float*>(&target.Get());
    if (destination == nullptr) return false;
    **destination = static_cast<float>(value);
    return true;
  }
  auto* destination = std::get_if<double*>(&target.Get());
  if (destination == nullptr) return false;
  **destination = value;
  return true;
}

}  // namespace

std::int32_t ScanFormatted(std::string_view text, const char* format,
                           std::span<const ScanTarget> targets) {
  std::int32_t assigned = 0;
  std::size_t next_target = 0;
  std::size_t pos = 0;
  const char* f = format;
  while (*f != '\0') {
    if (IsSpace(*f)) {
      while (IsSpace(*f)) ++f;
      while (pos < text.size() && IsSpace(text[pos])) ++pos;
      continue;
    }
    if (*f != '%') {
      if (pos >= text.size() || text[pos] != *f) return assigned;
      ++pos;
      ++f;
      continue;
    }
    ++f;
    if (*f == '%') {
      while (pos < text.size() && IsSpace(text[pos])) ++pos;
      if (pos >= text.size() || text[pos] != '%') return assigned;
      ++pos;
      ++f;
      continue;
    }
    std::size_t width = 0;
    while (IsDigit(*f)) {
      if (width < 100000) width = width * 10 + static_cast<std::size_t>(*f - '0');
      ++f;
    }
    bool long_modifier = false;
    if (*f == 'l') {
      long_modifier = true;
      ++f;
    }
    Conversion conversion;
    switch (*f) {
      case 'd':
        conversion = Conversion::kInt;
        break;
      case 'e':
      case 'f':
      case 'g':
      case 'E':
      case 'G':
        conversion = long_modifier ? Conversion::kDouble : Conversion::kFloat;
        break;
      case 's':
        conversion = Conversion::kString;
        break;
      case 'c':
        conversion = Conversion::kChar;
        break;
      default:
        return assigned;
    }
    ++f;
    if ((conversion == Conversion::kString || conversion == Conversion::kChar) && long_modifier) {
      return assigned;  // wide characters are not supported
    }
    if (next_target >= targets.size()) return assigned;
    const ScanTarget& target = targets[next_target++];

    if (conversion != Conversion::kChar) {
      while (pos < text.size() && IsSpace(text[pos])) ++pos;
    }
    if (pos >= text.size()) return assigned;
    std::string_view field = text.substr(pos);
    if (width > 0 && width < field.size()) field = field.substr(0, width);

    switch (conversion) {
      case Conversion::kInt: {
        std::int32_t value = 0;
        std::size_t used = ParseInt(field, value);
        if (used == 0 || !StoreInt(target, value)) return assigned;
        pos += used;
        break;
      }
      case Conversion::kFloat:
      case Conversion::kDouble: {
        double value = 0.0;
        std::size_t used = ParseReal(field, value);
        if (used == 0 || !StoreReal(target, conversion, value)) return assigned;
        pos += used;
        break;
      }
      case Conversion::kString: {
        auto* destination = std::get_if<std::span<char>>(&target.Get());
        if (destination == nullptr) return assigned;
        std::size_t used = 0;
        while (used < field.size() && !IsSpace(field[used])) ++used;
        CopyCut(field.substr(0, used), *destination);
        pos += used;
        break;
      }
      case Conversion::kChar: {
        auto* destination = std::get_if<char*>(&target.Get());
        if (destination == nullptr) return assigned;
        **destination = field[0];
        pos += 1;
        break;
      }
    }
    ++assigned;
  }
  return assigned;
}

}  // namespace morvelin::detail
