#include "formats/station_file.h"

#include <algorithm>
#include <cmath>

#include "host/library_state.h"
#include "morvelin/station.h"
#include "util/text_scan.h"

namespace morvelin {

namespace {

constexpr std::string_view kEnteredAtStart = "Entered at start";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (Lower(text[i]) != Lower(word[i])) return false;
  return true;
}

std::string_view Prefix(std::string_view text, std::size_t count) { return text.substr(0, count); }

void WriteLine(Run& run, double time, std::string_view name, double height, std::string_view description) {
  FixedText<kStationLineCapacity> line;
  FormatStationLine(line, time, name, height, description);
  run.sta.Write(line.View());
  ++run.counts.station_lines;
}

// The words of a line as "%s%s%s" finds them: runs of characters other
// than white space. Only the first word's text matters; the others are
// only counted.
struct Words {
  std::string_view first;
  int count = 0;
};

Words SplitWords(std::string_view line, int wanted) {
  Words words;
  std::size_t at = 0;
  while (words.count < wanted) {
    while (at < line.size() && detail::IsSpace(line[at])) ++at;
    if (at == line.size()) break;
    std::size_t start = at;
    while (at < line.size() && !detail::IsSpace(line[at])) ++at;
    if (words.count == 0) words.first = line.substr(start, at - start);
    ++words.count;
  }
  return words;
}

}  // namespace

std::string_view TextUntilNul(std::span<const std::uint8_t> bytes) {
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return text.substr(0, text.find('\0'));
}

bool ParseLeadingNumber(std::string_view text, double* value) {
  std::size_t at = 0;
  while (at < text.size() && detail::IsSpace(text[at])) ++at;
  double parsed = 0.0;
  if (detail::ParseReal(text.substr(at), parsed) == 0 || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

void FormatStationLine(TextBuilder& line, double time, std::string_view name, double height,
                       std::string_view description) {
  line.Str("STA:  *  ").Fixed(time, 1).Str("  * ").Str(name).Str("  *  ").Fixed(height, 3);
  line.Str("  *  ").Str(description).Str("  * \n");
}

void WriteStationLine(Run& run, StationField point_name, StationField height_text, StationField description,
                      std::int32_t count, double time) {
  StationState& station = run.state.station;
  if (height_text) {
    double height = 0.0;
    if (!ParseLeadingNumber(Prefix(TextUntilNul(*height_text), kHeightTextWidth), &height)) height = 0.0;
    station.current_antenna_height = height;
    station.antenna_height_time = time;
  }
  if (!point_name) return;

  std::string_view name = Prefix(TextUntilNul(*point_name), kPointNameWidth);
  std::string_view text;
  if (description) {
    if (count < 0) count = 0;
    if (count > kDescriptionLimit) count = kDescriptionLimit;
    text = TextUntilNul(description->first(std::min(static_cast<std::size_t>(count), description->size())));
  }
  WriteLine(run, time, name, station.current_antenna_height, text);
}

void WriteEndOfRunStationLines(Run& run) {
  const StationState& station = run.state.station;
  std::string_view name = TextUntilNul(std::span(reinterpret_cast<const std::uint8_t*>(station.station_name),
                                                 sizeof station.station_name));
  if (station.current_antenna_height != 0.0)
    WriteLine(run, station.antenna_height_time, name, station.current_antenna_height, kEnteredAtStart);
  if (station.logged_antenna_height != 0.0)
    WriteLine(run, 0.0, name, station.logged_antenna_height, kEnteredAtStart);
}

std::int32_t WriteStationLineFromText(const char* line_text, std::int32_t* mode, std::FILE* station_file) {
  constexpr int kWordsRead = 3;
  constexpr std::size_t kFirstWordLimit = 99;
  constexpr std::size_t kNameOffset = 9;
  constexpr std::size_t kModeOffset = 17;
  constexpr std::size_t kModeLimit = 16;
  constexpr std::size_t kOptionNameSkip = 5;  // characters between the height and the name in word 1
  constexpr std::size_t kOptionNameLimit = 4;

  if (line_text == nullptr || station_file == nullptr) return -1;
  const std::string_view line(line_text);
  Words words = SplitWords(line, kWordsRead);
  if (words.count < 2) return -1;

  // A first word longer than its limit is cut, not split into two words.
  std::string_view first = Prefix(words.first, kFirstWordLimit);
  // Characters are taken as unsigned bytes: a byte of 0x80 or more is
  // "above '9'" and ends the height.
  std::size_t k = 0;
  while (k < first.size() && static_cast<unsigned char>(first[k]) <= static_cast<unsigned char>('9')) ++k;
  double parsed = 0.0;
  if (!ParseLeadingNumber(first.substr(0, k), &parsed)) parsed = 0.0;
  // Stored in single precision; digits beyond its range round to infinity.
  const auto height = static_cast<float>(parsed);

  // A line that ends before a field's offset leaves that field empty.
  std::string_view name = line.size() > kNameOffset ? Prefix(line.substr(kNameOffset), kPointNameWidth) : "";
  std::string_view mode_text = line.size() > kModeOffset ? Prefix(line.substr(kModeOffset), kModeLimit) : "";

  if (mode != nullptr) {
    if (EqualsIgnoringCase(mode_text, "KIN"))
      *mode = 2;
    else if (EqualsIgnoringCase(mode_text, "STAT"))
      *mode = 0;
  }

  if (Library().station_text_option != 0) {
    name = first.size() > k + kOptionNameSkip ? Prefix(first.substr(k + kOptionNameSkip), kOptionNameLimit) : "";
    if (name.empty() && height == 0.0f) return 0;
  }

  FixedText<kStationLineCapacity> text;
  FormatStationLine(text, Library().last_epoch_time, name, static_cast<double>(height), mode_text);
  // Write errors go unnoticed here, as for every station line.
  std::fwrite(text.CStr(), 1, text.Size(), station_file);
  ++CurrentRun().counts.station_lines;
  return 0;
}

}  // namespace morvelin
