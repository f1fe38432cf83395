#include "gnss/ephemeris_record.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "gnss/constants.h"

namespace morvelin::gnss {

namespace {

double Narrow(double value) { return static_cast<double>(static_cast<float>(value)); }

// Orbit values at their named payload positions. semicircles: the payload
// holds the value divided by pi; single: the ephemeris file keeps a single.
struct OrbitValue {
  std::size_t offset;
  double BroadcastEphemeris::*field;
  bool semicircles;
  bool single;
};

constexpr OrbitValue kOrbitValues[] = {
    {52, &BroadcastEphemeris::crs, false, true},       {60, &BroadcastEphemeris::delta_n, true, true},
    {68, &BroadcastEphemeris::m0, true, false},        {76, &BroadcastEphemeris::cuc, true, true},
    {84, &BroadcastEphemeris::e, false, false},        {92, &BroadcastEphemeris::cus, true, true},
    {100, &BroadcastEphemeris::sqrt_a, false, false},  {108, &BroadcastEphemeris::cic, true, true},
    {116, &BroadcastEphemeris::omega0, true, false},   {124, &BroadcastEphemeris::cis, true, true},
    {132, &BroadcastEphemeris::i0, true, false},       {140, &BroadcastEphemeris::crc, false, true},
    {148, &BroadcastEphemeris::omega, true, false},    {156, &BroadcastEphemeris::omega_dot, true, true},
    {164, &BroadcastEphemeris::idot, true, true},
};
constexpr std::size_t kPrnOffset = 0;
constexpr std::size_t kIodeOffset = 7;
constexpr std::size_t kToeOffset = 16;

template <typename T>
void Store(EphemerisPayload& payload, std::size_t offset, T value) {
  std::memcpy(payload.data() + offset, &value, sizeof value);
}
template <typename T>
T Load(std::span<const std::uint8_t> payload, std::size_t offset) {
  T value;
  std::memcpy(&value, payload.data() + offset, sizeof value);
  return value;
}

// Semicircles whose product with pi gives `radians` back, when a few
// neighbours of radians / pi hold one.
double SemicirclesFor(double radians) {
  const double s = radians / kPi;
  if (s * kPi == radians) return s;
  double up = s, down = s;
  for (int i = 0; i < 4; ++i) {
    up = std::nextafter(up, std::numeric_limits<double>::infinity());
    if (up * kPi == radians) return up;
    down = std::nextafter(down, -std::numeric_limits<double>::infinity());
    if (down * kPi == radians) return down;
  }
  return s;
}

}  // namespace

// THE reading of the values the ephemeris file names El1 and El2. Reals are
// doubles in the payload and singles in the ephemeris file: a reader takes
// them as singles.
const std::array<ClockValue, kClockValueCount> kClockValues = {{
    {"El1 value 1", 2, PayloadValue::kInt16, "GPS week of toe and toc (full week number)", "week",
     [](const BroadcastEphemeris& e) { return static_cast<double>(e.week); },
     [](BroadcastEphemeris& e, double v) { e.week = static_cast<std::int32_t>(v); }},
    {"El1 value 4", 4, PayloadValue::kInt16, "IODC", "",
     [](const BroadcastEphemeris& e) { return static_cast<double>(e.iodc); },
     [](BroadcastEphemeris& e, double v) { e.iodc = static_cast<std::int32_t>(v); }},
    {"El1 value 2", 8, PayloadValue::kInt32, "toc, clock reference time", "s of week",
     [](const BroadcastEphemeris& e) { return static_cast<double>(e.toc); },
     [](BroadcastEphemeris& e, double v) { e.toc = static_cast<std::int32_t>(v); }},
    {"El1 value 5", 12, PayloadValue::kInt32, "satellite health + 256 x URA index", "",
     [](const BroadcastEphemeris& e) { return static_cast<double>(e.health + 256 * e.ura); },
     [](BroadcastEphemeris& e, double v) {
       const auto packed = static_cast<std::int32_t>(v);
       e.health = packed & 0xFF;
       e.ura = (packed >> 8) & 0xFF;
     }},
    {"El1 value 3", 20, PayloadValue::kReal, "TGD, L1 group delay", "s",
     [](const BroadcastEphemeris& e) { return e.tgd; }, [](BroadcastEphemeris& e, double v) { e.tgd = v; }},
    {"El2 value 1", 28, PayloadValue::kReal, "af0, clock bias", "s",
     [](const BroadcastEphemeris& e) { return e.af0; }, [](BroadcastEphemeris& e, double v) { e.af0 = v; }},
    {"El2 value 2", 36, PayloadValue::kReal, "af1, clock drift", "s/s",
     [](const BroadcastEphemeris& e) { return e.af1; }, [](BroadcastEphemeris& e, double v) { e.af1 = v; }},
    {"El2 value 3", 44, PayloadValue::kReal, "af2, clock drift rate", "s/s^2",
     [](const BroadcastEphemeris& e) { return e.af2; }, [](BroadcastEphemeris& e, double v) { e.af2 = v; }},
}};

EphemerisPayload EncodeEphemerisPayload(const BroadcastEphemeris& eph) {
  EphemerisPayload payload{};
  payload[kPrnOffset] = static_cast<std::uint8_t>(eph.prn);
  payload[kIodeOffset] = static_cast<std::uint8_t>(eph.iode);
  Store(payload, kToeOffset, eph.toe);
  for (const ClockValue& value : kClockValues) {
    const double v = value.get(eph);
    switch (value.kind) {
      case PayloadValue::kInt16: Store(payload, value.offset, static_cast<std::int16_t>(v)); break;
      case PayloadValue::kInt32: Store(payload, value.offset, static_cast<std::int32_t>(v)); break;
      case PayloadValue::kReal: Store(payload, value.offset, v); break;
    }
  }
  for (const OrbitValue& value : kOrbitValues) {
    const double v = eph.*value.field;
    Store(payload, value.offset, value.semicircles ? SemicirclesFor(v) : v);
  }
  return payload;
}

bool DecodeEphemerisPayload(std::span<const std::uint8_t> payload, BroadcastEphemeris* eph) {
  if (payload.size() < kEphemerisPayloadSize) return false;
  BroadcastEphemeris out;
  out.prn = payload[kPrnOffset];
  out.iode = payload[kIodeOffset];
  out.toe = Load<std::int32_t>(payload, kToeOffset);
  for (const ClockValue& value : kClockValues) {
    switch (value.kind) {
      case PayloadValue::kInt16: value.set(out, Load<std::int16_t>(payload, value.offset)); break;
      case PayloadValue::kInt32: value.set(out, Load<std::int32_t>(payload, value.offset)); break;
      case PayloadValue::kReal: value.set(out, Narrow(Load<double>(payload, value.offset))); break;
    }
  }
  for (const OrbitValue& value : kOrbitValues) {
    double v = Load<double>(payload, value.offset);
    if (value.semicircles) v *= kPi;
    out.*value.field = value.single ? Narrow(v) : v;
  }
  *eph = out;
  return true;
}

BroadcastEphemeris AsRecorded(const BroadcastEphemeris& eph) {
  const EphemerisPayload payload = EncodeEphemerisPayload(eph);
  BroadcastEphemeris out;
  DecodeEphemerisPayload(payload, &out);
  return out;
}

double RecordableRadians(double radians, bool single) {
  double candidate = single ? Narrow(radians) : radians;
  for (int i = 0; i < 64; ++i) {
    if (SemicirclesFor(candidate) * kPi == candidate) return candidate;
    candidate = single ? static_cast<double>(std::nextafter(static_cast<float>(candidate), 1e30f))
                       : std::nextafter(candidate, 1e300);
  }
  return single ? Narrow(radians) : radians;
}

}  // namespace morvelin::gnss
