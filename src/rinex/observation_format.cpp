#include "rinex/observation_format.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace morvelin::rinex {

namespace {

constexpr std::size_t kContentWidth = 60;
constexpr std::size_t kLabelWidth = 20;
constexpr int kValueWidth = 14;
constexpr int kFieldWidth = 16;           // F14.3, LLI, signal strength
constexpr int kValuesPerLine211 = 5;
constexpr int kSatellitesPerLine211 = 12;
constexpr int kClockColumn211 = 68;       // the F12.9 clock offset, columns 69-80
// F14.3 holds -999999999.999 .. 9999999999.999.
constexpr double kLargestValue = 9999999999.9995;
constexpr double kSmallestValue = -999999999.9995;
// Thousandths this close to a half are rounded by to_chars (exactly).
constexpr double kNearHalf = 1e-3;
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

void Blanks(TextBuilder& out, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) out.Char(' ');
}

// 0-99 in two characters at p, "07" or with a blank, " 7"; returns the end.
char* Pair(char* p, int value, bool zero) {
  std::memcpy(p, kDigitPairs + 2 * (static_cast<unsigned>(value) % 100), 2);
  if (!zero && value < 10) p[0] = ' ';
  return p + 2;
}

// Seconds of the minute, F11.7, from ticks of 0.1 us at p: exact, no
// rounding. Returns the end.
char* SecondsText(char* p, std::int64_t ticks) {
  const auto whole = static_cast<int>(ticks / kTicksPerSecond);  // 0-59
  const auto fraction = static_cast<int>(ticks - std::int64_t{whole} * kTicksPerSecond);
  *p++ = ' ';
  p = Pair(p, whole, false);
  *p++ = '.';
  p = Pair(p, fraction / 100000, true);
  p = Pair(p, fraction / 1000 % 100, true);
  p = Pair(p, fraction / 10 % 100, true);
  *p++ = static_cast<char>('0' + fraction % 10);
  return p;
}

void Seconds(TextBuilder& out, std::int64_t ticks) {
  char text[16];
  out.Str(std::string_view(text, static_cast<std::size_t>(SecondsText(text, ticks) - text)));
}

// "Gnn" of a 2.11 epoch line's satellite list.
void Satellite(TextBuilder& out, int prn) {
  char text[3] = {'G'};
  Pair(text + 1, prn, true);
  out.Str(std::string_view(text, 3));
}

// An epoch line's time, made without a call per field (every epoch has
// one): 3.04 "> 2023 12 04 01 02  3.4000000", 2.11 " 23 12  4  1  2  3.4000000".
void EpochTime(TextBuilder& out, RinexVersion version, const CivilTime& t) {
  char text[48];
  char* p = text;
  const bool v304 = version == RinexVersion::k304;
  if (v304) {
    char year[16];
    const auto length = static_cast<int>(std::to_chars(year, year + sizeof year, t.year).ptr - year);
    *p++ = '>', *p++ = ' ';
    for (int i = length; i < 4; ++i) *p++ = ' ';  // "%4d"
    std::memcpy(p, year, static_cast<std::size_t>(length));
    p += length;
  } else {
    *p++ = ' ';
    p = Pair(p, t.year % 100, true);
  }
  for (int field : {t.month, t.day, t.hour, t.minute}) *p++ = ' ', p = Pair(p, field, v304);
  p = SecondsText(p, t.second_ticks);
  out.Str(std::string_view(text, static_cast<std::size_t>(p - text)));
}

}  // namespace

ObservationLayout MakeLayout(RinexVersion version, ObservationTypes types) {
  ObservationLayout layout;
  auto add = [&layout](const char* code, Signal signal) {
    layout.column[static_cast<int>(signal)] = layout.count;
    layout.codes[static_cast<std::size_t>(layout.count)] = code;
    ++layout.count;
  };
  auto share = [&layout](Signal signal, Signal with) {
    layout.column[static_cast<int>(signal)] = layout.column[static_cast<int>(with)];
  };
  if (version == RinexVersion::k304) {
    if (types.l1_ca) add("C1C", Signal::kL1CaCode), add("L1C", Signal::kL1CaPhase);
    if (types.l1_ca && types.doppler) add("D1C", Signal::kL1CaDoppler);
    if (types.l1_p) add("C1W", Signal::kL1PCode), add("L1W", Signal::kL1PPhase);
    if (types.l1_p && types.doppler) add("D1W", Signal::kL1PDoppler);
    if (types.l2) add("C2W", Signal::kL2Code), add("L2W", Signal::kL2Phase);
    return layout;
  }
  if (types.l1_ca) add("C1", Signal::kL1CaCode);
  if (types.l1_p) add("P1", Signal::kL1PCode);
  if (types.l1_ca || types.l1_p) {
    add("L1", Signal::kL1CaPhase);
    share(Signal::kL1PPhase, Signal::kL1CaPhase);
    if (types.doppler) add("D1", Signal::kL1CaDoppler), share(Signal::kL1PDoppler, Signal::kL1CaDoppler);
  }
  if (types.l2) add("P2", Signal::kL2Code), add("L2", Signal::kL2Phase);
  return layout;
}

