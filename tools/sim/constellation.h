// A GPS-like constellation defined by the broadcast ephemerides it sends:
// six planes near 55 degrees, a fresh ephemeris per satellite every two
// hours (toe on the even hours, in force from toe - 1 h to toe + 1 h, IODE
// counting up). Consecutive sets describe one continuous orbit and clock, and
// every value is one a type-21 record carries exactly: the satellites fly
// the ephemerides a reader of the raw data file gets.
#pragma once

#include <cstdint>
#include <vector>

#include "gnss/constants.h"
#include "gnss/ephemeris.h"
#include "gnss/time.h"

namespace morvelin::sim {

inline constexpr int kMinSatellites = 24;
inline constexpr int kMaxSatellites = kMaxPrn;  // one satellite per PRN
inline constexpr double kEphemerisInterval = 7200.0;  // s between toes

class Constellation {
 public:
  // Ephemeris sets for every satellite from the set in force at `first`
  // to the one in force at `last`.
  Constellation(std::uint64_t seed, int satellite_count, gnss::GpsTime first, gnss::GpsTime last);

  std::size_t Size() const { return sets_.size(); }
  // The set number in force at t: 84 sets per week, counted from week 0.
  static std::int64_t SetNumber(gnss::GpsTime t);
  // Satellite `index`'s ephemeris of set `set` (within the constructed span).
  const gnss::BroadcastEphemeris& Ephemeris(std::size_t index, std::int64_t set) const;
  const gnss::BroadcastEphemeris& At(std::size_t index, gnss::GpsTime t) const {
    return Ephemeris(index, SetNumber(t));
  }

 private:
  std::int64_t first_set_ = 0;
  std::vector<std::vector<gnss::BroadcastEphemeris>> sets_;  // [satellite][set - first_set_]
};

}  // namespace morvelin::sim
