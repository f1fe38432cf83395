// The locale-free number formatting prints what C's printf prints.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <cstring>
#include <string>
#include <vector>

#include "base/text_builder.h"

namespace morvelin {
namespace {

std::string Printf(const char* format, double value, int precision, int width = 0) {
  char buffer[512];
  if (width > 0)
    std::snprintf(buffer, sizeof buffer, format, width, precision, value);
  else
    std::snprintf(buffer, sizeof buffer, format, precision, value);
  return buffer;
}

TEST(TextBuilder, MatchesPrintfOnAWideRangeOfValues) {
  std::vector<double> values = {0.0, -0.0, 0.5, 1.5, 2.5, -2.5, 0.125, 0.1, 1e-300, 5e-324, 1e300,
                                -123456.789, 604800.0, 518400.02, 0.005, 0.015, 0.045, 59.999999,
                                static_cast<double>(0.1f), std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity()};
  std::mt19937_64 random(12345);
  std::uniform_real_distribution<double> exponent(-30, 30);
  for (int i = 0; i < 2000; ++i)
    values.push_back((random() % 2 ? 1 : -1) * std::pow(10.0, exponent(random)) * (random() % 1000) / 999.0);
  for (double value : values) {
    for (int precision : {0, 1, 2, 3, 5, 6, 8, 14}) {
      FixedText<512> fixed;
      fixed.Fixed(value, precision);
      EXPECT_EQ(fixed.View(), Printf("%.*f", value, precision)) << value;
      FixedText<512> exp;
      exp.Exp(value, precision);
      EXPECT_EQ(exp.View(), Printf("%.*e", value, precision)) << value;
    }
    FixedText<512> padded;
    padded.Fixed(value, 2, 5);
    EXPECT_EQ(padded.View(), Printf("%*.*f", value, 2, 5)) << value;
    FixedText<512> zeros;
    zeros.Fixed(value, 3, 9, TextBuilder::Pad::kZeros);
    EXPECT_EQ(zeros.View(), Printf("%0*.*f", value, 3, 9)) << value;
  }
}

TEST(TextBuilder, IntegersWithWidth) {
  struct Case {
    std::int64_t value;
    int width;
    const char* text;
  } cases[] = {{0, 0, "0"}, {-1, 0, "-1"}, {7, 4, "   7"}, {-33, 4, " -33"}, {123456, 2, "123456"},
               {INT32_MIN, 0, "-2147483648"}, {65535, 0, "65535"}};
  for (const Case& c : cases) {
    FixedText<32> text;
    text.Int(c.value, c.width);
    EXPECT_EQ(text.View(), c.text);
    char expected[32];
    std::snprintf(expected, sizeof expected, "%0*lld", c.width, static_cast<long long>(c.value));
    FixedText<32> zeros;
    zeros.Int(c.value, c.width, TextBuilder::Pad::kZeros);
    EXPECT_EQ(zeros.View(), expected);
  }
}

TEST(TextBuilder, CutsInsteadOfOverflowing) {
  char storage[8];
  std::memset(storage, '#', sizeof storage);
  TextBuilder text(storage, 6);
  text.Str("abc").Fixed(1234.5678, 3).Str("tail");
  EXPECT_EQ(text.View(), "abc12");
  EXPECT_TRUE(text.Truncated());
  EXPECT_EQ(storage[5], '\0');
  EXPECT_EQ(storage[6], '#');
}

TEST(TextBuilder, IgnoresTheProcessLocale) {
  // A host may set a decimal-comma locale; the texts keep their points.
  const char* previous = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = previous ? previous : "C";
  bool changed = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr || std::setlocale(LC_NUMERIC, "de_DE") != nullptr;
  FixedText<32> text;
  text.Fixed(2.123, 3).Char(' ').Exp(0.5, 2);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(text.View(), "2.123 5.00e-01");
  if (!changed) GTEST_SKIP() << "no decimal-comma locale installed; checked in the C locale only";
}

}  // namespace
}  // namespace morvelin
