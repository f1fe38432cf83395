#include "gnss/ephemeris_record.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "gnss/constants.h"

namespace morvelin::gnss {

namespace {

// Narrowing to single rounds to nearest on the IEEE targets the library is
// built for; no value of a record is rejected.
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559);
float Single(double value) { return static_cast<float>(value); }
double Narrow(double value) { return static_cast<double>(static_cast<float>(value)); }

// Calls visit with the El value of record (a GpsEph or an EphemerisRecord:
// both name them alike) that value names.
template <typename Record, typename Visit>
void VisitElValue(Record& record, const ClockValue& value, Visit visit) {
  switch (value.row * 10 + value.column) {
    case 11: return visit(record.el1_1);
    case 12: return visit(record.el1_2);
    case 13: return visit(record.el1_3);
    case 14: return visit(record.el1_4);
    case 15: return visit(record.el1_5);
    case 21: return visit(record.el2_1);
    case 22: return visit(record.el2_2);
    case 23: return visit(record.el2_3);
    default: return;
  }
}

// The El value of a GpsEph that a clock value names.
double ElValue(const GpsEph& eph, const ClockValue& value) {
  double out = 0.0;
  VisitElValue(eph, value, [&out](auto field) { out = static_cast<double>(field); });
  return out;
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
// doubles in the record and singles in the ephemeris file: a reader takes
// them as singles.
const std::array<ClockValue, kClockValueCount> kClockValues = {{
    {1, 1, "GPS week of toe and toc (full week number)", "week",
     [](const BroadcastEphemeris& e) { return static_cast<double>(e.week); },
     [](BroadcastEphemeris& e, double v) { e.week = static_cast<std::int32_t>(v); }},
    {1, 4, "IODC", "",
     [](const BroadcastEphemeris& e) { return static_cast<double>(e.iodc); },
     [](BroadcastEphemeris& e, double v) { e.iodc = static_cast<std::int32_t>(v); }},
    {1, 2, "toc, clock reference time", "s of week",
     [](const BroadcastEphemeris& e) { return static_cast<double>(e.toc); },
     [](BroadcastEphemeris& e, double v) { e.toc = static_cast<std::int32_t>(v); }},
    {1, 5, "satellite health + 256 x URA index", "",
     [](const BroadcastEphemeris& e) { return static_cast<double>(e.health + 256 * e.ura); },
     [](BroadcastEphemeris& e, double v) {
       const auto packed = static_cast<std::int32_t>(v);
       e.health = packed & 0xFF;
       e.ura = (packed >> 8) & 0xFF;
     }},
    {1, 3, "TGD, L1 group delay", "s",
     [](const BroadcastEphemeris& e) { return e.tgd; }, [](BroadcastEphemeris& e, double v) { e.tgd = v; }},
    {2, 1, "af0, clock bias", "s",
     [](const BroadcastEphemeris& e) { return e.af0; }, [](BroadcastEphemeris& e, double v) { e.af0 = v; }},
    {2, 2, "af1, clock drift", "s/s",
     [](const BroadcastEphemeris& e) { return e.af1; }, [](BroadcastEphemeris& e, double v) { e.af1 = v; }},
    {2, 3, "af2, clock drift rate", "s/s^2",
     [](const BroadcastEphemeris& e) { return e.af2; }, [](BroadcastEphemeris& e, double v) { e.af2 = v; }},
}};

GpsEph ToGpsEph(const EphemerisRecord& r) {
  GpsEph eph;
  eph.prn = r.prn;
  eph.el1_1 = r.el1_1;
  eph.el1_4 = r.el1_4;
  eph.iode = r.iode;
  eph.el1_2 = r.el1_2;
  eph.el1_5 = r.el1_5;
  eph.toe = r.toe;
  eph.el1_3 = Single(r.el1_3);
  eph.el2_1 = Single(r.el2_1);
  eph.el2_2 = Single(r.el2_2);
  eph.el2_3 = Single(r.el2_3);
  eph.crs = Single(r.crs);
  eph.delta_n = Single(r.delta_n * kPi);
  eph.m0 = r.m0 * kPi;
  eph.cuc = Single(r.cuc * kPi);
  eph.eccentricity = r.eccentricity;
  eph.cus = Single(r.cus * kPi);
  eph.sqrt_a = r.sqrt_a;
  eph.cic = Single(r.cic * kPi);
  eph.omega0 = r.omega0 * kPi;
  eph.cis = Single(r.cis * kPi);
  eph.i0 = r.i0 * kPi;
  eph.crc = Single(r.crc);
  eph.omega = r.omega * kPi;
  eph.omega_dot = Single(r.omega_dot * kPi);
  eph.idot = Single(r.idot * kPi);
  return eph;
}

BroadcastEphemeris FromGpsEph(const GpsEph& e) {
  BroadcastEphemeris out;
  out.prn = e.prn;
  out.iode = e.iode;
  out.toe = e.toe;
  out.sqrt_a = e.sqrt_a;
  out.e = e.eccentricity;
  out.i0 = e.i0;
  out.omega0 = e.omega0;
  out.omega = e.omega;
  out.m0 = e.m0;
  out.delta_n = static_cast<double>(e.delta_n);
  out.idot = static_cast<double>(e.idot);
  out.omega_dot = static_cast<double>(e.omega_dot);
  out.cuc = static_cast<double>(e.cuc), out.cus = static_cast<double>(e.cus);
  out.crc = static_cast<double>(e.crc), out.crs = static_cast<double>(e.crs);
  out.cic = static_cast<double>(e.cic), out.cis = static_cast<double>(e.cis);
  for (const ClockValue& value : kClockValues) value.set(out, ElValue(e, value));
  return out;
}

EphemerisRecord RecordOf(const BroadcastEphemeris& eph) {
  EphemerisRecord r;
  r.prn = static_cast<std::uint8_t>(eph.prn);
  r.iode = static_cast<std::uint8_t>(eph.iode);
  r.toe = eph.toe;
  for (const ClockValue& value : kClockValues) {
    const double v = value.get(eph);
    VisitElValue(r, value, [v](auto& field) { field = static_cast<std::remove_reference_t<decltype(field)>>(v); });
  }
  r.crs = eph.crs;
  r.delta_n = SemicirclesFor(eph.delta_n);
  r.m0 = SemicirclesFor(eph.m0);
  r.cuc = SemicirclesFor(eph.cuc);
  r.eccentricity = eph.e;
  r.cus = SemicirclesFor(eph.cus);
  r.sqrt_a = eph.sqrt_a;
  r.cic = SemicirclesFor(eph.cic);
  r.omega0 = SemicirclesFor(eph.omega0);
  r.cis = SemicirclesFor(eph.cis);
  r.i0 = SemicirclesFor(eph.i0);
  r.crc = eph.crc;
  r.omega = SemicirclesFor(eph.omega);
  r.omega_dot = SemicirclesFor(eph.omega_dot);
  r.idot = SemicirclesFor(eph.idot);
  return r;
}

BroadcastEphemeris AsRecorded(const BroadcastEphemeris& eph) { return FromGpsEph(ToGpsEph(RecordOf(eph))); }

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
