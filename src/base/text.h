// Small text helpers shared by the conversion and the utility library:
// character classes and case folding as the "C" locale has them, words,
// fixed-width fields that end at a NUL, and locale-free number reading.
// None of them consults the process locale: a host that has set a
// decimal-comma locale still gets "1.5" read as one and a half.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace morvelin {

// White space as isspace sees it in the "C" locale.
constexpr bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Same text apart from the case of ASCII letters.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// text without the spaces and tabs at either end.
std::string_view Trimmed(std::string_view text);

// Fixed-column text (RINEX files):
// Columns start + 1 .. start + width (start from 0) of line, cut to the
// line; empty when the line ends before.
std::string_view Columns(std::string_view line, std::size_t start, std::size_t width);
// The label of a RINEX header line: columns 61-80, trimmed.
std::string_view HeaderLabel(std::string_view line);
// The number of a fixed field (blanks around it; a Fortran 'D' exponent
// taken as 'E'). False when the field holds anything else, or a real that
// is not finite; a blank field gives blank = true and value 0.
bool ParseField(std::string_view field, double& value, bool& blank);
bool ParseField(std::string_view field, long long& value, bool& blank);

// Up to max_words runs of characters other than white space, in order.
std::size_t SplitWords(std::string_view text, std::string_view* words, std::size_t max_words);

// The bytes of a fixed-width field up to its first NUL (or all of them).
std::string_view TextUntilNul(std::span<const std::uint8_t> bytes);
template <std::size_t N>
std::string_view TextUntilNul(const char (&field)[N]) {
  return TextUntilNul(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(field), N));
}

// An optional sign and a decimal real (or inf / nan) at the start of text,
// as strtod reads it in the "C" locale; the characters used (0 when there
// is none). Overflow gives +-inf and underflow +-0.
std::size_t ParseReal(std::string_view text, double& value);

// A decimal number at the start of text as "%lf" reads it: leading white
// space, a sign, digits with an optional point and exponent. Infinities,
// NaNs and values out of the double range are not numbers here. False when
// no number is there.
bool ParseLeadingNumber(std::string_view text, double* value);

}  // namespace morvelin
