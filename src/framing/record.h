// Record framing of the raw data file as the conversion reads it: a bounded
// reader of the current record's payload over the input source. The record
// stream reader and every decoder read records through this one place; the
// header and type table are in framing/record_types.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "framing/byte_source.h"
#include "framing/record_types.h"

namespace morvelin {

// The current record's bytes as a decoder reads them: straight from the
// input source, never past what arrived. Payloads read whole land in a
// scratch buffer that belongs to this record alone.
class RecordInput {
 public:
  static constexpr std::size_t kPayloadCapacity = 256;  // largest payload is 251 bytes

  explicit RecordInput(ByteSource& source) : source_(source) {}

  // Reads up to count bytes (at most kPayloadCapacity) and returns exactly
  // the bytes that arrived.
  std::span<const std::uint8_t> ReadPayload(std::size_t count) {
    if (count > kPayloadCapacity) count = kPayloadCapacity;
    return {payload_, source_.Read(payload_, count)};
  }

  // Reads up to count bytes into out; returns how many arrived.
  std::size_t Read(std::uint8_t* out, std::size_t count) { return source_.Read(out, count); }

  // The next count bytes in one piece, valid until the next read; null when
  // the input ends first.
  const std::uint8_t* Take(std::size_t count) { return source_.Take(count); }
  // The next count bytes where they already lie in one piece, without
  // consuming them; null otherwise (they may still arrive, through Take).
  const std::uint8_t* Peek(std::size_t count) const { return source_.Peek(count); }
  // Consumes count bytes that Peek showed.
  void Consume(std::size_t count) { source_.Consume(count); }

  std::int64_t Position() const { return source_.Position(); }

 private:
  ByteSource& source_;
  std::uint8_t payload_[kPayloadCapacity];
};

}  // namespace morvelin
