// A receiver: where its antenna is and what its clock reads. Epochs fall on
// the rate grid of the receiver's own clock (as a receiver samples), so the
// true GPS time of an epoch is the receiver time minus the clock offset. The
// clock drifts from its initial offset; whenever the offset passes a whole
// millisecond the receiver steps its clock back by that millisecond (and
// writes a receiver time adjustment), so the offset stays within +-1 ms.
#pragma once

#include <cstdint>
#include <string>

#include "gnss/geodesy.h"
#include "gnss/time.h"

namespace morvelin::sim {

struct ReceiverSpec {
  std::string station = "SIM1";   // up to 5 characters in the station record, 8 as a point name
  gnss::Ecef position;            // static position, or start of the trajectory
  bool kinematic = false;         // moves around a circle that starts at `position`
  double speed = 5.0;             // m/s along the circle
  double radius = 200.0;          // m
  double clock_offset = 2.5e-4;   // s, at the first epoch, |offset| < 1 ms
  double clock_drift = 1e-7;      // s/s
  double antenna_height = 1.5;    // m
};

struct ReceiverEpoch {
  std::int64_t index = 0;
  gnss::GpsTime receiver_time;  // on the rate grid
  std::int64_t receiver_ms = 0; // receiver time, whole milliseconds of week
  double clock_offset = 0.0;    // s, receiver time minus GPS time
  double clock_drift = 0.0;     // s/s
  std::int64_t clock_steps = 0; // whole milliseconds stepped back so far
  gnss::GpsTime time;           // true GPS time of the epoch
  gnss::Ecef position;
  gnss::Ecef velocity;          // m/s
  gnss::Geodetic geodetic;
};

// Epoch `index` of a receiver whose first epoch's receiver time is `start`,
// `interval_ms` apart.
ReceiverEpoch ReceiverAt(const ReceiverSpec& receiver, gnss::GpsTime start, std::int64_t index,
                         std::int64_t interval_ms);

}  // namespace morvelin::sim
