#include "rinex/observation_format.h"

#include <bit>
#include <charconv>
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
    layout.signals[static_cast<std::size_t>(layout.count)] = {static_cast<std::int8_t>(signal), -1};
    ++layout.count;
  };
  // signal (the later of the two) is looked at first.
  auto share = [&layout](Signal signal, Signal with) {
    const int column = layout.column[static_cast<int>(with)];
    layout.column[static_cast<int>(signal)] = column;
    layout.signals[static_cast<std::size_t>(column)] = {static_cast<std::int8_t>(signal), static_cast<std::int8_t>(with)};
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

namespace {

constexpr std::uint64_t kBlankBytes = 0x2020202020202020ull;
constexpr std::uint64_t kZeroBytes = 0x3030303030303030ull;
static_assert(std::endian::native == std::endian::little, "the fields are laid out as little-endian words");

// The three digits of 0-999 (values 0-9, not characters yet) in the low
// bytes of a word, the most significant first in memory.
struct DigitTriples {
  std::uint32_t of[1000];
  constexpr DigitTriples() : of{} {
    for (std::uint32_t i = 0; i < 1000; ++i) of[i] = i / 100 | (i / 10 % 10) << 8 | (i % 10) << 16;
  }
};
constexpr DigitTriples kTriples;

// |value| in thousandths, rounded as printf rounds the exact binary value
// (a tie to the even thousandth), for |value| below 2^52. The value is
// m * 2^-shift with m an integer of 53 bits, so thousandths are
// m * 1000 / 2^shift: the whole part and the remainder are exact in
// integers, with no product of doubles rounded on the way.
std::uint64_t Thousandths(double value) {
  constexpr int kFractionBits = 52;
  constexpr std::uint64_t kFractionMask = (std::uint64_t{1} << kFractionBits) - 1;
  constexpr int kExponentBias = 1075;  // of the 53-bit integer m, not of the 1.f form
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const auto exponent = static_cast<int>((bits >> kFractionBits) & 0x7FF);
  const std::uint64_t m = exponent == 0 ? bits & kFractionMask : (bits & kFractionMask) | (kFractionMask + 1);
  const int shift = kExponentBias - (exponent == 0 ? 1 : exponent);
  if (shift >= 64) return 0;  // below 2^-11: m * 1000 / 2^shift is under a half
  const std::uint64_t product = m * 1000;  // below 2^63
  const std::uint64_t whole = product >> shift;
  const std::uint64_t remainder = product & ((std::uint64_t{1} << shift) - 1);
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  // Without a branch: whether a remainder lies above a half is the data's toss.
  return whole + (static_cast<std::uint64_t>(remainder > half) | (static_cast<std::uint64_t>(remainder == half) & whole));
}

// A 16-column observation field at out: the value in F14.3 (blank when it
// does not fit), the loss-of-lock indicator character lli and a blank
// signal strength.
void ObservationField(char* out, double value, char lli) {
  // The indicator and the blank signal strength close the second word.
  const std::uint64_t tail = std::uint64_t{static_cast<unsigned char>(lli)} << 48 | std::uint64_t{' '} << 56;
  constexpr std::uint64_t kBlankValue = kBlankBytes & 0x0000FFFFFFFFFFFFull;  // columns 9-14
  std::uint64_t first = kBlankBytes, second = kBlankValue | tail;
  if (!(value < kLargestObservationValue && value > kSmallestObservationValue)) {
    std::memcpy(out, &first, 8), std::memcpy(out + 8, &second, 8);
    return;
  }
  const std::uint64_t thousandths = Thousandths(value);
  // The digits in groups of three from the point: the thousands of
  // millions (one digit), millions, thousands, units, then the decimals.
  // The first word takes the integer part's first eight of ten digits,
  // the second its last two, the point, the decimals and the tail.
  const auto thousands = static_cast<std::uint32_t>(thousandths / 1000000);  // below 10^7
  const auto units = static_cast<std::uint32_t>(thousandths % 1000000);      // with the decimals
  const std::uint32_t millions = thousands / 1000;
  const std::uint64_t digits = kTriples.of[millions / 1000] >> 16 | std::uint64_t{kTriples.of[millions % 1000]} << 8 |
                               std::uint64_t{kTriples.of[thousands % 1000]} << 32 |
                               std::uint64_t{kTriples.of[units / 1000]} << 56;
  const std::uint64_t last_two = kTriples.of[units / 1000] >> 8;
  second = (last_two | std::uint64_t{kTriples.of[units % 1000]} << 24 | 0x0000303030003030ull) |
           std::uint64_t{'.'} << 16 | tail;
  // Leading zeros become blanks: whole bytes below the first digit that is
  // not zero, and the units' tens when no digit before them is either.
  const int leading = std::countr_zero(digits) / 8;  // 8 when the first eight are zeros
  const std::uint64_t blank_mask = leading == 8 ? ~0ull : (1ull << (8 * leading)) - 1;
  first = ((digits | kZeroBytes) & ~blank_mask) | (kBlankBytes & blank_mask);
  const bool one_digit = leading == 8 && (last_two & 0xFF) == 0;
  if (one_digit) second = (second & ~0xFFull) | ' ';
  // printf keeps the sign of a negative value that rounds to zero.
  if (std::bit_cast<std::uint64_t>(value) >> 63 != 0) {
    if (one_digit) {
      second = (second & ~0xFFull) | '-';
    } else if (leading == 8) {
      first = (first & ~(0xFFull << 56)) | std::uint64_t{'-'} << 56;
    } else if (leading > 0) {
      const int shift = 8 * (leading - 1);
      first = (first & ~(0xFFull << shift)) | std::uint64_t{'-'} << shift;
    } else {  // "-999999999.9995" rounds to 11 digits: does not fit
      first = kBlankBytes, second = kBlankValue | tail;
    }
  }
  std::memcpy(out, &first, 8), std::memcpy(out + 8, &second, 8);
}

}  // namespace

void FormatObservationValue(char* out, double value) {
  char field[kFieldWidth];
  ObservationField(field, value, ' ');
  std::memcpy(out, field, kValueWidth);
}

char* FormatSatelliteRecord(char* out, RinexVersion version, const ObservationLayout& layout,
                            const SatelliteRecord& record) {
  // "Gnn" (3.04), the fields in column order, then cut after the last that
  // is not blank; 2.11 breaks the fields into lines of five.
  constexpr int kPrnWidth = 3;
  static_assert(kSatelliteRecordRoom >= kPrnWidth + kSignalCount * kFieldWidth + 2);
  char* const fields = out + kPrnWidth;
  // Each column the value of its signal that the record holds, else blanks.
  for (int c = 0; c < layout.count; ++c) {
    char* const field = fields + c * kFieldWidth;
    const auto [later, earlier] = layout.signals[static_cast<std::size_t>(c)];
    const int s = record.present[static_cast<std::size_t>(later)]                    ? later
                  : earlier >= 0 && record.present[static_cast<std::size_t>(earlier)] ? earlier
                                                                                       : -1;
    if (s < 0) {
      std::memset(field, ' ', kFieldWidth);
      continue;
    }
    const std::uint8_t lli = record.lli[static_cast<std::size_t>(s)];
    ObservationField(field, record.value[static_cast<std::size_t>(s)], lli != 0 ? static_cast<char>('0' + lli) : ' ');
  }
  auto trimmed_end = [](char* begin, char* end) {
    while (end > begin && end[-1] == ' ') --end;
    return end;
  };
  if (version == RinexVersion::k304) {
    out[0] = 'G';
    Pair(out + 1, record.prn, true);
    char* end = trimmed_end(fields, fields + layout.count * kFieldWidth);
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
