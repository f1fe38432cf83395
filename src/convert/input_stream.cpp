#include "convert/input_stream.h"

#include <cstring>

#include "util/file_io.h"

namespace morvelin {

bool InputStream::Open(const char* path) {
  Close();
  if (IsDirectory(path)) return false;
  file_ = std::fopen(path, "rb");
  if (file_ == nullptr) return false;
  // The stream is read in blocks into buffer_; a second buffer below it
  // would only copy the bytes twice.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  return true;
}

void InputStream::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  next_ = end_ = 0;
  buffer_start_ = 0;
  read_failed_ = false;
}

std::int64_t InputStream::Length() {
  if (file_ == nullptr) return -1;
  std::int64_t here = Tell(file_);
  if (here < 0 || SeekEnd(file_) != 0) return -1;
  std::int64_t length = Tell(file_);
  if (SeekAbsolute(file_, here) != 0) read_failed_ = true;
  return length;
}

bool InputStream::Refill() {
  if (file_ == nullptr || read_failed_) return false;
  buffer_start_ += static_cast<std::int64_t>(end_);
  next_ = end_ = 0;
  std::size_t got = std::fread(buffer_, 1, kBufferSize, file_);
  if (got == 0) {
    if (std::ferror(file_) != 0) read_failed_ = true;
    return false;
  }
  end_ = got;
  return true;
}

std::size_t InputStream::Read(std::uint8_t* out, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    if (next_ == end_ && !Refill()) break;
    std::size_t chunk = end_ - next_;
    if (chunk > count - done) chunk = count - done;
    std::memcpy(out + done, buffer_ + next_, chunk);
    next_ += chunk;
    done += chunk;
  }
  return done;
}

bool InputStream::Skip(std::int64_t count) {
  if (count <= 0) return true;
  auto buffered = static_cast<std::int64_t>(end_ - next_);
  if (count <= buffered) {
    next_ += static_cast<std::size_t>(count);
    return true;
  }
  if (file_ == nullptr) return false;
  std::int64_t target = Position() + count;
  if (SeekAbsolute(file_, target) != 0) {
    read_failed_ = true;
    return false;
  }
  buffer_start_ = target;
  next_ = end_ = 0;
  return true;
}

}  // namespace morvelin
