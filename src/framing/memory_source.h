// Raw data in memory: the whole buffer is one window.
#pragma once

#include <cstdint>
#include <span>

#include "framing/byte_source.h"

namespace morvelin {

class MemorySource final : public ByteSource {
 public:
  // Reads bytes that the caller keeps alive while they are read.
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) { SetWindow(bytes.data(), bytes.size()); }

  std::int64_t Length() override { return static_cast<std::int64_t>(bytes_.size()); }

 private:
  // What is left of the buffer after a skip, if anything.
  bool NextWindow() override {
    const auto size = static_cast<std::int64_t>(bytes_.size());
    if (WindowStart() >= size) return false;
    SetWindow(bytes_.data() + WindowStart(), static_cast<std::size_t>(size - WindowStart()));
    return true;
  }
  bool SkipPastWindow(std::int64_t count) override {
    MoveTo(Position() + count);
    return true;
  }

  std::span<const std::uint8_t> bytes_;
};

}  // namespace morvelin
