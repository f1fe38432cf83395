#include "rinex/observation_header.h"

#include <string_view>

#include "base/text_builder.h"

namespace morvelin::rinex {

namespace {

// A line that a value known only at the end replaces, byte for byte: an
// honest comment while it stands.
constexpr std::string_view kIntervalPlaceholder = "interval: not known (fewer than two epochs)";
constexpr std::string_view kLastObsPlaceholder = "time of last observation: not known";

void Record(OutputFile& file, std::string_view content, std::string_view label) {
  FixedText<256> line;
  HeaderRecord(line, content, label);
  file.Write(line.View());
}

void Field(TextBuilder& out, std::string_view text, std::size_t width) {
  text = text.substr(0, width);
  out.Str(text);
  for (std::size_t i = text.size(); i < width; ++i) out.Char(' ');
}

// RINEX VERSION / TYPE, PGM / RUN BY / DATE and the comments.
void WriteOpening(OutputFile& file, const ObservationHeader& header) {
  Record(file,
         header.version == RinexVersion::k304 ? "     3.04           OBSERVATION DATA    G"
                                               : "     2.11           OBSERVATION DATA    G (GPS)",
         "RINEX VERSION / TYPE");
  FixedText<128> content;
  Field(content, header.program.program, 20), Field(content, header.program.run_by, 20);
  Field(content, header.program.date, 20);
  Record(file, content.View(), "PGM / RUN BY / DATE");
  for (const std::string& comment : header.comments) Record(file, comment, "COMMENT");
}

// MARKER NAME, MARKER NUMBER, MARKER TYPE and OBSERVER / AGENCY.
void WriteMarker(OutputFile& file, const ObservationHeader& header) {
  Record(file, header.marker_name, "MARKER NAME");
  if (!header.marker_number.empty()) Record(file, header.marker_number, "MARKER NUMBER");
  if (header.version == RinexVersion::k304) Record(file, header.marker_type, "MARKER TYPE");
  FixedText<128> content;
  Field(content, header.observer, 20), Field(content, header.agency, 40);
  Record(file, content.View(), "OBSERVER / AGENCY");
}

// The receiver, the antenna, the position and the antenna's height.
void WriteEquipment(OutputFile& file, const ObservationHeader& header) {
  FixedText<128> content;
  Field(content, header.receiver_number, 20), Field(content, header.receiver_type, 20);
  Field(content, header.receiver_version, 20);
  Record(file, content.View(), "REC # / TYPE / VERS");
  content.Clear();
  Field(content, header.antenna_number, 20), Field(content, header.antenna_type, 20);
  Record(file, content.View(), "ANT # / TYPE");
  content.Clear();
  content.Fixed(header.position.x, 4, 14).Fixed(header.position.y, 4, 14).Fixed(header.position.z, 4, 14);
  Record(file, content.View(), "APPROX POSITION XYZ");
  FixedText<256> line;
  AntennaDeltaRecord(line, header.antenna_height, header.antenna_east, header.antenna_north);
  file.Write(line.View());
}

// The wavelength factors (2.11), the observation types and their phase
// shifts (3.04).
void WriteObservationTypes(OutputFile& file, const ObservationHeader& header) {
  const bool v3 = header.version == RinexVersion::k304;
  if (!v3) Record(file, header.l2 ? "     1     1" : "     1     0", "WAVELENGTH FACT L1/2");
  FixedText<256> lines;
  ObservationTypesRecords(lines, header.version, header.layout);
  file.Write(lines.View());
  if (!v3) return;
  for (int i = 0; i < header.layout.count; ++i) {
    const char* code = header.layout.codes[static_cast<std::size_t>(i)];
    if (code[0] != 'L') continue;
    FixedText<128> content;
    content.Str("G ").Str(code).Str("  0.00000");
    Record(file, content.View(), "SYS / PHASE SHIFT");
  }
}

// The times, the last two records, and where the lines to patch begin.
HeaderPositions WriteTimes(OutputFile& file, const ObservationHeader& header) {
  HeaderPositions positions;
  positions.interval = file.Position();
  Record(file, kIntervalPlaceholder, "COMMENT");
  FixedText<256> line;
  TimeOfObservationRecord(line, header.first_time, "TIME OF FIRST OBS");
  file.Write(line.View());
  positions.last_obs = file.Position();
  Record(file, kLastObsPlaceholder, "COMMENT");
  Record(file, "     0", "RCV CLOCK OFFS APPL");
  Record(file, "", "END OF HEADER");
  return positions;
}

}  // namespace

HeaderPositions WriteObservationHeader(OutputFile& file, const ObservationHeader& header) {
  WriteOpening(file, header);
  WriteMarker(file, header);
  WriteEquipment(file, header);
  WriteObservationTypes(file, header);
  return WriteTimes(file, header);
}

}  // namespace morvelin::rinex
