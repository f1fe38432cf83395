// Raw data from a C stream, read in large blocks into a buffer of its own
// on the thread that reads the records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "framing/byte_source.h"

namespace morvelin {

class StreamSource : public ByteSource {
 public:
  // Large blocks keep the system calls few; the host never sees this size.
  static constexpr std::size_t kBlockSize = 1 << 20;

  // Reads from a binary stream the caller opened and keeps open, from where
  // it stands. Without memory for its block every read fails.
  explicit StreamSource(std::FILE* stream) : StreamSource(stream, 1) {}

  // By seeking to the end and back: -1 for a stream that cannot seek.
  std::int64_t Length() override;

 protected:
  // A buffer of block_count blocks.
  StreamSource(std::FILE* stream, std::size_t block_count);

  // Reads the next block into the first one.
  bool NextWindow() override;
  // Seeks; a stream that cannot seek (a pipe) reads and drops the bytes.
  bool SkipPastWindow(std::int64_t count) override;

  std::FILE* Stream() const { return stream_; }
  bool HasBuffer() const { return buffer_ != nullptr; }
  std::uint8_t* Block(std::size_t index) { return buffer_.get() + index * kBlockSize; }

 private:
  std::FILE* stream_;
  std::unique_ptr<std::uint8_t[]> buffer_;
};

}  // namespace morvelin
