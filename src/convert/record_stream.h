// The record stream reader: frames the raw data file record by record.
//
// A record is a 4-byte header (preamble 0x74, record length including the
// header, sub-record number, record type) and a payload. There is no file
// header, index or checksum; damaged stretches are passed over byte by byte
// until the next preamble.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "convert/run_state.h"

namespace morvelin {

inline constexpr std::uint8_t kPreamble = 0x74;
inline constexpr int kRecordTypeCount = 22;  // types 0 to 21 are valid
inline constexpr int kHeaderSize = 4;

struct RecordHeader {
  std::uint8_t length;      // header byte 1: total length, header included
  std::uint8_t sub_record;  // header byte 2 (the high length byte of type 12)
  std::uint8_t type;        // header byte 3
  std::int32_t default_skip;  // expected length from the type table minus 4
};

// The payload length that header byte 1 declares (it counts the 4 header
// bytes). A byte below 4 declares no payload at all, never a negative one.
inline std::int32_t DeclaredPayloadLength(const RecordHeader& header) {
  return header.length >= kHeaderSize ? header.length - kHeaderSize : 0;
}

// Expected record length of each type (header included; 0 = not known).
std::int16_t ExpectedRecordLength(int type);

enum class PassResult {
  kEndOfInput,   // no further record: leave the loop
  kContinue,     // a byte was dropped or a record handled
  kEpochFailed,  // an epoch could not be written: the run fails
};

// One pass of the reader: finds, checks, counts and decodes one record (or
// drops one byte), then skips what the decoder left unread.
PassResult ReadNextRecord(Run& run);

// Reads up to count bytes of the current record's payload into
// run.payload and returns exactly the bytes that arrived.
std::span<const std::uint8_t> ReadPayload(Run& run, std::size_t count);

}  // namespace morvelin
