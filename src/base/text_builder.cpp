#include "base/text_builder.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace morvelin {

void TextBuilder::Append(const char* text, std::size_t length) {
  if (capacity_ == 0) {
    truncated_ = truncated_ || length > 0;
    return;
  }
  if (length == 0) return;
  std::size_t room = capacity_ - 1 - size_;
  if (length > room) {
    length = room;
    truncated_ = true;
  }
  std::memcpy(data_ + size_, text, length);
  size_ += length;
  Terminate();
}

void TextBuilder::Padded(const char* number, std::size_t length, int width, Pad pad) {
  static constexpr char kBlanks[] = "                                ";
  static constexpr char kZeros[] = "00000000000000000000000000000000";
  auto missing = static_cast<std::size_t>(width > 0 ? width : 0);
  missing = missing > length ? missing - length : 0;
  const char* fill = kBlanks;
  if (pad == Pad::kZeros) {
    fill = kZeros;
    if (length > 0 && number[0] == '-') {
      Append(number, 1);
      ++number;
      --length;
    }
  }
  while (missing > 0) {
    std::size_t chunk = missing < sizeof kBlanks - 1 ? missing : sizeof kBlanks - 1;
    Append(fill, chunk);
    missing -= chunk;
  }
  Append(number, length);
}

TextBuilder& TextBuilder::Str(std::string_view text) {
  Append(text.data(), text.size());
  return *this;
}

TextBuilder& TextBuilder::Char(char c) {
  Append(&c, 1);
  return *this;
}

TextBuilder& TextBuilder::Int(std::int64_t value, int width, Pad pad) {
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, value);
  Padded(digits, static_cast<std::size_t>(result.ptr - digits), width, pad);
  return *this;
}

namespace {

// printf spells the non-finite values "inf", "-inf", "nan" and "-nan".
std::size_t NonFinite(double value, char* out) {
  const char* text = std::isnan(value) ? (std::signbit(value) ? "-nan" : "nan")
                                       : (value < 0 ? "-inf" : "inf");
  std::size_t length = std::strlen(text);
  std::memcpy(out, text, length);
  return length;
}

}  // namespace

TextBuilder& TextBuilder::Fixed(double value, int precision, int width, Pad pad) {
  // Large enough for DBL_MAX with up to 60 decimals.
  char digits[400];
  std::size_t length;
  if (!std::isfinite(value)) {
    length = NonFinite(value, digits);
    pad = Pad::kBlanks;
  } else {
    if (precision > 60) precision = 60;
    auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, precision);
    length = static_cast<std::size_t>(result.ptr - digits);
  }
  Padded(digits, length, width, pad);
  return *this;
}

TextBuilder& TextBuilder::Exp(double value, int precision) {
  char digits[96];
  std::size_t length;
  if (!std::isfinite(value)) {
    length = NonFinite(value, digits);
  } else {
    if (precision > 60) precision = 60;
    auto result =
        std::to_chars(digits, digits + sizeof digits, value, std::chars_format::scientific, precision);
    length = static_cast<std::size_t>(result.ptr - digits);
  }
  Append(digits, length);
  return *this;
}

}  // namespace morvelin
