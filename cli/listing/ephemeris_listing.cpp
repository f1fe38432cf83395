// The listing of an ephemeris file, read back with the utility library's
// block reader: one line per GpsEph block.
#include <cstdint>
#include <cstdio>
#include <string>

#include "base/text_builder.h"
#include "formats/ephemeris_reader.h"
#include "listing.h"
#include "morvelin/util.h"

namespace morvelin::cli {

namespace {

struct EphemerisSummary {
  std::int32_t prn = 0;
  std::int32_t iode = 0;
  std::int32_t toe = 0;
  double sqrt_a = 0.0;
  double eccentricity = 0.0;
  bool has_prn = false;
  bool has_iode = false;
  bool has_toe = false;
  bool has_orbit = false;
};

EphemerisSummary Summarise(TextBlock& block) {
  EphemerisSummary summary;
  summary.has_prn = ScanKeyword("Prn:", block, "%d", summary.prn) == 1;
  summary.has_iode = ScanKeyword("El3:", block, "%ld", summary.iode) == 1;
  summary.has_toe = ScanKeyword("El5:", block, "%ld", summary.toe) == 1;
  // El4: cuc, eccentricity, cus, sqrt(A).
  float cuc = 0.0f, cus = 0.0f;
  summary.has_orbit =
      ScanKeyword("El4:", block, "%e %le %e %le", cuc, summary.eccentricity, cus, summary.sqrt_a) == 4;
  return summary;
}

// A value the block lacks shows as "-" in its column.
void Missing(TextBuilder& line, int width) {
  for (int i = 1; i < width; ++i) line.Char(' ');
  line.Char('-');
}

void Column(TextBuilder& line, const char* label, bool present, std::int64_t value, int width) {
  line.Str(label);
  if (present) {
    line.Int(value, width);
  } else {
    Missing(line, width);
  }
}

void FormatSummary(TextBuilder& line, const EphemerisSummary& summary) {
  Column(line, "PRN ", summary.has_prn, summary.prn, 3);
  Column(line, "  IODE ", summary.has_iode, summary.iode, 3);
  Column(line, "  toe ", summary.has_toe, summary.toe, 6);
  // sqrt(A) and e with the 15 significant digits that the file holds.
  line.Str("  sqrt(A) ");
  if (summary.has_orbit) {
    line.Fixed(summary.sqrt_a, 11, 16).Str("  e ").Fixed(summary.eccentricity, 16, 18);
  } else {
    Missing(line, 16);
    line.Str("  e ");
    Missing(line, 18);
  }
}

// Lists the blocks of in; false when it could not be read to its end.
bool ListBlocks(std::FILE* in, std::ostream& out) {
  TextBlock block;
  for (;;) {
    const std::int32_t result = ReadBlock(in, block);
    if (result == -1) return std::ferror(in) == 0;
    if (result == 1) {
      if (std::ferror(in) != 0) return false;
      continue;
    }
    if (std::string(block.name) != "GpsEph") continue;
    FixedText<160> line;
    FormatSummary(line, Summarise(block));
    // A failed write ends the listing.
    if (!(out << line.View() << '\n')) return std::ferror(in) == 0;
  }
}

}  // namespace

int ListEphemerisFile(const std::string& path, std::ostream& out, std::ostream& err) {
  std::FILE* in = std::fopen(path.c_str(), "r");
  if (in == nullptr) {
    err << "Error: File " << path << " not found\n";
    return kInspectDamaged;
  }
  if (!ReadEphemerisFileMark(in)) {
    std::fclose(in);
    err << "Error: " << NotAnEphemerisFile(path) << '\n';
    return kInspectDamaged;
  }
  const bool read = ListBlocks(in, out);
  std::fclose(in);
  if (!read) {
    err << "Error: Unable to read " << path << '\n';
    return kInspectDamaged;
  }
  return kInspectDone;
}

}  // namespace morvelin::cli
