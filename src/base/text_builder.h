// Locale-free text building into a fixed buffer.
//
// Every text file and message of the system prints numbers exactly as C's
// printf does in the "C" locale ("%d", "%.3lf", "%.8e", "%5.2lf", ...), on
// both targets and whatever locale the host has set. std::to_chars gives the
// same digits (correctly rounded, two-digit exponents) without a locale.
// Appends are bounded: a text that does not fit is cut, never overflows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace morvelin {

class TextBuilder {
 public:
  TextBuilder(char* data, std::size_t capacity) : data_(data), capacity_(capacity) { Terminate(); }

  TextBuilder& Str(std::string_view text);
  TextBuilder& Char(char c);
  // How a number narrower than its width is padded: blanks before it
  // ("%5d"), or zeros between its sign and its digits ("%05d").
  enum class Pad { kBlanks, kZeros };

  // printf "%*d" / "%*ld": signed decimal, right-aligned in width.
  TextBuilder& Int(std::int64_t value, int width = 0, Pad pad = Pad::kBlanks);
  // printf "%*.*f": fixed-point with precision decimals, right-aligned in
  // width. Zero padding applies to finite values only, as in printf.
  TextBuilder& Fixed(double value, int precision, int width = 0, Pad pad = Pad::kBlanks);
  // printf "%.*e": one digit, point, precision decimals, exponent of two digits or more.
  TextBuilder& Exp(double value, int precision);

  std::string_view View() const { return {data_, size_}; }
  const char* CStr() const { return data_; }
  std::size_t Size() const { return size_; }
  bool Truncated() const { return truncated_; }
  void Clear() {
    size_ = 0;
    truncated_ = false;
    Terminate();
  }

 private:
  void Append(const char* text, std::size_t length);
  void Padded(const char* number, std::size_t length, int width, Pad pad);
  void Terminate() {
    if (capacity_ > 0) data_[size_] = '\0';
  }

  char* data_;
  std::size_t capacity_;  // including the terminating NUL
  std::size_t size_ = 0;
  bool truncated_ = false;
};

// A TextBuilder with its own storage of N bytes (N - 1 characters and a NUL).
template <std::size_t N>
class FixedText : public TextBuilder {
 public:
  FixedText() : TextBuilder(storage_, N) {}
  FixedText(const FixedText&) = delete;
  FixedText& operator=(const FixedText&) = delete;

 private:
  char storage_[N];
};

}  // namespace morvelin
