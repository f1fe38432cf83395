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

enum class Conversion { kInt, kSigned, kUnsigned, kFloat, kDouble, kString, kChar, kSet };

constexpr int DigitValue(char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// Reads as strtol and strtoul do: an optional sign, for base 16 an optional
// "0x", and base 0 takes 16 after "0x", 8 after a leading 0 and 10
// otherwise. The characters used, 0 when there are no digits. The
// magnitude stops growing past the 32-bit range; the digits are still used.
std::size_t ParseMagnitude(std::string_view text, int base, bool& negative, std::uint64_t& magnitude) {
  std::size_t i = 0;
  negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  const bool zero_x = i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
                      DigitValue(text[i + 2]) < 16;
  if ((base == 16 || base == 0) && zero_x) {
    i += 2;
    base = 16;
  } else if (base == 0) {
    base = i < text.size() && text[i] == '0' ? 8 : 10;
  }
  const std::size_t digits_start = i;
  magnitude = 0;
  for (; i < text.size() && DigitValue(text[i]) < base; ++i) {
    if (magnitude <= 0xFFFFFFFFull) {
      magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(text[i]));
    }
  }
  return i == digits_start ? 0 : i;
}

template <class Value>
bool Store(const ScanTarget& target, Value value) {
  auto* destination = std::get_if<Value*>(&target.Get());
  if (destination == nullptr) return false;
  **destination = value;
  return true;
}

// The set of a "%[...]" directive; f is just after the '['. nullptr when
// the directive has no closing ']', else the position after it.
const char* ReadScanSet(const char* f, bool (&members)[256]) {
  bool invert = false;
  if (*f == '^') {
    invert = true;
    ++f;
  }
  for (bool& member : members) member = invert;
  const char* first = f;
  for (; *f != '\0' && (*f != ']' || f == first); ++f) {
    const auto low = static_cast<unsigned char>(*f);
    if (f[1] == '-' && f[2] != ']' && f[2] != '\0' && static_cast<unsigned char>(f[2]) >= low) {
      for (unsigned c = low; c <= static_cast<unsigned char>(f[2]); ++c) members[c] = !invert;
      f += 2;
    } else {
      members[low] = !invert;
    }
  }
  return *f == ']' ? f + 1 : nullptr;
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
    const bool suppress = *f == '*';
    if (suppress) ++f;
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
    int base = 10;
    bool set_members[256];
    switch (*f) {
      case 'd':
        conversion = Conversion::kInt;
        break;
      case 'i':
        conversion = Conversion::kSigned;
        base = 0;
        break;
      case 'u':
        conversion = Conversion::kUnsigned;
        break;
      case 'x':
      case 'X':
        conversion = Conversion::kUnsigned;
        base = 16;
        break;
      case 'o':
        conversion = Conversion::kUnsigned;
        base = 8;
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
      case '[': {
        conversion = Conversion::kSet;
        const char* after = ReadScanSet(f + 1, set_members);
        if (after == nullptr) return assigned;
        f = after - 1;
        break;
      }
      default:
        return assigned;
    }
    ++f;
    const bool is_text = conversion == Conversion::kString || conversion == Conversion::kChar ||
                         conversion == Conversion::kSet;
    if (is_text && long_modifier) return assigned;  // wide characters are not supported
    const ScanTarget* target = nullptr;
    if (!suppress) {
      if (next_target >= targets.size()) return assigned;
      target = &targets[next_target++];
    }

    if (conversion != Conversion::kChar && conversion != Conversion::kSet) {
      while (pos < text.size() && IsSpace(text[pos])) ++pos;
    }
    if (pos >= text.size()) return assigned;
    std::string_view field = text.substr(pos);
    if (width > 0 && width < field.size()) field = field.substr(0, width);

    std::size_t used = 0;
    bool stored = true;
    switch (conversion) {
      case Conversion::kInt: {
        std::int32_t value = 0;
        used = ParseInt(field, value);
        if (used > 0 && target != nullptr) stored = Store(*target, value);
        break;
      }
      case Conversion::kSigned:
      case Conversion::kUnsigned: {
        bool negative = false;
        std::uint64_t magnitude = 0;
        used = ParseMagnitude(field, base, negative, magnitude);
        if (used == 0 || target == nullptr) break;
        if (conversion == Conversion::kSigned) {
          // Saturates as strtol with a 32-bit long does.
          const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
          const std::int64_t bounded =
              magnitude > static_cast<std::uint64_t>(limit) ? limit : static_cast<std::int64_t>(magnitude);
          stored = Store(*target, static_cast<std::int32_t>(negative ? -bounded : bounded));
        } else {
          // strtoul with a 32-bit long: a negative value wraps, a value
          // beyond the range saturates.
          std::uint32_t value =
              magnitude > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(magnitude);
          if (negative && magnitude <= 0xFFFFFFFFull) value = 0u - value;
          stored = Store(*target, value);
        }
        break;
      }
      case Conversion::kFloat:
      case Conversion::kDouble: {
        double value = 0.0;
        used = ParseReal(field, value);
        if (used == 0 || target == nullptr) break;
        stored = conversion == Conversion::kFloat ? Store(*target, static_cast<float>(value))
                                                  : Store(*target, value);
        break;
      }
      case Conversion::kString:
      case Conversion::kSet: {
        while (used < field.size() &&
               (conversion == Conversion::kString ? !IsSpace(field[used])
                                                  : set_members[static_cast<unsigned char>(field[used])])) {
          ++used;
        }
        if (used == 0 || target == nullptr) break;
        auto* destination = std::get_if<std::span<char>>(&target->Get());
        if (destination == nullptr) return assigned;
        CopyCut(field.substr(0, used), *destination);
        break;
      }
      case Conversion::kChar: {
        used = 1;
        if (target != nullptr) stored = Store(*target, field[0]);
        break;
      }
    }
    if (used == 0 || !stored) return assigned;
    pos += used;
    if (!suppress) ++assigned;
  }
  return assigned;
}

}  // namespace morvelin::detail
