#include "rinex/file_names.h"

#include <cmath>

#include "base/file_io.h"
#include "base/gnss_constants.h"
#include "base/output_target.h"
#include "base/text.h"
#include "base/text_builder.h"

namespace morvelin::rinex {

namespace {

constexpr std::size_t kStationLength = 4;
constexpr const char* kSessionOrder = "0abcdefghijklmnopqrstuvwxyz123456789";

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
bool Alphanumeric(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// A header is far shorter than this (its comments included).
constexpr std::size_t kHeaderLimit = 64 * 1024;

std::string Code(long long count, char unit) {
  if (count < 1) count = 1;
  if (count > 99) count = 99;
  FixedText<8> text;
  text.Int(count, 2, TextBuilder::Pad::kZeros).Char(unit);
  return std::string(text.View());
}

}  // namespace

std::string StationCode(std::string_view station_name) {
  std::string code;
  for (char c : station_name) {
    if (c == ' ' && code.empty()) continue;
    if (code.size() == kStationLength) break;
    code += Alphanumeric(c) ? Upper(c) : '_';
  }
  if (code.empty()) code = "RNX";
  while (code.size() < kStationLength) code += '_';
  return code;
}

std::string ShortName(std::string_view station_name, const CivilTime& start, FileKind kind, char session) {
  std::string name;
  for (char c : StationCode(station_name)) name += Lower(c);
  FixedText<16> rest;
  rest.Int(start.day_of_year, 3, TextBuilder::Pad::kZeros).Char(session).Char('.');
  rest.Int(start.year % 100, 2, TextBuilder::Pad::kZeros).Char(kind == FileKind::kObservation ? 'o' : 'n');
  return name + std::string(rest.View());
}

char SessionCharacter(const CivilTime& start, double period_seconds) {
  const bool day_start = start.hour == 0 && start.minute == 0 && start.second_ticks < kTicksPerSecond;
  if (day_start && period_seconds >= kSecondsPerDay - 1e-6) return '0';
  return static_cast<char>('a' + (start.hour >= 0 && start.hour < 24 ? start.hour : 0));
}

char NextSessionCharacter(char session, char first) {
  const std::string_view order = kSessionOrder;
  const std::size_t at = order.find(session);
  if (at == std::string_view::npos) return 0;
  const char next = order[(at + 1) % order.size()];
  return next == first ? 0 : next;
}

std::string PeriodCode(double seconds) {
  if (!(seconds > 0.0)) return "00U";
  if (seconds >= kSecondsPerDay) return Code(static_cast<long long>(std::ceil(seconds / kSecondsPerDay - 1e-9)), 'D');
  if (seconds >= 3600.0) return Code(static_cast<long long>(std::ceil(seconds / 3600.0 - 1e-9)), 'H');
  return Code(static_cast<long long>(std::ceil(seconds / 60.0 - 1e-9)), 'M');
}

std::string RateCode(double seconds) {
  if (!(seconds > 0.0)) return "00U";
  // Faster than 1 Hz the rate is given as a frequency: in Hz up to 99 Hz,
  // in hundreds of Hz above.
  if (seconds < 1.0) {
    const double hertz = 1.0 / seconds;
    if (hertz < 99.5) return Code(std::llround(hertz), 'Z');
    return Code(std::llround(hertz / 100.0), 'C');
  }
  if (seconds < 60.0) return Code(std::llround(seconds), 'S');
  if (seconds < 3600.0) return Code(std::llround(seconds / 60.0), 'M');
  return Code(std::llround(seconds / 3600.0), 'H');
}

std::string LongName(std::string_view station_name, const CivilTime& start, double period_seconds,
                     double interval_seconds, FileKind kind) {
  FixedText<64> name;
  name.Str(StationCode(station_name)).Str("00XXX_R_");
  name.Int(start.year, 4).Int(start.day_of_year, 3, TextBuilder::Pad::kZeros);
  name.Int(start.hour, 2, TextBuilder::Pad::kZeros).Int(start.minute, 2, TextBuilder::Pad::kZeros);
  name.Char('_').Str(PeriodCode(period_seconds));
  if (kind == FileKind::kObservation) name.Char('_').Str(RateCode(interval_seconds)).Str("_GO.rnx");
  else name.Str("_GN.rnx");
  return std::string(name.View());
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  const char last = dir.back();
  if (last == '/' || last == '\\') return dir + name;
#if defined(_WIN32)
  return dir + '\\' + name;
#else
  return dir + '/' + name;
#endif
}

std::string SessionIdentity(const std::string& path) {
  std::string text;
  if (!ReadFileStart(path, kHeaderLimit, text)) return {};
  std::string identity;
  bool observation = false;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) return {};  // the header's end not within the limit
    std::string_view line(text.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    start = end + 1;
    const std::string_view label = HeaderLabel(line);
    if (label == "RINEX VERSION / TYPE") observation = line.size() > 20 && line[20] == 'O';
    if (label == "END OF HEADER") return observation ? identity : std::string();
    if (label == "MARKER NAME" || label == "MARKER NUMBER" || label == "REC # / TYPE / VERS" ||
        label == "ANT # / TYPE" || label == "APPROX POSITION XYZ" || label == "TIME OF FIRST OBS")
      identity.append(line).push_back('\n');
  }
  return {};
}

bool HoldsAnotherSession(const std::string& existing, const std::string& our_identity) {
  // A folder is refused as the name is claimed.
  if (!PathExists(existing.c_str()) || IsDirectory(existing.c_str())) return false;
  const std::string theirs = SessionIdentity(existing);
  return theirs.empty() || theirs != our_identity;
}

}  // namespace morvelin::rinex
