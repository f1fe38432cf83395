// Line, field, keyword-line and brace-block readers.
//
// The readers keep the limits of the files they were made for: lines of 254
// characters, blocks of 32 entries of 15 values. Everything is parsed in
// place and without the process locale.
#include <cstring>
#include <string_view>

#include "morvelin/util.h"
#include "util/text_scan.h"

namespace morvelin {

namespace {

constexpr std::size_t kLineLimit = 255;  // bytes of a line, NUL included
constexpr std::size_t kBlockLineSize = 256;
constexpr std::size_t kJoinedValuesSize = 512;
constexpr std::size_t kMaxKeywordValues = 50;
constexpr std::size_t kMaxHeaderLead = 16;  // characters before a header's '{'
constexpr std::size_t kMaxBlockWords = 16;
constexpr std::int32_t kMaxBlockEntries = 32;

constexpr bool IsFieldSeparator(char c) { return c == ' ' || c == ',' || c == '\t'; }

// The conversions of ReadLineFieldsInto besides %S.
enum class FieldKind { kInt, kFloat, kDouble, kString, kChar };

// The conversion whose letter is at f: the position of its last
// character, nullptr for an unknown one. "%l" before a '%' or the format's
// end reads as "%ld" and leaves that '%' to be read next.
const char* ReadFieldKind(const char* f, FieldKind& kind) {
  switch (*f) {
    case 'c':
      kind = FieldKind::kChar;
      return f;
    case 'd':
      kind = FieldKind::kInt;
      return f;
    case 'e':
    case 'f':
      kind = FieldKind::kFloat;
      return f;
    case 's':
      kind = FieldKind::kString;
      return f;
    case 'l':
      if (f[1] == 'd' || f[1] == 'e' || f[1] == 'f') {
        kind = f[1] == 'd' ? FieldKind::kInt : FieldKind::kDouble;
        return f + 1;
      }
      if (f[1] == '%' || f[1] == '\0') {
        kind = FieldKind::kInt;
        return f;
      }
      return nullptr;
    default:
      return nullptr;
  }
}

// The next field of the line from pos on, the separators before it
// skipped and the one after it consumed with it; empty when the line ends
// first.
std::string_view NextField(std::string_view line, std::size_t& pos) {
  while (pos < line.size() && IsFieldSeparator(line[pos])) ++pos;
  const std::size_t start = pos;
  while (pos < line.size() && !IsFieldSeparator(line[pos])) ++pos;
  const std::string_view field = line.substr(start, pos - start);
  if (pos < line.size()) ++pos;
  return field;
}

enum class FieldStored { kStored, kEndOfFields, kWrongDestination };

// Stores a field by its kind; an integer field that starts with '.' is
// not stored and ends the reading.
FieldStored StoreField(std::string_view field, FieldKind kind, const ScanTarget& target) {
  bool stored = false;
  switch (kind) {
    case FieldKind::kChar:
      stored = detail::StoreValue(target, field[0]);
      break;
    case FieldKind::kInt:
      if (field[0] == '.') return FieldStored::kEndOfFields;
      stored = detail::StoreValue(target, detail::LeadingInt(field));
      break;
    case FieldKind::kFloat:
      stored = detail::StoreValue(target, static_cast<float>(detail::LeadingReal(field)));
      break;
    case FieldKind::kDouble:
      stored = detail::StoreValue(target, detail::LeadingReal(field));
      break;
    case FieldKind::kString:
      stored = detail::StoreText(target, field);
      break;
  }
  return stored ? FieldStored::kStored : FieldStored::kWrongDestination;
}

// An fgets of at most limit - 1 characters that also tells whether the
// stream ended while the line was read.
bool ReadBlockLine(std::FILE* stream, char* line, int limit, bool& at_end) {
  const bool read = std::fgets(line, limit, stream) != nullptr;
  at_end = std::feof(stream) != 0;
  return read;
}

// A header line has a '{' with fewer than 16 characters before it, among
// them at least one blank or tab and at least one other character.
const char* FindHeaderBrace(const char* line) {
  std::size_t lead = 0;
  bool has_blank = false;
  bool has_other = false;
  for (const char* p = line;; ++p) {
    switch (*p) {
      case '\0':
      case '\n':
      case '\r':
        return nullptr;
      case '{':
        return lead < kMaxHeaderLead && has_blank && has_other ? p : nullptr;
      case ' ':
      case '\t':
        has_blank = true;
        break;
      default:
        has_other = true;
        break;
    }
    ++lead;
  }
}

bool SameKeyword(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (AsciiLower(*a) != AsciiLower(*b)) return false;
  }
  return *a == *b;
}

std::int32_t ScanEntry(TextBlockEntry& entry, const char* format,
                       std::span<const ScanTarget> destinations) {
  char joined[kJoinedValuesSize];
  std::size_t length = 0;
  const std::int16_t value_count = entry.value_count < 0 ? 0 : entry.value_count;
  for (std::int16_t v = 0; v < value_count && v < 15; ++v) {
    for (const char* c = entry.values[v]; *c != '\0'; ++c) {
      if (*c != '"' && length < sizeof joined - 1) joined[length++] = *c;
    }
    if (length < sizeof joined - 1) joined[length++] = ' ';
  }
  joined[length] = '\0';
  const std::int32_t conversions =
      detail::ScanFormatted(std::string_view(joined, length), format, destinations);
  entry.used = 1;
  return conversions;
}

}  // namespace

