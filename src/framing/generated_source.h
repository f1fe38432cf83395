// Raw data that a program makes as it is read (GeneratedInput): the RINEX
// import writes the records a receiver would have written, a block at a
// time, so that memory does not grow with the session.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>

#include "framing/byte_source.h"

namespace morvelin {

class GeneratedSource final : public ByteSource {
 public:
  static constexpr std::size_t kBlockSize = 1 << 18;

  explicit GeneratedSource(std::function<std::int64_t(std::uint8_t*, std::size_t)> read)
      : read_(std::move(read)), buffer_(new (std::nothrow) std::uint8_t[kBlockSize]) {
    if (!buffer_ || !read_) Fail();
  }

  std::int64_t Length() override { return -1; }

 private:
  bool NextWindow() override {
    const std::int64_t got = read_(buffer_.get(), kBlockSize);
    if (got <= 0) {
      if (got < 0) Fail();
      return false;
    }
    SetWindow(buffer_.get(), static_cast<std::size_t>(got));
    return true;
  }

  std::function<std::int64_t(std::uint8_t*, std::size_t)> read_;
  std::unique_ptr<std::uint8_t[]> buffer_;
};

}  // namespace morvelin
