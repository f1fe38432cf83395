// Thin wrappers over C streams with 64-bit positions on both targets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace morvelin {

// The next line of a text stream without its line end ("\n" or "\r\n"); false
// at the end of the stream with nothing read.
inline bool ReadTextLine(std::FILE* in, std::string& line) {
  line.clear();
  int c;
  while ((c = std::fgetc(in)) != EOF) {
    if (c == '\n') return true;
    if (c != '\r') line += static_cast<char>(c);
  }
  return !line.empty();
}

inline int SeekRelative(std::FILE* stream, std::int64_t offset) {
#if defined(_WIN32)
  return _fseeki64(stream, offset, SEEK_CUR);
#else
  return fseeko(stream, static_cast<off_t>(offset), SEEK_CUR);
#endif
}

inline int SeekAbsolute(std::FILE* stream, std::int64_t offset) {
#if defined(_WIN32)
  return _fseeki64(stream, offset, SEEK_SET);
#else
  return fseeko(stream, static_cast<off_t>(offset), SEEK_SET);
#endif
}

inline int SeekEnd(std::FILE* stream) {
#if defined(_WIN32)
  return _fseeki64(stream, 0, SEEK_END);
#else
  return fseeko(stream, 0, SEEK_END);
#endif
}

inline std::int64_t Tell(std::FILE* stream) {
#if defined(_WIN32)
  return _ftelli64(stream);
#else
  return static_cast<std::int64_t>(ftello(stream));
#endif
}

// True when the two paths name one existing file (same device and inode on
// Linux, same volume and file index on Windows, so differently spelt or
// differently cased names of one file compare equal).
bool SameFile(const char* a, const char* b);

// True when path names an existing directory.
bool IsDirectory(const char* path);

// True when something (a file, a folder, a link) exists at path.
bool PathExists(const char* path);

// Opens path for writing from its start, emptied, as fopen "wb" (binary) or
// "w" does. On Linux a file that is empty already is not truncated again:
// truncating it would make the file system write the whole new file out when
// it is closed, which a conversion into a fresh folder would wait for.
std::FILE* OpenForWriting(const char* path, bool binary);

// Reserves disk space for length bytes from offset without changing the
// file's size, so that the writes that fill it find their blocks already
// allocated (Linux; elsewhere, and where the file system cannot, false).
bool ReserveSpace(std::FILE* stream, std::int64_t offset, std::int64_t length);
// Gives back the space reserved beyond the file's end.
void ReleaseReservedSpace(std::FILE* stream);

}  // namespace morvelin