std::int32_t ReadTextLine(std::FILE* stream, char* line) {
  std::size_t count = 0;
  while (true) {
    const int c = std::fgetc(stream);
    if (c == EOF) {
      if (count == 0) return -1;
      // A last line of 255 characters would need its NUL at byte 255, one
      // past the buffer: it ends like a longer line instead.
      if (count >= kLineLimit) {
        line[kLineLimit - 1] = '\0';
        return static_cast<std::int32_t>(kLineLimit);
      }
      line[count] = '\0';
      return static_cast<std::int32_t>(count);
    }
    ++count;
    if (count > kLineLimit) break;  // the 256th character is consumed, not stored
    line[count - 1] = static_cast<char>(c);
    if (c == '\n') break;
  }
  // The last stored character (the line feed, or the 255th) gives way to the NUL.
  const std::size_t stored = count <= kLineLimit ? count : kLineLimit;
  line[stored - 1] = '\0';
  return static_cast<std::int32_t>(count - 1);
}

std::int32_t ReadLineFieldsInto(std::FILE* stream, const char* format,
                                std::span<const ScanTarget> destinations) {
  char buffer[kLineLimit + 1];
  if (ReadTextLine(stream, buffer) < 0) return -1;
  const std::string_view line(buffer, std::strlen(buffer));
  std::int32_t count = 0;
  std::size_t next_destination = 0;
  std::size_t pos = 0;
  for (const char* f = format; *f != '\0'; ++f) {
    if (*f != '%') continue;
    if (pos >= line.size()) return count;
    const ScanTarget* target =
        next_destination < destinations.size() ? &destinations[next_destination] : nullptr;
    ++next_destination;
    // %S takes the rest of the line.
    if (f[1] == 'S') return target != nullptr && detail::StoreText(*target, line.substr(pos)) ? count + 1 : -1;
    const std::string_view field = NextField(line, pos);
    if (field.empty()) return count;
    FieldKind kind;
    f = ReadFieldKind(f + 1, kind);
    if (f == nullptr || target == nullptr) return -1;
    const FieldStored stored = StoreField(field, kind, *target);
    if (stored == FieldStored::kEndOfFields) return count;
    if (stored == FieldStored::kWrongDestination) return -1;
    ++count;
  }
  return count;
}

