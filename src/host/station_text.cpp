// WriteStationLineFromText: a station line from one line of text, for a host
// that keeps its station entries as text. It reads the options word and the
// last epoch time the host interface keeps, and counts its lines with the
// current (or latest) run's.
#include <cstdio>
#include <string_view>

#include "base/text.h"
#include "base/text_builder.h"
#include "formats/station_file.h"
#include "host/library_state.h"
#include "morvelin/station.h"

namespace morvelin {

namespace {

constexpr std::size_t kPointNameWidth = 8;

std::string_view Prefix(std::string_view text, std::size_t count) { return text.substr(0, count); }

}  // namespace

std::int32_t WriteStationLineFromText(const char* line_text, std::int32_t* mode, std::FILE* station_file) {
  constexpr std::size_t kWordsRead = 3;
  constexpr std::size_t kFirstWordLimit = 99;
  constexpr std::size_t kNameOffset = 9;
  constexpr std::size_t kModeOffset = 17;
  constexpr std::size_t kModeLimit = 16;
  constexpr std::size_t kOptionNameSkip = 5;  // characters between the height and the name in word 1
  constexpr std::size_t kOptionNameLimit = 4;

  if (line_text == nullptr || station_file == nullptr) return -1;
  const std::string_view line(line_text);
  std::string_view words[kWordsRead];
  if (SplitWords(line, words, kWordsRead) < 2) return -1;

  // A first word longer than its limit is cut, not split into two words.
  std::string_view first = Prefix(words[0], kFirstWordLimit);
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
  LibraryState& library = Library();
  if (library.converting)
    ++library.text_station_lines;
  else
    ++library.counts.station_lines;
  return 0;
}

}  // namespace morvelin
