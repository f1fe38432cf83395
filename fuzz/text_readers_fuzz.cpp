// Any bytes as a text file for the utility library's readers: the brace
// block reader with the keyword scanners (as the ephemeris file is read
// back), the line and field readers, the keyword line parser, and station
// lines from text. Every output lands in room of exactly the documented
// size, so a write past it is caught.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "morvelin/station.h"
#include "morvelin/util.h"

using namespace morvelin;

namespace {

std::FILE* InMemory(const std::uint8_t* data, std::size_t size) {
  // fmemopen refuses an empty buffer: a byte of room, no content.
  static char empty[1] = {0};
  if (size == 0) return fmemopen(empty, 1, "r");
  return fmemopen(const_cast<std::uint8_t*>(data), size, "r");
}

void Blocks(const std::uint8_t* data, std::size_t size) {
  std::FILE* in = InMemory(data, size);
  if (in == nullptr) return;
  auto block = std::make_unique<TextBlock>();
  for (int i = 0; i < 1000; ++i) {
    const std::int32_t result = ReadBlock(in, *block);
    MORVELIN_FUZZ_CHECK(result >= -1 && result <= 1);
    if (result == -1) break;
    if (result != 0) continue;
    MORVELIN_FUZZ_CHECK(block->entry_count >= 0 && block->entry_count <= 32);
    MORVELIN_FUZZ_CHECK(std::memchr(block->name, '\0', sizeof block->name) != nullptr);
    // What the ephemeris listing reads, then every kind of conversion.
    std::int32_t prn = 0, iode = 0, toe = 0, whole = 0;
    std::uint32_t unsigned_value = 0;
    float single = 0.0f, cuc = 0.0f, cus = 0.0f;
    double eccentricity = 0.0, sqrt_a = 0.0, real = 0.0;
    char c = 0;
    char word[8], set[5];
    ScanKeyword("Prn:", *block, "%d", prn);
    ScanKeyword("El3:", *block, "%ld", iode);
    ScanKeyword("El5:", *block, "%ld", toe);
    ScanKeyword("El4:", *block, "%e %le %e %le", cuc, eccentricity, cus, sqrt_a);
    for (const TextBlockEntry& entry : std::span(block->entries, static_cast<std::size_t>(block->entry_count))) {
      char keyword[sizeof entry.keyword + 1];
      std::memcpy(keyword, entry.keyword, sizeof entry.keyword);
      keyword[sizeof entry.keyword] = '\0';
      ScanNextKeyword(keyword, *block, "%i %u %x %o %c", whole, unsigned_value, unsigned_value, unsigned_value, c);
      ScanNextKeyword(keyword, *block, "%3s %*d %[a-z0-9] %g %lg", word, set, single, real);
      ScanNextKeyword(keyword, *block, " %% %[^,] , %7s x%d", set, word, whole);
    }
    ReplaceBackquotes(block->name, '_');
    RestoreQuotedBlanks(block->name);
  }
  std::fclose(in);
}

void Lines(const std::uint8_t* data, std::size_t size) {
  std::FILE* in = InMemory(data, size);
  if (in == nullptr) return;
  auto line = std::make_unique<char[]>(255);
  for (int i = 0; i < 100000; ++i) {
    const std::int32_t length = ReadTextLine(in, line.get());
    MORVELIN_FUZZ_CHECK(length >= -1 && length <= 255);
    if (length < 0) break;
  }
  std::rewind(in);
  for (int i = 0; i < 100000; ++i) {
    char name[9], mode[5], c = 0;
    char rest[40];
    double height = 0.0;
    float single = 0.0f;
    std::int32_t whole = 0;
    const std::int32_t fields = ReadLineFields(in, "%s %lf %d %c %e %s %S", name, height, whole, c, single, mode, rest);
    MORVELIN_FUZZ_CHECK(fields >= -1 && fields <= 7);
    if (fields < 0) break;
  }
  std::fclose(in);
}

void KeywordLines(const std::uint8_t* data, std::size_t size) {
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  char* at = text.data();
  char* const end = text.data() + size;
  for (int i = 0; i < 100000 && at < end; ++i) {
    char keyword[12];
    char* values[6];
    std::int32_t count = -1;
    char* next = ParseKeywordLine(at, keyword, values, count);
    MORVELIN_FUZZ_CHECK(next >= at && next <= end);
    // A NUL in the bytes ends the text there: the parser answers its
    // address, and the next line starts after it.
    if (next == at || *next == '\0') ++next;
    MORVELIN_FUZZ_CHECK(count >= 0 && count <= 6);
    for (std::int32_t v = 0; v < count; ++v) MORVELIN_FUZZ_CHECK(values[v] >= text.data() && values[v] <= end);
    at = next;
  }
}

std::FILE* StationSink() {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  return sink;
}

void StationLines(const std::uint8_t* data, std::size_t size) {
  std::FILE* sink = StationSink();
  if (sink == nullptr) return;
  std::size_t start = 0;
  while (start <= size) {
    std::size_t stop = start;
    while (stop < size && data[stop] != '\n') ++stop;
    std::string line(reinterpret_cast<const char*>(data) + start, stop - start);
    std::int32_t mode = 7;
    const std::int32_t result = WriteStationLineFromText(line.c_str(), &mode, sink);
    MORVELIN_FUZZ_CHECK(result == 0 || result == -1);
    MORVELIN_FUZZ_CHECK(mode == 7 || mode == 0 || mode == 2);
    start = stop + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  StationSink();  // opened once, before the count
  const int descriptors = morvelin::fuzz::OpenDescriptors();
  Blocks(data, size);
  Lines(data, size);
  KeywordLines(data, size);
  StationLines(data, size);
  MORVELIN_FUZZ_CHECK(morvelin::fuzz::OpenDescriptors() == descriptors);
  return 0;
}
