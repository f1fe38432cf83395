#include "formats/text_file.h"

#include <cstring>

#include "base/file_io.h"

namespace morvelin {

namespace {
constexpr std::size_t kStreamBuffer = 64 * 1024;
}  // namespace

bool TextFile::Open(const char* path) {
  Close();
  failed_ = false;
  std::size_t length = std::strlen(path);
  if (length >= sizeof path_) length = sizeof path_ - 1;
  std::memcpy(path_, path, length);
  path_[length] = '\0';
  stream_ = OpenForWriting(path, false);
  // A larger buffer than the default: fewer, larger writes (nothing a host sees).
  if (stream_ != nullptr) std::setvbuf(stream_, nullptr, _IOFBF, kStreamBuffer);
  return stream_ != nullptr;
}

bool TextFile::Flush() {
  if (stream_ != nullptr && (std::fflush(stream_) != 0 || std::ferror(stream_) != 0)) failed_ = true;
  return !failed_;
}

bool TextFile::Close() {
  if (stream_ != nullptr) {
    if (std::ferror(stream_) != 0) failed_ = true;
    if (std::fclose(stream_) != 0) failed_ = true;
    stream_ = nullptr;
  }
  return !failed_;
}

}  // namespace morvelin
