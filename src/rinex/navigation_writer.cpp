#include "rinex/navigation_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

#include "base/gnss_constants.h"
#include "rinex/observation_format.h"
#include "rinex/rinex_time.h"

namespace morvelin::rinex {

namespace {

constexpr int kNumberWidth = 19;  // D19.12
constexpr int kNumberDigits = 12;
// A D19.12 field holds an exponent of two digits.
constexpr double kLargestMagnitude = 9.9999999999994e99;
constexpr double kSmallestMagnitude = 1e-99;
// The ionosphere records' D12.4 fields.
constexpr int kIonosphereWidth = 12;
constexpr int kIonosphereDigits = 4;
constexpr double kLargestIonosphere = 9.99994e99;
// The records do not say when the satellite sent them: the start of the
// usual four-hour fit interval, two hours before toe, stands in.
constexpr double kTransmissionBeforeToe = 7200.0;
constexpr double kFitIntervalHours = 4.0;

// The nominal accuracy of each URA index: 2^(1 + N/2) metres up to N = 6,
// rounded to one decimal (2.8, 5.7, 11.3), 2^(N - 2) from there on, and
// 8192 m for 15 (no accuracy prediction: use at own risk), as the
// navigation file's SV accuracy asks.
constexpr std::array<double, 16> kUraMetres = {2.0,   2.8,   4.0,    5.7,    8.0,    11.3,   16.0,   32.0,
                                               64.0,  128.0, 256.0,  512.0,  1024.0, 2048.0, 4096.0, 8192.0};

bool Fits(double value, double largest = kLargestMagnitude) {
  if (!std::isfinite(value)) return false;
  const double magnitude = std::fabs(value);
  return magnitude == 0.0 || (magnitude >= kSmallestMagnitude && magnitude <= largest);
}

// "%W.PE" with the version's exponent letter.
void Number(TextBuilder& out, double value, char exponent_letter, int width = kNumberWidth,
            int precision = kNumberDigits) {
  char digits[40];
  const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::scientific, precision);
  auto length = static_cast<std::size_t>(result.ptr - digits);
  for (std::size_t i = 0; i < length; ++i)
    if (digits[i] == 'e') digits[i] = exponent_letter;
  for (std::size_t i = length; i < static_cast<std::size_t>(width); ++i) out.Char(' ');
  out.Str(std::string_view(digits, length));
}

// 3.04: "GPSA" (A4,1X,4D12.4), time mark and satellite left blank; 2.11:
// 2X,4D12.4.
void IonosphereRecord(TextBuilder& out, RinexVersion version, const std::array<double, 4>& values,
                      std::string_view v3_type, std::string_view v2_label) {
  const bool v3 = version == RinexVersion::k304;
  FixedText<64> line;
  line.Str(v3 ? v3_type : std::string_view()).Str(v3 ? " " : "  ");
  for (double value : values) Number(line, value, v3 ? 'E' : 'D', kIonosphereWidth, kIonosphereDigits);
  HeaderRecord(out, line.View(), v3 ? "IONOSPHERIC CORR" : v2_label);
}

void TwoDigits(TextBuilder& out, int value) { out.Int(value, 2, TextBuilder::Pad::kZeros); }

}  // namespace

double UraMetres(std::int32_t ura_index) {
  if (ura_index < 0 || ura_index >= static_cast<std::int32_t>(kUraMetres.size())) return kUraMetres.back();
  return kUraMetres[static_cast<std::size_t>(ura_index)];
}

bool IonosphereFits(const RinexIonosphere& ionosphere) {
  for (const std::array<double, 4>* set : {&ionosphere.alpha, &ionosphere.beta})
    for (double value : *set)
      if (!Fits(value, kLargestIonosphere)) return false;
  return true;
}

void FormatNavigationHeader(TextBuilder& out, RinexVersion version, const NavigationHeader& header) {
  const ProgramLine& program = header.program;
  if (version == RinexVersion::k304)
    HeaderRecord(out, "     3.04           N: GNSS NAV DATA    G: GPS", "RINEX VERSION / TYPE");
  else
    HeaderRecord(out, "     2.11           N: GPS NAV DATA", "RINEX VERSION / TYPE");
  FixedText<96> line;
  auto field = [&line](std::string_view text) {
    text = text.substr(0, 20);
    line.Str(text);
    for (std::size_t i = text.size(); i < 20; ++i) line.Char(' ');
  };
  field(program.program), field(program.run_by), field(program.date);
  HeaderRecord(out, line.View(), "PGM / RUN BY / DATE");
  for (const std::string& comment : header.comments) HeaderRecord(out, comment, "COMMENT");
  if (header.ionosphere && IonosphereFits(*header.ionosphere)) {
    IonosphereRecord(out, version, header.ionosphere->alpha, "GPSA", "ION ALPHA");
    IonosphereRecord(out, version, header.ionosphere->beta, "GPSB", "ION BETA");
  }
  line.Clear();
  line.Int(header.leap_seconds, 6);
  HeaderRecord(out, line.View(), "LEAP SECONDS");
  HeaderRecord(out, "", "END OF HEADER");
}

