// What the broadcast ephemeris record of a raw data file (record type 21,
// laid out in framing/record_layouts.h) holds: the one reading of its
// values, as the ephemeris file keeps them (GpsEph), and as the GPS user
// algorithm takes them (BroadcastEphemeris).
//
// The record names its orbit values (toe, sqrt(A), e, the angles in
// semicircles, the harmonic corrections); the ephemeris file carries the
// rest as "El1" and "El2" values without naming them. kClockValues is this
// product's reading of those values: the simulator writes them and every
// reader (the RINEX navigation export among them) reads them through it.
// docs/ephemeris-clock-values.md documents it.
#pragma once

#include <array>
#include <cstddef>

#include "framing/record_layouts.h"
#include "gnss/ephemeris.h"
#include "morvelin/events.h"

namespace morvelin::gnss {

struct ClockValue {
  int row;               // its place in the ephemeris file: "El<row> value <column>"
  int column;
  const char* quantity;  // the broadcast quantity it holds
  const char* unit;
  double (*get)(const BroadcastEphemeris&);
  void (*set)(BroadcastEphemeris&, double);
};

inline constexpr std::size_t kClockValueCount = 8;
extern const std::array<ClockValue, kClockValueCount> kClockValues;

// The record's values as the ephemeris file stores them: semicircles times
// pi, and the values the file keeps in single precision narrowed to single.
// The converter's one reading of a type-21 record.
GpsEph ToGpsEph(const EphemerisRecord& record);

// The ephemeris a GpsEph holds, its El values read through kClockValues.
BroadcastEphemeris FromGpsEph(const GpsEph& eph);

// The record for an ephemeris: angles in semicircles, clock values through
// kClockValues (the unused bytes are zero).
EphemerisRecord RecordOf(const BroadcastEphemeris& eph);

// FromGpsEph(ToGpsEph(RecordOf(eph))): the ephemeris every reader of the
// record gets. A simulator flies this one.
BroadcastEphemeris AsRecorded(const BroadcastEphemeris& eph);

// A value near `radians` that a record carries exactly: its semicircles
// times pi give it back bit for bit, and, when `single`, it is a single
// precision value, so that the ephemeris file's narrowing keeps it too.
double RecordableRadians(double radians, bool single);

}  // namespace morvelin::gnss
