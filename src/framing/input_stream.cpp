#include "framing/input_stream.h"

#include <algorithm>
#include <new>
#include <cstring>

#include "base/file_io.h"

namespace morvelin {

bool InputStream::AllocateBuffer() {
  if (!buffer_) buffer_.reset(new (std::nothrow) std::uint8_t[kBufferSize]);
  return buffer_ != nullptr;
}

bool InputStream::Open(const char* path) {
  Close();
  if (IsDirectory(path) || !AllocateBuffer()) return false;
  file_ = std::fopen(path, "rb");
  if (file_ == nullptr) return false;
  // The stream is read in blocks into buffer_; a second buffer below it
  // would only copy the bytes twice.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  owned_ = true;
  return true;
}

void InputStream::Attach(std::FILE* stream) {
  Close();
  if (!AllocateBuffer()) {
    read_failed_ = true;
    return;
  }
  file_ = stream;
  owned_ = false;
}

void InputStream::AttachMemory(std::span<const std::uint8_t> bytes) {
  Close();
  memory_ = bytes;
  in_memory_ = true;
  data_ = memory_.data();
  end_ = memory_.size();
}

void InputStream::Close() {
  if (file_ != nullptr && owned_) std::fclose(file_);
  file_ = nullptr;
  owned_ = false;
  in_memory_ = false;
  memory_ = {};
  data_ = nullptr;
  next_ = end_ = 0;
  buffer_start_ = 0;
  read_failed_ = false;
}

std::int64_t InputStream::Length() {
  if (in_memory_) return static_cast<std::int64_t>(memory_.size());
  if (file_ == nullptr) return -1;
  std::int64_t here = Tell(file_);
  if (here < 0 || SeekEnd(file_) != 0) return -1;
  std::int64_t length = Tell(file_);
  if (SeekAbsolute(file_, here) != 0) read_failed_ = true;
  return length;
}

bool InputStream::Refill() {
  buffer_start_ += static_cast<std::int64_t>(end_);
  next_ = end_ = 0;
  if (in_memory_) {
    // Memory is one block: what is left of it after a skip, if anything.
    const auto size = static_cast<std::int64_t>(memory_.size());
    if (buffer_start_ >= size) return false;
    data_ = memory_.data() + buffer_start_;
    end_ = static_cast<std::size_t>(size - buffer_start_);
    return true;
  }
  if (file_ == nullptr || read_failed_) return false;
  data_ = buffer_.get();
  std::size_t got = std::fread(buffer_.get(), 1, kBufferSize, file_);
  if (got == 0) {
    if (std::ferror(file_) != 0) read_failed_ = true;
    return false;
  }
  end_ = got;
  return true;
}

std::size_t InputStream::ReadAcrossBlocks(std::uint8_t* out, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    if (next_ == end_ && !Refill()) break;
    std::size_t chunk = end_ - next_;
    if (chunk > count - done) chunk = count - done;
    std::memcpy(out + done, data_ + next_, chunk);
    next_ += chunk;
    done += chunk;
  }
  return done;
}

std::int64_t InputStream::SkipUntil(std::uint8_t value) {
  std::int64_t skipped = 0;
  for (;;) {
    if (next_ == end_ && !Refill()) return skipped;
    const void* found = std::memchr(data_ + next_, value, end_ - next_);
    if (found != nullptr) {
      const auto at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data_);
      skipped += static_cast<std::int64_t>(at - next_);
      next_ = at;
      return skipped;
    }
    skipped += static_cast<std::int64_t>(end_ - next_);
    next_ = end_;
  }
}

bool InputStream::Skip(std::int64_t count) {
  if (count <= 0) return true;
  auto buffered = static_cast<std::int64_t>(end_ - next_);
  if (count <= buffered) {
    next_ += static_cast<std::size_t>(count);
    return true;
  }
  std::int64_t target = Position() + count;
  if (in_memory_) {
    // The next Refill starts the block at the target.
    buffer_start_ = target;
    next_ = end_ = 0;
    return true;
  }
  if (file_ == nullptr) return false;
  if (SeekAbsolute(file_, target) != 0) {
    // A pipe cannot seek: the bytes are read and dropped instead.
    std::int64_t left = count - buffered;
    next_ = end_;
    while (left > 0) {
      if (!Refill()) return !read_failed_;
      const auto take = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(end_)));
      next_ = take;
      left -= static_cast<std::int64_t>(take);
    }
    return true;
  }
  buffer_start_ = target;
  next_ = end_ = 0;
  return true;
}

}  // namespace morvelin
