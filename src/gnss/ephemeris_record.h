// The broadcast ephemeris record of a raw data file (record type 21, a
// 186-byte payload) and the one reading of its clock values.
//
// The payload names its orbit values (toe, sqrt(A), e, the angles in
// semicircles, the harmonic corrections); the ephemeris file carries the
// rest as "El1" and "El2" values without naming them. kClockValues is this
// product's reading of those values: the simulator writes them and every
// reader (the RINEX navigation export among them) reads them through it.
// docs/ephemeris-clock-values.md documents it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "gnss/ephemeris.h"

namespace morvelin::gnss {

inline constexpr std::size_t kEphemerisPayloadSize = 186;
inline constexpr std::uint8_t kEphemerisRecordType = 21;
using EphemerisPayload = std::array<std::uint8_t, kEphemerisPayloadSize>;

enum class PayloadValue : std::uint8_t { kInt16, kInt32, kReal };

struct ClockValue {
  const char* position;  // the value's name in the ephemeris file
  std::size_t offset;    // in the payload
  PayloadValue kind;     // little-endian int16, int32, or IEEE double
  const char* quantity;  // the broadcast quantity it holds
  const char* unit;
  double (*get)(const BroadcastEphemeris&);
  void (*set)(BroadcastEphemeris&, double);
};

inline constexpr std::size_t kClockValueCount = 8;
extern const std::array<ClockValue, kClockValueCount> kClockValues;

// The payload for an ephemeris: angles written in semicircles, clock values
// through kClockValues, bytes 1, 6 and 172-185 zero.
EphemerisPayload EncodeEphemerisPayload(const BroadcastEphemeris& eph);

// The ephemeris a payload holds, as the ephemeris file holds it: semicircles
// times pi, and the values the file keeps in single precision narrowed to
// single. False (and *eph untouched) when fewer than 186 bytes are given.
bool DecodeEphemerisPayload(std::span<const std::uint8_t> payload, BroadcastEphemeris* eph);

// DecodeEphemerisPayload(EncodeEphemerisPayload(eph)): the ephemeris every
// reader of the record gets. A simulator flies this one.
BroadcastEphemeris AsRecorded(const BroadcastEphemeris& eph);

// A value near `radians` that a record carries exactly: its semicircles
// times pi give it back bit for bit, and, when `single`, it is a single
// precision value, so that the ephemeris file's narrowing keeps it too.
double RecordableRadians(double radians, bool single);

}  // namespace morvelin::gnss
