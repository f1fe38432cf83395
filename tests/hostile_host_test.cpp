// A host that does what hosts do: sets a decimal-comma locale, enables
// floating-point traps, converts the same file again in the same process,
// converts two files at once in two threads. The outputs stay byte for
// byte those of a plain conversion (the .gpb creation stamp aside).
#include <gtest/gtest.h>

#include <cfenv>
#include <clocale>
#include <cstdlib>
#include <functional>
#include <locale>
#include <stdexcept>
#include <string>
#include <thread>

#if defined(_WIN32)
#include <float.h>
#endif

#include "morvelin/converter.h"
#include "support/harness.h"

namespace morvelin::test {
namespace {

constexpr const char* kExtensions[] = {".gpb", ".epp", ".sum", ".sta"};

struct Outputs {
  int result = -7;
  int counts[4] = {};
  Bytes files[4];
  bool operator==(const Outputs& other) const {
    if (result != other.result) return false;
    for (int i = 0; i < 4; ++i)
      if (counts[i] != other.counts[i] || files[i] != other.files[i]) return false;
    return true;
  }
};

Outputs Read(const std::string& input, int result, const int (&counts)[4]) {
  Outputs outputs;
  outputs.result = result;
  for (int i = 0; i < 4; ++i) {
    outputs.counts[i] = counts[i];
    outputs.files[i] = ReadBytes(WithExtension(input, kExtensions[i]));
    std::remove(WithExtension(input, kExtensions[i]).c_str());
  }
  outputs.files[0] = WithoutGpbStamp(outputs.files[0]);
  return outputs;
}

// Converts through the exports; the outputs are read and removed.
Outputs ConvertAndRead(const std::string& input) {
  ConvertOptions quiet;
  quiet.message_callback = quiet.progress_callback = false;
  const Conversion c = ConvertAsHost(input, quiet);
  return Read(input, c.result, c.counts);
}

// The same through the re-entrant converter (for threads of their own).
Outputs ConvertReentrant(const std::string& input) {
  ConversionRequest request;
  request.input = FileInput{input};
  const ConversionOutcome outcome = morvelin::Convert(request);
  const int counts[4] = {outcome.counts.epochs, outcome.counts.ephemerides, outcome.counts.station_lines,
                         outcome.counts.events};
  return Read(input, outcome.result == ConversionResult::kDone ? 0 : -1, counts);
}

class HostileHost : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    const std::string source = std::string(MORVELIN_TEST_DATA_DIR) + "/" + GetParam();
    input_ = dir_.File(source.substr(source.find_last_of('/') + 1));
    WriteBytes(input_, ReadBytes(source));
    reference_ = ConvertAndRead(input_);
    ASSERT_EQ(reference_.result, 0);
    ASSERT_GT(reference_.counts[0], 0);
  }

  TempDir dir_;
  std::string input_;
  Outputs reference_;
};

TEST_P(HostileHost, DecimalCommaLocale) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
#if defined(_WIN32)
  const char* chosen = std::setlocale(LC_ALL, "German_Germany.1252");
#else
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  const char* chosen = std::setlocale(LC_ALL, "");
#endif
  if (chosen == nullptr || std::localeconv()->decimal_point[0] != ',') {
    std::setlocale(LC_ALL, before.c_str());
#if !defined(_WIN32)
    unsetenv("LC_ALL");
#endif
    GTEST_SKIP() << "no decimal-comma locale here (scripts/install-deps.sh generates de_DE.UTF-8)";
  }
  // The C++ global locale too, where the runtime has named locales (the
  // mingw runtime knows "C" alone and throws).
  std::locale previous;
  try {
    previous = std::locale::global(std::locale(""));
  } catch (const std::runtime_error&) {
  }
  const Outputs hostile = ConvertAndRead(input_);
  std::locale::global(previous);
  std::setlocale(LC_ALL, before.c_str());
#if !defined(_WIN32)
  unsetenv("LC_ALL");
#endif
  EXPECT_TRUE(hostile == reference_);
}

// Invalid operations, division by zero and overflow trap (SIGFPE, or the
// Windows exception) instead of giving NaN or infinity quietly.
TEST_P(HostileHost, FloatingPointTraps) {
  std::feclearexcept(FE_ALL_EXCEPT);
#if defined(_WIN32)
  unsigned int previous = 0, ignored = 0;
  _controlfp_s(&previous, 0, 0);
  _controlfp_s(&ignored, _EM_INEXACT | _EM_UNDERFLOW | _EM_DENORMAL, _MCW_EM);
#else
  feenableexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
#endif
  const Outputs trapped = ConvertAndRead(input_);
#if defined(_WIN32)
  _clearfp();
  _controlfp_s(&ignored, previous, _MCW_EM);
#else
  fedisableexcept(FE_ALL_EXCEPT);
#endif
  std::feclearexcept(FE_ALL_EXCEPT);
  EXPECT_TRUE(trapped == reference_);
}

TEST_P(HostileHost, SameFileAgainInTheSameProcess) {
  for (int round = 0; round < 3; ++round) EXPECT_TRUE(ConvertAndRead(input_) == reference_) << "round " << round;
}

// Two conversions at once in two threads, of different files: each gets
// what it gets alone.
TEST_P(HostileHost, TwoThreadsConvertDifferentFilesAtOnce) {
  TempDir other_dir;
  const std::string other = other_dir.File("TRNC3450.dat");
  WriteBytes(other, ReadBytes(std::string(MORVELIN_TEST_DATA_DIR) + "/data/TRNC3450.dat"));
  const Outputs other_reference = ConvertReentrant(other);
  const Outputs own_reference = ConvertReentrant(input_);
  for (int round = 0; round < 3; ++round) {
    Outputs own, second;
    std::thread thread([&] { second = ConvertReentrant(other); });
    own = ConvertReentrant(input_);
    thread.join();
    EXPECT_TRUE(own == own_reference) << "round " << round;
    EXPECT_TRUE(second == other_reference) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Samples, HostileHost, ::testing::Values("data/TRNC3450.dat", "../examples/SIMU3450.dat"),
                         [](const auto& info) { return std::string(info.index == 0 ? "Small" : "Simulated"); });

}  // namespace
}  // namespace morvelin::test
