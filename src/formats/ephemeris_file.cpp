#include "formats/ephemeris_file.h"

#include "base/text_builder.h"

namespace morvelin {

namespace {

// The longest line holds three doubles and two singles in exponent form
// ("-1.79769313486232e+308" is 22 characters): well under this.
constexpr std::size_t kLineSize = 256;

// "%.8e" of a single: widened exactly, so the single's own digits show.
TextBuilder& Single(TextBuilder& text, float value) { return text.Exp(static_cast<double>(value), 8); }

// "%.14le" of a double.
TextBuilder& Double(TextBuilder& text, double value) { return text.Exp(value, 14); }

}  // namespace

void WriteGpsEphBlock(TextFile& file, const GpsEph& eph) {
  FixedText<kLineSize> line;

  line.Str("GpsEph { Prn: ").Int(eph.prn).Str("\n\tEl1: ").Int(eph.el1_1).Char(' ').Int(eph.el1_2).Char(' ');
  Single(line, eph.el1_3).Char(' ').Int(eph.el1_4).Char(' ').Int(eph.el1_5).Char('\n');
  file.Write(line.View());

  line.Clear();
  line.Str("\tEl2: ");
  Single(line, eph.el2_1).Char(' ');
  Single(line, eph.el2_2).Char(' ');
  Single(line, eph.el2_3).Char('\n');
  file.Write(line.View());

  line.Clear();
  line.Str("\tEl3: ").Int(eph.iode).Char(' ');
  Single(line, eph.crs).Char(' ');
  Single(line, eph.delta_n).Char(' ');
  Double(line, eph.m0).Char('\n');
  file.Write(line.View());

  line.Clear();
  line.Str("\tEl4: ");
  Single(line, eph.cuc).Char(' ');
  Double(line, eph.eccentricity).Char(' ');
  Single(line, eph.cus).Char(' ');
  Double(line, eph.sqrt_a).Char('\n');
  file.Write(line.View());

  line.Clear();
  line.Str("\tEl5: ").Int(eph.toe).Char(' ');
  Single(line, eph.cic).Char(' ');
  Double(line, eph.omega0).Char(' ');
  Single(line, eph.cis).Char('\n');
  file.Write(line.View());

  line.Clear();
  line.Str("\tEl6: ");
  Double(line, eph.i0).Char(' ');
  Single(line, eph.crc).Char(' ');
  Double(line, eph.omega).Char(' ');
  Single(line, eph.omega_dot).Char(' ');
  Single(line, eph.idot).Char('\n');
  file.Write(line.View());

  file.Write("}\n");
}

}  // namespace morvelin