char* ParseKeywordLine(char* text, std::span<char> keyword, std::span<char*> values,
                       std::int32_t& value_count) {
  const std::size_t max_values =
      values.size() < kMaxKeywordValues ? values.size() : kMaxKeywordValues;
  std::size_t keyword_length = 0;
  std::size_t stored = 0;
  bool after_equals = false;
  bool in_value = false;
  char* p = text;
  for (; *p != '\0' && *p != '\n' && *p != '\r' && *p != ';'; ++p) {
    if (!after_equals) {
      if (*p == '=') {
        after_equals = true;
      } else if (*p != ' ' && keyword_length + 1 < keyword.size()) {
        keyword[keyword_length++] = *p;
      }
      continue;
    }
    if (*p == ' ' || *p == ',') {
      *p = '\0';
      in_value = false;
    } else if (!in_value) {
      if (stored == max_values) break;
      values[stored++] = p;
      in_value = true;
    }
  }
  if (!keyword.empty()) {
    keyword[keyword_length] = '\0';
    UpperCase(keyword.data());
  }
  value_count = static_cast<std::int32_t>(stored);
  // The comment and the line end are blanked up to and including the line
  // feed; a text that ends without one stops at its NUL.
  while (*p != '\0' && *p != '\n') *p++ = '\0';
  if (*p == '\n') *p++ = '\0';
  return p;
}

std::int32_t ReadBlock(std::FILE* stream, TextBlock& block) {
  char line[kBlockLineSize];
  bool at_end = false;
  const char* brace = nullptr;
  while (ReadBlockLine(stream, line, static_cast<int>(kLineLimit), at_end)) {
    brace = FindHeaderBrace(line);
    if (brace != nullptr) break;
  }
  if (at_end) return -1;
  if (brace == nullptr) return 1;  // a read error short of the end

  std::string_view name;
  if (SplitWords(line, &name, 1) == 0) return 1;
  detail::CopyCut(name, block.name);
  block.entry_count = 0;

  // The header's own text after the '{' is the block's first line.
  const std::size_t first_line_start = static_cast<std::size_t>(brace + 1 - line);
  std::memmove(line, line + first_line_start, std::strlen(line + first_line_start) + 1);
  while (true) {
    bool inside_quotes = false;
    bool block_ends = false;
    for (char* p = line; *p != '\0'; ++p) {
      if (*p == '}') {
        block_ends = true;
        break;
      }
      if (*p == ';') {
        *p = '\0';
        break;
      }
      if (*p == '"') {
        inside_quotes = !inside_quotes;
      } else if (*p == ' ' && inside_quotes) {
        *p = '`';
      }
    }
    if (block_ends) return 0;

    std::string_view words[kMaxBlockWords];
    const std::size_t word_count = SplitWords(line, words, kMaxBlockWords);
    if (word_count > 0) {
      // An entry whose line the stream ended in is not taken.
      if (at_end) return 0;
      TextBlockEntry& entry = block.entries[block.entry_count];
      detail::CopyCut(words[0], entry.keyword);
      for (std::size_t w = 1; w < word_count; ++w) detail::CopyCut(words[w], entry.values[w - 1]);
      entry.value_count = static_cast<std::int16_t>(word_count - 1);
      entry.used = 0;
      ++block.entry_count;
      if (block.entry_count == kMaxBlockEntries) return 0;
    }
    if (!ReadBlockLine(stream, line, static_cast<int>(kLineLimit), at_end)) return 0;
  }
}

std::int32_t ScanNextKeywordInto(const char* keyword, TextBlock& block, const char* format,
                                 std::span<const ScanTarget> destinations) {
  const std::int32_t entries = block.entry_count < kMaxBlockEntries ? block.entry_count : kMaxBlockEntries;
  for (std::int32_t i = 0; i < entries; ++i) {
    TextBlockEntry& entry = block.entries[i];
    if (entry.used == 0 && SameKeyword(entry.keyword, keyword)) {
      return ScanEntry(entry, format, destinations);
    }
  }
  return -1;
}

std::int32_t ScanKeywordInto(const char* keyword, TextBlock& block, const char* format,
                             std::span<const ScanTarget> destinations) {
  const std::int32_t entries = block.entry_count < kMaxBlockEntries ? block.entry_count : kMaxBlockEntries;
  for (std::int32_t i = 0; i < entries; ++i) {
    TextBlockEntry& entry = block.entries[i];
    if (SameKeyword(entry.keyword, keyword)) return ScanEntry(entry, format, destinations);
  }
  return -1;
}

void ReplaceBackquotes(char* text, char c) {
  for (; *text != '\0'; ++text) {
    if (*text == '`') *text = c;
  }
}

void RestoreQuotedBlanks(char* text) { ReplaceBackquotes(text, ' '); }

}  // namespace morvelin