void HeaderRecord(TextBuilder& out, std::string_view content, std::string_view label) {
  if (content.size() > kContentWidth) content = content.substr(0, kContentWidth);
  // RINEX is ASCII text: a byte of the raw data's own texts (a station name
  // keyed on a receiver) outside printable ASCII is written as '?'.
  for (char c : content) out.Char(c >= ' ' && c <= '~' ? c : '?');
  Blanks(out, kContentWidth - content.size());
  if (label.size() > kLabelWidth) label = label.substr(0, kLabelWidth);
  out.Str(label);
  Blanks(out, kLabelWidth - label.size());
  out.Char('\n');
}

void TimeOfObservationRecord(TextBuilder& out, const CivilTime& time, std::string_view label) {
  FixedText<64> content;
  content.Int(time.year, 6).Int(time.month, 6).Int(time.day, 6).Int(time.hour, 6).Int(time.minute, 6);
  Blanks(content, 2);
  Seconds(content, time.second_ticks);
  content.Str("     GPS");
  HeaderRecord(out, content.View(), label);
}

void IntervalRecord(TextBuilder& out, double seconds) {
  FixedText<64> content;
  content.Fixed(seconds, 3, 10);
  HeaderRecord(out, content.View(), "INTERVAL");
}

void AntennaDeltaRecord(TextBuilder& out, double height, double east, double north) {
  FixedText<128> content;
  content.Fixed(height, 4, 14).Fixed(east, 4, 14).Fixed(north, 4, 14);
  HeaderRecord(out, content.View(), "ANTENNA: DELTA H/E/N");
}

void ObservationTypesRecords(TextBuilder& out, RinexVersion version, const ObservationLayout& layout) {
  FixedText<64> content;
  if (version == RinexVersion::k304) {
    content.Str("G  ").Int(layout.count, 3);
    for (int i = 0; i < layout.count; ++i) content.Char(' ').Str(layout.codes[static_cast<std::size_t>(i)]);
    HeaderRecord(out, content.View(), "SYS / # / OBS TYPES");
    return;
  }
  content.Int(layout.count, 6);
  for (int i = 0; i < layout.count; ++i) content.Str("    ").Str(layout.codes[static_cast<std::size_t>(i)]);
  HeaderRecord(out, content.View(), "# / TYPES OF OBSERV");
}

void FormatEpochLine(TextBuilder& out, RinexVersion version, const EpochLine& line) {
  const CivilTime& t = line.time;
  const bool observations = line.flag <= 1 || line.flag == 6;
  EpochTime(out, version, t);
  if (version == RinexVersion::k304) {
    out.Str("  ").Int(line.flag, 1).Int(line.count, 3);
    if (observations && line.has_clock) out.Str("      ").Fixed(line.clock_offset, 12, 15);
    out.Char('\n');
    return;
  }
  out.Str("  ").Int(line.flag, 1).Int(line.count, 3);
  if (!observations || line.prns == nullptr) {
    out.Char('\n');
    return;
  }
  const int first_line = line.count < kSatellitesPerLine211 ? line.count : kSatellitesPerLine211;
  for (int i = 0; i < first_line; ++i) Satellite(out, line.prns[i]);
  if (line.has_clock) {
    Blanks(out, static_cast<std::size_t>(kClockColumn211 - 32 - 3 * first_line));
    out.Fixed(line.clock_offset, 9, 12);
  }
  for (int i = first_line; i < line.count; ++i) {
    if (i % kSatellitesPerLine211 == 0) {
      out.Char('\n');
      Blanks(out, 32);
    }
    Satellite(out, line.prns[i]);
  }
  out.Char('\n');
}

