// Payloads of ephemeris records (type 21), field by field in payload order.
#pragma once

#include <cstdint>

#include "support/raw_builder.h"

namespace morvelin::test {

inline constexpr std::uint8_t kEphemerisType = 21;
inline constexpr std::uint8_t kSkippedEphemerisType = 20;
inline constexpr int kEphemerisRecordLength = 190;

// One type-21 payload. Angles are in semicircles as the receiver sends
// them; the unused bytes carry a visible filler so that a decoder taking
// them would show.
struct RawEphemeris {
  std::uint8_t prn = 1;
  std::int16_t el1_1 = 0;
  std::int16_t el1_4 = 0;
  std::uint8_t iode = 0;
  std::int32_t el1_2 = 0;
  std::int32_t el1_5 = 0;
  std::int32_t toe = 0;
  double el1_3 = 0, el2_1 = 0, el2_2 = 0, el2_3 = 0, crs = 0, delta_n = 0, m0 = 0, cuc = 0, eccentricity = 0,
         cus = 0, sqrt_a = 0, cic = 0, omega0 = 0, cis = 0, i0 = 0, crc = 0, omega = 0, omega_dot = 0, idot = 0;
  std::uint8_t filler = 0xA5;  // offsets 1, 6 and 172-185
};

// The 186 payload bytes of eph.
Bytes EphemerisPayload(const RawEphemeris& eph);

}  // namespace morvelin::test
