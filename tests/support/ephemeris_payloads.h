// Payloads of ephemeris records (types 20 and 21).
#pragma once

#include <cstdint>

#include "support/raw_builder.h"

namespace morvelin::test {

inline constexpr std::uint8_t kEphemerisType = record_type::kEphemeris;
inline constexpr std::uint8_t kSkippedEphemerisType = record_type::kIonosphere;
inline constexpr int kEphemerisRecordLength = ExpectedRecordLength(record_type::kEphemeris);

// The 186 payload bytes of eph (angles in semicircles, as the receiver
// sends them); the unused bytes carry a visible filler, so that a decoder
// taking them would show.
inline Bytes EphemerisPayload(const EphemerisRecord& eph, std::uint8_t filler = 0xA5) {
  return PayloadOf<EphemerisRecord>(eph, filler);
}

}  // namespace morvelin::test
