#include "framing/input_stream.h"

#include <algorithm>
#include <new>
#include <cstring>

#include "base/file_io.h"

namespace morvelin {

bool InputStream::AllocateBuffer() {
  if (!buffer_) buffer_.reset(new (std::nothrow) std::uint8_t[2 * kBufferSize]);
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
  length_ = Length();
  // The reader thread starts with the first read; without a thread the
  // blocks are read on this one.
  read_ahead_ = !read_failed_;
  return true;
}

void InputStream::ReaderLoop() {
  int block = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || !block_full_[block]; });
      if (stopping_) return;
    }
    std::uint8_t* into = buffer_.get() + static_cast<std::size_t>(block) * kBufferSize;
    const std::size_t got = std::fread(into, 1, kBufferSize, file_);
    const bool failed = got == 0 && std::ferror(file_) != 0;
    std::lock_guard<std::mutex> lock(mutex_);
    block_size_[block] = got;
    block_full_[block] = true;
    reader_failed_ = failed;
    changed_.notify_all();
    if (got == 0) return;  // the end of the file (or a read error): nothing more to read
    block ^= 1;
  }
}

void InputStream::StopReader() {
  if (reader_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      changed_.notify_all();
    }
    reader_.join();
  }
  stopping_ = false;
  block_full_[0] = block_full_[1] = false;
  block_size_[0] = block_size_[1] = 0;
  reader_failed_ = false;
  reader_ended_ = false;
  consuming_ = -1;
  next_block_ = 0;
}

bool InputStream::RefillFromReader() {
  if (reader_ended_) return false;
  if (!reader_.joinable()) {
    try {
      reader_ = std::thread(&InputStream::ReaderLoop, this);
    } catch (...) {
      read_ahead_ = false;  // no thread to be had: read on this one
      return Refill();
    }
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (consuming_ >= 0) {
    // The block just used goes back to the reader.
    block_full_[consuming_] = false;
    changed_.notify_all();
  }
  const int block = next_block_;
  changed_.wait(lock, [&] { return block_full_[block]; });
  consuming_ = block;
  next_block_ = block ^ 1;
  if (block_size_[block] == 0) {
    reader_ended_ = true;
    if (reader_failed_) read_failed_ = true;
    return false;
  }
  data_ = buffer_.get() + static_cast<std::size_t>(block) * kBufferSize;
  end_ = block_size_[block];
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
  StopReader();
  CloseMapping();
  cut_while_read_ = false;
  read_ahead_ = false;
  length_ = -1;
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
  if (mapped_) return length_;
  if (file_ == nullptr) return -1;
  if (length_ >= 0 || read_ahead_) return length_;
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
  if (mapped_) return !read_failed_ && MapWindow();
  if (file_ == nullptr || read_failed_) return false;
  if (read_ahead_) return RefillFromReader();
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

std::int64_t InputStream::SkipOver(std::uint8_t value) {
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
  if (in_memory_ || mapped_) {
    // The next Refill starts the block at the target.
    buffer_start_ = target;
    next_ = end_ = 0;
    return true;
  }
  if (file_ == nullptr) return false;
  // Read ahead, or from a pipe that cannot seek, the bytes are read and
  // dropped; otherwise the file seeks.
  if (read_ahead_ || SeekAbsolute(file_, target) != 0) return DropForward(count);
  buffer_start_ = target;
  next_ = end_ = 0;
  return true;
}

bool InputStream::DropForward(std::int64_t count) {
  std::int64_t left = count - static_cast<std::int64_t>(end_ - next_);
  next_ = end_;
  while (left > 0) {
    if (!Refill()) {
      // Past the end: the position says how far the skip reached.
      buffer_start_ += left;
      return !read_failed_;
    }
    const auto take = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(end_)));
    next_ = take;
    left -= static_cast<std::int64_t>(take);
  }
  return true;
}

}  // namespace morvelin
