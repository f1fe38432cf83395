// Numbers into the report's texts, locale-free (the text builder's printf
// digits), appended to a std::string.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text_builder.h"

namespace morvelin::qc {

inline void AppendFixed(std::string& out, double value, int decimals, int width = 0) {
  FixedText<64> text;
  text.Fixed(value, decimals, width);
  out += text.View();
}

inline void AppendInt(std::string& out, std::int64_t value, int width = 0) {
  FixedText<32> text;
  text.Int(value, width);
  out += text.View();
}

inline std::string Fixed(double value, int decimals) {
  std::string out;
  AppendFixed(out, value, decimals);
  return out;
}

// Padded to width with blanks after the text.
inline void AppendPadded(std::string& out, std::string_view text, std::size_t width) {
  out += text;
  if (text.size() < width) out.append(width - text.size(), ' ');
}

}  // namespace morvelin::qc
