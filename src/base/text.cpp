#include "base/text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace morvelin {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

std::size_t SplitWords(std::string_view text, std::string_view* words, std::size_t max_words) {
  std::size_t count = 0;
  std::size_t pos = 0;
  while (count < max_words) {
    while (pos < text.size() && IsSpace(text[pos])) ++pos;
    if (pos >= text.size()) break;
    const std::size_t start = pos;
    while (pos < text.size() && !IsSpace(text[pos])) ++pos;
    words[count++] = text.substr(start, pos - start);
  }
  return count;
}

std::string_view TextUntilNul(std::span<const std::uint8_t> bytes) {
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return text.substr(0, text.find('\0'));
}

namespace {

// from_chars leaves the value alone when the text is out of the double's
// range; strtod gives inf on overflow and 0 on underflow. Which of the two it
// is follows from the decimal exponent of the first significant digit.
double OutOfRange(std::string_view number) {
  std::size_t i = 0;
  std::int64_t integer_digits = 0;
  std::int64_t fraction_zeros = 0;
  bool significant = false;
  for (; i < number.size() && IsDigit(number[i]); ++i) {
    if (significant || number[i] != '0') {
      significant = true;
      ++integer_digits;
    }
  }
  if (i < number.size() && number[i] == '.') {
    for (++i; i < number.size() && IsDigit(number[i]); ++i) {
      if (!significant) {
        if (number[i] == '0') {
          ++fraction_zeros;
        } else {
          significant = true;
        }
      }
    }
  }
  std::int64_t magnitude = integer_digits > 0 ? integer_digits - 1 : -(fraction_zeros + 1);
  if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < number.size() && (number[i] == '+' || number[i] == '-')) {
      negative = number[i] == '-';
      ++i;
    }
    std::int64_t exponent = 0;
    for (; i < number.size() && IsDigit(number[i]); ++i) {
      if (exponent < 100000000) exponent = exponent * 10 + (number[i] - '0');
    }
    magnitude += negative ? -exponent : exponent;
  }
  return magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
}

}  // namespace

std::size_t ParseReal(std::string_view text, double& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // from_chars takes no sign of its own: a second sign is not a number.
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) return 0;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  double magnitude = 0.0;
  auto result = std::from_chars(first, last, magnitude, std::chars_format::general);
  if (result.ec == std::errc::invalid_argument) return 0;
  if (result.ec == std::errc::result_out_of_range) {
    magnitude = OutOfRange(std::string_view(first, static_cast<std::size_t>(result.ptr - first)));
  }
  value = negative ? -magnitude : magnitude;
  return static_cast<std::size_t>(result.ptr - text.data());
}

bool ParseLeadingNumber(std::string_view text, double* value) {
  std::size_t at = 0;
  while (at < text.size() && IsSpace(text[at])) ++at;
  double parsed = 0.0;
  if (ParseReal(text.substr(at), parsed) == 0 || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string_view Columns(std::string_view line, std::size_t start, std::size_t width) {
  if (start >= line.size()) return {};
  return line.substr(start, width);
}

std::string_view HeaderLabel(std::string_view line) { return Trimmed(Columns(line, 60, 20)); }

bool ParseField(std::string_view field, double& value, bool& blank) {
  const std::string_view text = Trimmed(field);
  value = 0.0;
  blank = text.empty();
  if (blank) return true;
  char local[40];
  if (text.size() >= sizeof local) return false;
  std::size_t n = 0;
  for (char c : text) local[n++] = (c == 'D' || c == 'd') ? 'E' : c;
  const char* begin = local;
  if (*begin == '+') ++begin;
  const auto [end, error] = std::from_chars(begin, local + n, value);
  return error == std::errc() && end == local + n && std::isfinite(value);
}

bool ParseField(std::string_view field, long long& value, bool& blank) {
  const std::string_view text = Trimmed(field);
  value = 0;
  blank = text.empty();
  if (blank) return true;
  const char* begin = text.data();
  if (*begin == '+') ++begin;
  const auto [end, error] = std::from_chars(begin, text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace morvelin
