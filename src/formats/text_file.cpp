#include "formats/text_file.h"

#include <cstring>

#include "base/file_io.h"

namespace morvelin {

namespace {
constexpr std::size_t kStreamBuffer = 64 * 1024;
}  // namespace

bool TextFile::Open(const char* path, const char* shown) {
  Close();
  failed_ = false;
  error_ = 0;
  if (shown == nullptr) shown = path;
  std::size_t length = std::strlen(shown);
  if (length >= sizeof path_) length = sizeof path_ - 1;
  std::memcpy(path_, shown, length);
  path_[length] = '\0';
  stream_ = OpenForWriting(path, false);
  // A larger buffer than the default: fewer, larger writes (nothing a host sees).
  if (stream_ != nullptr) std::setvbuf(stream_, nullptr, _IOFBF, kStreamBuffer);
  return stream_ != nullptr;
}

bool TextFile::Flush() {
  errno = 0;
  if (stream_ != nullptr && (std::fflush(stream_) != 0 || std::ferror(stream_) != 0)) MarkFailed(errno);
  return !failed_;
}

bool TextFile::Close() {
  if (stream_ != nullptr) {
    errno = 0;
    if (std::ferror(stream_) != 0) MarkFailed(errno);
    if (std::fclose(stream_) != 0) MarkFailed(errno);
    stream_ = nullptr;
  }
  return !failed_;
}

}  // namespace morvelin
