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

// The first position from pos on that is not white space.
std::size_t SkipSpaces(std::string_view text, std::size_t pos) {
  while (pos < text.size() && IsSpace(text[pos])) ++pos;
  return pos;
}

}  // namespace

std::int32_t LeadingInt(std::string_view text) {
  std::int32_t value = 0;
  if (ParseInt(text.substr(SkipSpaces(text, 0)), value) == 0) return 0;
  return value;
}

double LeadingReal(std::string_view text) {
  double value = 0.0;
  if (ParseReal(text.substr(SkipSpaces(text, 0)), value) == 0) return 0.0;
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

// One conversion directive of the format, "%*12ld" or "%[a-z]", as read.
struct Directive {
  bool suppress = false;  // '*': converted, not stored
  std::size_t width = 0;  // 0: no width
  bool long_modifier = false;
  Conversion conversion = Conversion::kInt;
  int base = 10;
  const bool* set_members = nullptr;  // of a kSet: whether each byte value is in the set
};

constexpr bool IsText(Conversion conversion) {
  return conversion == Conversion::kString || conversion == Conversion::kChar || conversion == Conversion::kSet;
}

// The conversion letter at f (and a set's members, into set): the
// position after it, nullptr for a letter that is not supported.
const char* ReadConversion(const char* f, Directive& d, bool (&set)[256]) {
  switch (*f) {
    case 'd':
      d.conversion = Conversion::kInt;
      break;
    case 'i':
      d.conversion = Conversion::kSigned;
      d.base = 0;
      break;
    case 'u':
      d.conversion = Conversion::kUnsigned;
      break;
    case 'x':
    case 'X':
      d.conversion = Conversion::kUnsigned;
      d.base = 16;
      break;
    case 'o':
      d.conversion = Conversion::kUnsigned;
      d.base = 8;
      break;
    case 'e':
    case 'f':
    case 'g':
    case 'E':
    case 'G':
      d.conversion = d.long_modifier ? Conversion::kDouble : Conversion::kFloat;
      break;
    case 's':
      d.conversion = Conversion::kString;
      break;
    case 'c':
      d.conversion = Conversion::kChar;
      break;
    case '[':
      d.conversion = Conversion::kSet;
      d.set_members = set;
      return ReadScanSet(f + 1, set);
    default:
      return nullptr;
  }
  return f + 1;
}

// A directive from just after its '%': the position after it, nullptr
// for one that is not supported.
const char* ReadDirective(const char* f, Directive& d, bool (&set)[256]) {
  d.suppress = *f == '*';
  if (d.suppress) ++f;
  while (IsDigit(*f)) {
    if (d.width < 100000) d.width = d.width * 10 + static_cast<std::size_t>(*f - '0');
    ++f;
  }
  d.long_modifier = *f == 'l';
  if (d.long_modifier) ++f;
  f = ReadConversion(f, d, set);
  if (f == nullptr) return nullptr;
  if (IsText(d.conversion) && d.long_modifier) return nullptr;  // wide characters are not supported
  return f;
}

// Matches the format's next piece that converts nothing: a run of white
// space (any white space of the text, or none), "%%" (white space, then a
// '%'), or a character the text must have there. Moves f and pos past it;
// false when the text does not match.
bool MatchLiteral(std::string_view text, std::size_t& pos, const char*& f) {
  if (IsSpace(*f)) {
    while (IsSpace(*f)) ++f;
    pos = SkipSpaces(text, pos);
    return true;
  }
  if (*f == '%') {
    ++f;
    pos = SkipSpaces(text, pos);
  }
  if (pos >= text.size() || text[pos] != *f) return false;
  ++pos;
  ++f;
  return true;
}

// What a conversion took from the field: the characters used (0 when none
// convert) and whether its destination was of the right kind.
struct Scanned {
  std::size_t used = 0;
  bool stored = true;
};

// The conversions, one per kind of letter: each reads the start of the
// field and stores the value into target, when there is one (none for a
// suppressed directive).

// %d
Scanned ScanDecimal(std::string_view field, const ScanTarget* target) {
  std::int32_t value = 0;
  Scanned scanned{ParseInt(field, value)};
  if (scanned.used > 0 && target != nullptr) scanned.stored = StoreValue(*target, value);
  return scanned;
}

// As strtol with a 32-bit long: saturates.
bool StoreSigned(const ScanTarget& target, bool negative, std::uint64_t magnitude) {
  const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
  const std::int64_t bounded =
      magnitude > static_cast<std::uint64_t>(limit) ? limit : static_cast<std::int64_t>(magnitude);
  return StoreValue(target, static_cast<std::int32_t>(negative ? -bounded : bounded));
}

// As strtoul with a 32-bit long: a negative value wraps, a value beyond
// the range saturates.
bool StoreUnsigned(const ScanTarget& target, bool negative, std::uint64_t magnitude) {
  std::uint32_t value = magnitude > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<std::uint32_t>(magnitude);
  if (negative && magnitude <= 0xFFFFFFFFull) value = 0u - value;
  return StoreValue(target, value);
}

// %i %u %x %o
Scanned ScanBased(std::string_view field, const Directive& d, const ScanTarget* target) {
  bool negative = false;
  std::uint64_t magnitude = 0;
  Scanned scanned{ParseMagnitude(field, d.base, negative, magnitude)};
  if (scanned.used == 0 || target == nullptr) return scanned;
  scanned.stored = d.conversion == Conversion::kSigned ? StoreSigned(*target, negative, magnitude)
                                                       : StoreUnsigned(*target, negative, magnitude);
  return scanned;
}

// %e %f %g, of a float or with 'l' of a double
Scanned ScanReal(std::string_view field, const Directive& d, const ScanTarget* target) {
  double value = 0.0;
  Scanned scanned{ParseReal(field, value)};
  if (scanned.used == 0 || target == nullptr) return scanned;
  scanned.stored = d.conversion == Conversion::kFloat ? StoreValue(*target, static_cast<float>(value))
                                                      : StoreValue(*target, value);
  return scanned;
}

// %s: the characters up to white space.
std::size_t WordLength(std::string_view field) {
  std::size_t length = 0;
  while (length < field.size() && !IsSpace(field[length])) ++length;
  return length;
}

// %[: the characters of the set.
std::size_t SetLength(std::string_view field, const bool* members) {
  std::size_t length = 0;
  while (length < field.size() && members[static_cast<unsigned char>(field[length])]) ++length;
  return length;
}

// %s %[
Scanned ScanText(std::string_view field, const Directive& d, const ScanTarget* target) {
  const std::size_t used =
      d.conversion == Conversion::kString ? WordLength(field) : SetLength(field, d.set_members);
  if (used == 0 || target == nullptr) return {used};
  return {used, StoreText(*target, field.substr(0, used))};
}

// %c: one character, white space included
Scanned ScanChar(std::string_view field, const ScanTarget* target) {
  Scanned scanned{1};
  if (target != nullptr) scanned.stored = StoreValue(*target, field[0]);
  return scanned;
}

Scanned Convert(std::string_view field, const Directive& d, const ScanTarget* target) {
  switch (d.conversion) {
    case Conversion::kInt:
      return ScanDecimal(field, target);
    case Conversion::kSigned:
    case Conversion::kUnsigned:
      return ScanBased(field, d, target);
    case Conversion::kFloat:
    case Conversion::kDouble:
      return ScanReal(field, d, target);
    case Conversion::kString:
    case Conversion::kSet:
      return ScanText(field, d, target);
    case Conversion::kChar:
      return ScanChar(field, target);
  }
  return {};
}

}  // namespace

