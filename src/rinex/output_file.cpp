#include "rinex/output_file.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "base/file_io.h"

namespace morvelin::rinex {

OutputFile::~OutputFile() {
  if (stream_ != nullptr) std::fclose(stream_);
}

void OutputFile::Fail(const char* what) {
  if (!failure_.empty()) return;
  const int error = errno;
  failure_ = "Error: Unable to ";
  failure_ += what;
  failure_ += ' ';
  failure_ += shown_;
  if (error != 0) {
    reason_ = std::strerror(error);
    failure_ += " (";
    failure_ += reason_;
    failure_ += ')';
  }
}

bool OutputFile::Open(const std::string& path, const std::string& shown) {
  path_ = path;
  shown_ = shown.empty() ? path : shown;
  buffer_.reset(new (std::nothrow) char[kBufferSize]);
  if (!buffer_) {
    failure_ = "Error: Not enough memory for " + shown_;
    return false;
  }
  errno = 0;
  stream_ = std::fopen(path.c_str(), "w");
  if (stream_ == nullptr) {
    Fail("create");
    return false;
  }
  // Our own buffer does the batching: the stream passes blocks straight on.
  std::setvbuf(stream_, nullptr, _IONBF, 0);
  return true;
}

bool OutputFile::Flush() {
  if (stream_ == nullptr || !failure_.empty()) {
    used_ = 0;
    return false;
  }
  errno = 0;
  const std::size_t written = used_ == 0 ? 0 : std::fwrite(buffer_.get(), 1, used_, stream_);
  const bool ok = written == used_;
  used_ = 0;
  if (!ok) Fail("write to");
  return ok;
}

void OutputFile::WriteSlow(std::string_view text) {
  while (!text.empty()) {
    if (used_ == kBufferSize && !Flush()) return;
    const std::size_t room = kBufferSize - used_;
    const std::size_t part = text.size() < room ? text.size() : room;
    text.copy(buffer_.get() + used_, part);
    used_ += part;
    text.remove_prefix(part);
  }
}

std::int64_t OutputFile::Position() {
  if (!Flush() && !failure_.empty()) return -1;
  const std::int64_t position = Tell(stream_);
  if (position < 0) Fail("find the position in");
  return position;
}

bool OutputFile::Patch(std::int64_t position, std::string_view text) {
  if (!Flush() && !failure_.empty()) return false;
  errno = 0;
  const std::int64_t end = Tell(stream_);
  if (end < 0 || SeekAbsolute(stream_, position) != 0) {
    Fail("seek in");
    return false;
  }
  if (std::fwrite(text.data(), 1, text.size(), stream_) != text.size()) {
    Fail("write to");
    return false;
  }
  if (SeekAbsolute(stream_, end) != 0) {
    Fail("seek in");
    return false;
  }
  return true;
}

bool OutputFile::Close() {
  if (stream_ == nullptr) return failure_.empty();
  Flush();
  errno = 0;
  const bool closed = std::fclose(stream_) == 0;
  stream_ = nullptr;
  buffer_.reset();
  if (!closed) Fail("write to");
  return failure_.empty();
}

void OutputFile::Discard() {
  if (stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  buffer_.reset();
  used_ = 0;
  if (!path_.empty()) std::remove(path_.c_str());
}

}  // namespace morvelin::rinex
