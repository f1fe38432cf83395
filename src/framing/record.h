// Record framing of the raw data file: the record header, the record type
// table and a bounded reader of the current record's payload. The record
// stream reader and every decoder read records through this one place.
//
// A record is a 4-byte header (preamble 0x74, record length including the
// header, sub-record number, record type) and a payload. There is no file
// header, index or checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "framing/input_stream.h"

namespace morvelin {

inline constexpr std::uint8_t kPreamble = 0x74;
inline constexpr int kRecordTypeCount = 22;  // types 0 to 21 are valid
inline constexpr int kHeaderSize = 4;

struct RecordHeader {
  std::uint8_t length;        // header byte 1: total length, header included
  std::uint8_t sub_record;    // header byte 2 (the high length byte of type 12)
  std::uint8_t type;          // header byte 3
  std::int32_t default_skip;  // expected length from the type table minus 4
};

// The payload length that header byte 1 declares (it counts the 4 header
// bytes). A byte below 4 declares no payload at all, never a negative one.
inline std::int32_t DeclaredPayloadLength(const RecordHeader& header) {
  return header.length >= kHeaderSize ? header.length - kHeaderSize : 0;
}

// Expected record length of each type (header included; 0 = not known).
std::int16_t ExpectedRecordLength(int type);

// The current record's bytes as a decoder reads them: straight from the
// input stream, never past what arrived. Payloads read whole land in a
// scratch buffer that belongs to this record alone.
class RecordInput {
 public:
  static constexpr std::size_t kPayloadCapacity = 256;  // largest payload is 251 bytes

  explicit RecordInput(InputStream& stream) : stream_(stream) {}

  // Reads up to count bytes (at most kPayloadCapacity) and returns exactly
  // the bytes that arrived.
  std::span<const std::uint8_t> ReadPayload(std::size_t count) {
    if (count > kPayloadCapacity) count = kPayloadCapacity;
    return {payload_, stream_.Read(payload_, count)};
  }

  // Reads up to count bytes into out; returns how many arrived.
  std::size_t Read(std::uint8_t* out, std::size_t count) { return stream_.Read(out, count); }

  // The next count bytes in one piece, valid until the next read; null when
  // the input ends first.
  const std::uint8_t* Take(std::size_t count) { return stream_.Take(count); }
  // The next count bytes where they already lie in one piece, without
  // consuming them; null otherwise (they may still arrive, through Take).
  const std::uint8_t* Peek(std::size_t count) const { return stream_.Peek(count); }
  // Consumes count bytes that Peek showed.
  void Consume(std::size_t count) { stream_.Consume(count); }

  std::int64_t Position() const { return stream_.Position(); }

 private:
  InputStream& stream_;
  std::uint8_t payload_[kPayloadCapacity];
};

}  // namespace morvelin