std::int32_t ScanFormatted(std::string_view text, const char* format,
                           std::span<const ScanTarget> targets) {
  std::int32_t assigned = 0;
  std::size_t next_target = 0;
  std::size_t pos = 0;
  const char* f = format;
  while (*f != '\0') {
    if (*f != '%' || f[1] == '%') {
      if (!MatchLiteral(text, pos, f)) return assigned;
      continue;
    }
    Directive d;
    bool set_members[256];
    f = ReadDirective(f + 1, d, set_members);
    if (f == nullptr) return assigned;
    const ScanTarget* target = nullptr;
    if (!d.suppress) {
      if (next_target >= targets.size()) return assigned;
      target = &targets[next_target++];
    }
    // %c and %[ take white space too; the others skip it first.
    if (d.conversion != Conversion::kChar && d.conversion != Conversion::kSet) pos = SkipSpaces(text, pos);
    if (pos >= text.size()) return assigned;
    std::string_view field = text.substr(pos);
    if (d.width > 0 && d.width < field.size()) field = field.substr(0, d.width);
    const Scanned scanned = Convert(field, d, target);
    if (scanned.used == 0 || !scanned.stored) return assigned;
    pos += scanned.used;
    if (!d.suppress) ++assigned;
  }
  return assigned;
}

}  // namespace morvelin::detail
