// The record types of the raw data file: the record header, and the type
// table that says how long a record of each type is expected to be and who
// reads it. Stands alone (no input stream), so that whoever writes raw
// records frames them by the same table. Payload layouts:
// framing/record_layouts.h.
//
// A record is a 4-byte header (preamble 0x74, record length including the
// header, sub-record number, record type) and a payload. There is no file
// header, index or checksum.
#pragma once

#include <cstddef>
#include <cstdint>

namespace morvelin {

inline constexpr std::uint8_t kPreamble = 0x74;
inline constexpr int kRecordTypeCount = 22;  // types 0 to 21 are valid
inline constexpr int kHeaderSize = 4;
inline constexpr std::size_t kTypeByte = 3;  // the header byte that holds the record type

// The record types that have a meaning of their own. The others (1, 2, 3,
// 9, 10) are known only by their length and skipped.
namespace record_type {
inline constexpr std::uint8_t kDropped = 0;        // and kDroppedToo: scanned through, never counted
inline constexpr std::uint8_t kSelfFramed = 4;     // and 13, 14: framed by the header's own length
inline constexpr std::uint8_t kStationName = 5;
inline constexpr std::uint8_t kAntennaHeight = 6;
inline constexpr std::uint8_t kTimeTag = 7;        // its time stamps the invalid-type messages
inline constexpr std::uint8_t kAntennaNotice = 8;
inline constexpr std::uint8_t kPosition = 11;
inline constexpr std::uint8_t kLongSkipped = 12;   // header byte 2 is the high byte of its length
inline constexpr std::uint8_t kSelfFramedToo = 13;
inline constexpr std::uint8_t kSelfFramedThree = 14;
inline constexpr std::uint8_t kStationText = 15;   // skipped by the header's length
inline constexpr std::uint8_t kStationEntries = 16;  // sub-records: motion, points, heights
inline constexpr std::uint8_t kMeasurement = 17;
inline constexpr std::uint8_t kDroppedToo = 18;
inline constexpr std::uint8_t kEvent = 19;
inline constexpr std::uint8_t kIonosphere = 20;    // framed by the header's length
inline constexpr std::uint8_t kEphemeris = 21;
}  // namespace record_type

// Who reads a record of each type.
enum class RecordFamily : std::uint8_t {
  kDropped,      // the pass ends at the header; the payload is scanned for the next preamble
  kSkipped,      // no decoder: the expected length frames it
  kSelfFramed,   // no decoder: the header's length frames it
  kTimeTag,      // the reader keeps its time, then skips the rest
  kStation,      // DecodeStationRecord
  kMeasurement,  // DecodeMeasurementRecord
  kEvent,        // DecodeEventRecord
  kEphemeris,    // DecodeEphemerisRecord
  kIonosphere,   // DecodeIonosphereRecord
};

struct RecordTypeRow {
  std::int16_t expected_length;  // header included; 0 = not known
  RecordFamily family;
};

// One row per record type 0 to 21.
inline constexpr RecordTypeRow kRecordTypes[kRecordTypeCount] = {
    {82, RecordFamily::kDropped},      {82, RecordFamily::kSkipped},     {82, RecordFamily::kSkipped},
    {206, RecordFamily::kSkipped},     {0, RecordFamily::kSelfFramed},   {395, RecordFamily::kStation},
    {164, RecordFamily::kStation},     {82, RecordFamily::kTimeTag},     {24, RecordFamily::kStation},
    {9, RecordFamily::kSkipped},       {90, RecordFamily::kSkipped},     {0, RecordFamily::kStation},
    {0, RecordFamily::kStation},       {0, RecordFamily::kSelfFramed},   {0, RecordFamily::kSelfFramed},
    {124, RecordFamily::kStation},     {0, RecordFamily::kStation},      {0, RecordFamily::kMeasurement},
    {0, RecordFamily::kDropped},       {0, RecordFamily::kEvent},        {0, RecordFamily::kIonosphere},
    {190, RecordFamily::kEphemeris},
};
static_assert(kRecordTypes[record_type::kDropped].family == RecordFamily::kDropped);
static_assert(kRecordTypes[record_type::kDroppedToo].family == RecordFamily::kDropped);
static_assert(kRecordTypes[record_type::kTimeTag].family == RecordFamily::kTimeTag);
static_assert(kRecordTypes[record_type::kSelfFramedToo].family == RecordFamily::kSelfFramed);
static_assert(kRecordTypes[record_type::kSelfFramedThree].family == RecordFamily::kSelfFramed);
static_assert(kRecordTypes[record_type::kMeasurement].family == RecordFamily::kMeasurement);
static_assert(kRecordTypes[record_type::kEvent].family == RecordFamily::kEvent);
static_assert(kRecordTypes[record_type::kEphemeris].expected_length == 190);
static_assert(kRecordTypes[record_type::kIonosphere].family == RecordFamily::kIonosphere);

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
constexpr std::int16_t ExpectedRecordLength(int type) {
  return type >= 0 && type < kRecordTypeCount ? kRecordTypes[type].expected_length : std::int16_t{0};
}

}  // namespace morvelin
