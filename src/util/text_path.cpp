// Upper-casing, blank handling, paths, the PATH search, big-endian reads and
// the pause.
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "morvelin/util.h"
#include "util/text_scan.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <chrono>
#include <thread>
#endif

namespace morvelin {

namespace {

// Keywords are matched on their first 40 characters; what follows is left
// exactly as written.
constexpr std::size_t kUpperCaseLimit = 40;
constexpr std::size_t kStarCopySize = 256;
constexpr std::size_t kPathCandidateSize = 96;

#if defined(_WIN32)
constexpr char kPathListSeparator = ';';
constexpr char kDirectorySeparator = '\\';
constexpr bool IsDirectorySeparator(char c) { return c == '\\'; }
#else
// A backslash path written on Windows must still split where it did there.
constexpr char kPathListSeparator = ':';
constexpr char kDirectorySeparator = '/';
constexpr bool IsDirectorySeparator(char c) { return c == '/' || c == '\\'; }
#endif

std::size_t LengthWithin(std::span<const char> text) {
  std::size_t length = 0;
  while (length < text.size() && text[length] != '\0') ++length;
  return length;
}

const char* SkipBlanks(const char* text) {
  while (*text == ' ') ++text;
  return text;
}

std::uint8_t ByteAt(const void* bytes, std::size_t index) {
  return static_cast<const std::uint8_t*>(bytes)[index];
}

}  // namespace

void UpperCase(char* text) {
  for (std::size_t i = 0; i < kUpperCaseLimit && text[i] != '\0'; ++i) {
    if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 'a' + 'A');
  }
}

void AddDefaultExtension(std::span<char> path, const char* extension) {
  std::size_t length = LengthWithin(path);
  if (length == path.size()) return;  // not terminated inside its buffer
  std::size_t blanks = 0;
  while (blanks < length && path[blanks] == ' ') ++blanks;
  if (blanks > 0) {
    std::memmove(path.data(), path.data() + blanks, length - blanks + 1);
    length -= blanks;
  }
  std::string_view text(path.data(), length);
  std::size_t last_dot = text.rfind('.');
  std::size_t last_separator = std::string_view::npos;
  for (std::size_t i = length; i > 0; --i) {
    if (IsDirectorySeparator(text[i - 1])) {
      last_separator = i - 1;
      break;
    }
  }
  if (last_dot != std::string_view::npos &&
      (last_separator == std::string_view::npos || last_dot > last_separator)) {
    return;
  }
  const std::size_t extension_length = std::strlen(extension);
  // Half an extension would pass for a whole one; leave the path without.
  if (length + extension_length + 1 > path.size()) return;
  std::memcpy(path.data() + length, extension, extension_length + 1);
}

void SplitPath(const char* path, std::span<char> directory, std::span<char> name) {
  std::string_view text(SkipBlanks(path));
  std::size_t split = 0;
  for (std::size_t i = text.size(); i > 0; --i) {
    if (IsDirectorySeparator(text[i - 1])) {
      split = i;
      break;
    }
  }
  detail::CopyCut(text.substr(0, split), directory);
  detail::CopyCut(text.substr(split), name);
}

std::FILE* FindInPath(const char* name) {
  const char* variable = std::getenv("PATH");
  if (variable == nullptr) return nullptr;
  std::string_view rest(variable);
  const std::size_t name_length = std::strlen(name);
  while (true) {
    const std::size_t end = rest.find(kPathListSeparator);
    const bool last = end == std::string_view::npos;
    const std::string_view entry = last ? rest : rest.substr(0, end);
    // The text after the last separator counts only when it is not empty.
    if (!last || !entry.empty()) {
      char candidate[kPathCandidateSize];
      // A candidate that does not fit is not tried: cut, it would name
      // another file.
      if (entry.size() + 1 + name_length < sizeof candidate) {
        std::memcpy(candidate, entry.data(), entry.size());
        candidate[entry.size()] = kDirectorySeparator;
        std::memcpy(candidate + entry.size() + 1, name, name_length + 1);
        if (std::FILE* stream = std::fopen(candidate, "r")) return stream;
      }
    }
    if (last) return nullptr;
    rest.remove_prefix(end + 1);
  }
}

const char* BlanksToStars(const char* text) {
  static char star_copy[kStarCopySize];
  std::size_t i = 0;
  for (; i < kStarCopySize - 1 && text[i] != '\0'; ++i) {
    star_copy[i] = text[i] == ' ' ? '*' : text[i];
  }
  star_copy[i] = '\0';
  return star_copy;
}

void StarsToBlanks(char* text) {
  for (; *text != '\0'; ++text) {
    if (*text == '*') *text = ' ';
  }
}

void ReverseBytes(void* buffer, std::int32_t count) {
  if (count <= 0) return;
  auto* bytes = static_cast<std::uint8_t*>(buffer);
  std::reverse(bytes, bytes + count);
}

double BigEndianDouble(const void* bytes) {
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < 8; ++i) bits = (bits << 8) | ByteAt(bytes, i);
  return std::bit_cast<double>(bits);
}

std::uint32_t BigEndian32(const void* bytes) {
  return (std::uint32_t{ByteAt(bytes, 0)} << 24) | (std::uint32_t{ByteAt(bytes, 1)} << 16) |
         (std::uint32_t{ByteAt(bytes, 2)} << 8) | std::uint32_t{ByteAt(bytes, 3)};
}

std::int32_t BigEndianInt32(const void* bytes) { return static_cast<std::int32_t>(BigEndian32(bytes)); }

float BigEndianFloat(const void* bytes) { return std::bit_cast<float>(BigEndian32(bytes)); }

std::uint16_t BigEndian16(const void* bytes) {
  return static_cast<std::uint16_t>((ByteAt(bytes, 0) << 8) | ByteAt(bytes, 1));
}

void PauseMs(std::uint32_t ms) {
#if defined(_WIN32)
  Sleep(ms);
#else
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
#endif
}

}  // namespace morvelin