void FormatObservationValue(char* out, double value) {
  std::memset(out, ' ', kValueWidth);
  if (!(value < kLargestValue && value > kSmallestValue)) return;
  // The value in thousandths, rounded as printf rounds the exact binary
  // value: unambiguous unless the product lies near a half, where the
  // product's own rounding could decide; those few go through to_chars.
  const double scaled = std::fabs(value) * 1000.0;
  // Below 2^63: the conversion truncates, which is the floor here.
  const auto truncated = static_cast<std::int64_t>(scaled);
  const double fraction = scaled - static_cast<double>(truncated);
  if (std::fabs(fraction - 0.5) < kNearHalf) {
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 3);
    const auto length = static_cast<std::size_t>(result.ptr - digits);
    if (length <= static_cast<std::size_t>(kValueWidth))
      std::memcpy(out + (kValueWidth - static_cast<int>(length)), digits, length);
    return;
  }
  auto thousandths = static_cast<std::uint64_t>(truncated) + (fraction > 0.5 ? 1u : 0u);
  char* p = out + kValueWidth;
  // Decimals, point, then the integer part two digits at a time.
  auto fraction_digits = static_cast<std::uint32_t>(thousandths % 1000);
  std::uint64_t integer = thousandths / 1000;
  p -= 3;
  p[0] = static_cast<char>('0' + fraction_digits / 100);
  std::memcpy(p + 1, kDigitPairs + 2 * (fraction_digits % 100), 2);
  *--p = '.';
  while (integer >= 100) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * (integer % 100), 2);
    integer /= 100;
  }
  if (integer >= 10) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * integer, 2);
  } else {
    *--p = static_cast<char>('0' + integer);
  }
  // printf keeps the sign of a negative value that rounds to zero.
  if (std::signbit(value)) {
    if (p == out) {  // "-999999999.9995" rounds to 11 digits: does not fit
      std::memset(out, ' ', kValueWidth);
      return;
    }
    *--p = '-';
  }
}

char* FormatSatelliteRecord(char* out, RinexVersion version, const ObservationLayout& layout,
                            const SatelliteRecord& record) {
  // "Gnn" (3.04), the fields in column order, then cut after the last that
  // is not blank; 2.11 breaks the fields into lines of five.
  constexpr int kPrnWidth = 3;
  static_assert(kSatelliteRecordRoom >= kPrnWidth + kSignalCount * kFieldWidth + 2);
  char* const fields = out + kPrnWidth;
  std::memset(fields, ' ', kSignalCount * kFieldWidth + 1);  // and the spare byte for a newline
  int last_column = -1;
  for (int s = 0; s < kSignalCount; ++s) {
    const int column = layout.column[static_cast<std::size_t>(s)];
    if (column < 0 || !record.present[static_cast<std::size_t>(s)]) continue;
    char* field = fields + column * kFieldWidth;
    FormatObservationValue(field, record.value[static_cast<std::size_t>(s)]);
    if (record.lli[static_cast<std::size_t>(s)] != 0) field[kValueWidth] = static_cast<char>('0' + record.lli[static_cast<std::size_t>(s)]);
    if (column > last_column) last_column = column;
  }
  auto trimmed_end = [](char* begin, char* end) {
    while (end > begin && end[-1] == ' ') --end;
    return end;
  };
  if (version == RinexVersion::k304) {
    out[0] = 'G';
    Pair(out + 1, record.prn, true);
    char* end = trimmed_end(fields, fields + (last_column + 1) * kFieldWidth);
    *end++ = '\n';
    return end;
  }
  // 2.11: five fields a line, each line cut, moved down over the blanks
  // cut from the line before; a satellite with no value still has its line.
  const int columns = layout.count;
  char* end = out;
  for (int first = 0; first < columns || first == 0; first += kValuesPerLine211) {
    const int count = columns - first < kValuesPerLine211 ? columns - first : kValuesPerLine211;
    char* begin = fields + first * kFieldWidth;
    char* line_end = trimmed_end(begin, begin + (count > 0 ? count : 0) * kFieldWidth);
    const auto length = static_cast<std::size_t>(line_end - begin);
    std::memmove(end, begin, length);
    end += length;
    *end++ = '\n';
    if (columns == 0) break;
  }
  return end;
}

void FormatSatelliteRecord(TextBuilder& out, RinexVersion version, const ObservationLayout& layout,
                           const SatelliteRecord& record) {
  char text[kSatelliteRecordRoom];
  const char* end = FormatSatelliteRecord(text, version, layout, record);
  out.Str(std::string_view(text, static_cast<std::size_t>(end - text)));
}

}  // namespace morvelin::rinex