bool FormatNavigationRecord(TextBuilder& out, RinexVersion version, const gnss::BroadcastEphemeris& eph) {
  const double toe = static_cast<double>(eph.toe);
  const std::array<double, 29> values = {
      eph.af0,   eph.af1,    eph.af2,
      static_cast<double>(eph.iode), eph.crs, eph.delta_n, eph.m0,
      eph.cuc,   eph.e,      eph.cus,   eph.sqrt_a,
      toe,       eph.cic,    eph.omega0, eph.cis,
      eph.i0,    eph.crc,    eph.omega, eph.omega_dot,
      eph.idot,  0.0 /* codes on L2: not known */, static_cast<double>(eph.week), 0.0 /* L2 P data flag */,
      UraMetres(eph.ura), static_cast<double>(eph.health), eph.tgd, static_cast<double>(eph.iodc),
      toe - kTransmissionBeforeToe, kFitIntervalHours};
  for (double v : values)
    if (!Fits(v)) return false;
  // Times of clock and ephemeris outside the week are a damaged record's.
  const auto in_week = [](std::int64_t seconds) { return seconds >= 0 && seconds < kWholeSecondsPerWeek; };
  if (eph.prn < 1 || eph.prn > 99 || !in_week(eph.toc) || !in_week(eph.toe) || eph.week < 0) return false;

  const CivilTime toc = CivilFromGps(eph.week, static_cast<double>(eph.toc));
  const bool v3 = version == RinexVersion::k304;
  const char letter = v3 ? 'E' : 'D';
  if (v3) {
    out.Char('G');
    TwoDigits(out, eph.prn);
    out.Char(' ').Int(toc.year, 4);
    for (int field : {toc.month, toc.day, toc.hour, toc.minute, static_cast<int>(toc.second_ticks / kTicksPerSecond)})
      out.Char(' '), TwoDigits(out, field);
  } else {
    out.Int(eph.prn, 2).Char(' ');
    TwoDigits(out, toc.year % 100);
    for (int field : {toc.month, toc.day, toc.hour, toc.minute}) out.Char(' ').Int(field, 2);
    out.Fixed(static_cast<double>(toc.second_ticks) / static_cast<double>(kTicksPerSecond), 1, 5);
  }
  const std::string_view indent = v3 ? "    " : "   ";
  for (std::size_t i = 0; i < values.size(); ++i) {
    // Three values on the first line, four on each broadcast orbit line.
    if (i >= 3 && (i - 3) % 4 == 0) out.Char('\n').Str(indent);
    Number(out, values[i], letter);
  }
  out.Char('\n');
  return true;
}

void NavigationCollector::Add(const gnss::BroadcastEphemeris& eph) {
  if (!seen_.insert({eph.prn, eph.iode, eph.week, eph.toe}).second) return;
  records_.push_back(eph);
}

void NavigationCollector::Redate(std::int64_t reference_ticks) {
  for (gnss::BroadcastEphemeris& eph : records_) eph.week = WeekNearTicks(reference_ticks, static_cast<double>(eph.toe));
}

std::size_t NavigationCollector::Write(OutputFile& file, RinexVersion version, const NavigationHeader& header) {
  FixedText<4096> text;
  FormatNavigationHeader(text, version, header);
  file.Write(text.View());
  std::vector<const gnss::BroadcastEphemeris*> order;
  order.reserve(records_.size());
  for (const gnss::BroadcastEphemeris& eph : records_) order.push_back(&eph);
  auto time_of = [](const gnss::BroadcastEphemeris* e) {
    return static_cast<double>(e->week) * kSecondsPerWeek + static_cast<double>(e->toc);
  };
  std::stable_sort(order.begin(), order.end(), [&](const auto* a, const auto* b) {
    const double ta = time_of(a), tb = time_of(b);
    return ta != tb ? ta < tb : a->prn < b->prn;
  });
  std::size_t written = 0;
  for (const gnss::BroadcastEphemeris* eph : order) {
    text.Clear();
    if (!FormatNavigationRecord(text, version, *eph)) continue;
    file.Write(text.View());
    ++written;
  }
  return written;
}

}  // namespace morvelin::rinex
