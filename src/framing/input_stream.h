// The raw data file as the record reader sees it: a forward byte stream
// with its own 8192-byte buffer, 64-bit positions, relative forward skips,
// and end of input told apart from a read error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>

namespace morvelin {

class InputStream {
 public:
  static constexpr std::size_t kBufferSize = 8192;

  InputStream() = default;
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;
  ~InputStream() { Close(); }

  // Opens path for binary reading. False when it cannot be opened or names
  // a directory.
  bool Open(const char* path);
  // Reads from a stream the caller opened (binary) and keeps open.
  void Attach(std::FILE* stream);
  // Reads the bytes of a buffer the caller keeps alive while they are read.
  void AttachMemory(std::span<const std::uint8_t> bytes);
  void Close();
  bool IsOpen() const { return file_ != nullptr || in_memory_; }

  // Total length in bytes, or -1 when it cannot be measured.
  std::int64_t Length();

  // The next byte, or -1 at the end of the input or on a read error.
  int ReadByte() {
    if (next_ < end_) return buffer_[next_++];
    return Refill() ? buffer_[next_++] : -1;
  }

  // Reads up to count bytes into out; returns how many arrived.
  std::size_t Read(std::uint8_t* out, std::size_t count);

  // Moves forward by count bytes (count >= 0) without reading them.
  // Moving past the end is allowed: the next read finds the end.
  bool Skip(std::int64_t count);

  // Byte offset of the next byte to be read.
  std::int64_t Position() const { return buffer_start_ + static_cast<std::int64_t>(next_); }

  bool ReadFailed() const { return read_failed_; }

 private:
  bool Refill();

  std::FILE* file_ = nullptr;
  bool owned_ = false;
  bool in_memory_ = false;
  std::span<const std::uint8_t> memory_;
  std::uint8_t buffer_[kBufferSize];
  std::size_t next_ = 0;  // index of the next byte in buffer_
  std::size_t end_ = 0;   // bytes valid in buffer_
  std::int64_t buffer_start_ = 0;  // file offset of buffer_[0]
  bool read_failed_ = false;
};

}  // namespace morvelin
