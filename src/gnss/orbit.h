// The GPS user algorithm: a satellite's position and clock from its
// broadcast ephemeris, and the range a receiver measures to it.
#pragma once

#include "gnss/ephemeris.h"
#include "gnss/geodesy.h"

namespace morvelin::gnss {

struct SatelliteState {
  Ecef position;             // m, Earth-fixed frame at time t
  double clock = 0.0;        // s, af0 + af1 dt + af2 dt^2 + relativistic term (no group delay)
  double relativistic = 0.0; // s, F e sqrt(A) sin(E), included in clock
};

// Position and clock correction at GPS time t (seconds of week; t may lie in
// the week before or after toe: differences are taken across the week end).
SatelliteState SatelliteAt(const BroadcastEphemeris& eph, double t);

// Satellite clock correction of a code on L1 (P or C/A) and on L2: the
// clock minus the group delay, scaled by (f1/f2)^2 on L2.
double L1ClockCorrection(const BroadcastEphemeris& eph, const SatelliteState& state);
double L2ClockCorrection(const BroadcastEphemeris& eph, const SatelliteState& state);

struct SignalPath {
  double range = 0.0;          // m, geometric, receiver at receive time to satellite at transmit time
  double travel_time = 0.0;    // s
  double transmit_time = 0.0;  // GPS seconds of week (receive time - travel time)
  Ecef satellite;              // satellite at transmit time, in the Earth-fixed frame of receive time
  SatelliteState state;        // satellite position and clock at transmit time (frame of transmit time)
};

// The signal from the satellite to a receiver at the receive time (GPS
// seconds of week): transmit time by iteration, Earth rotation during the
// travel applied to the satellite position.
SignalPath SignalTo(const BroadcastEphemeris& eph, const Ecef& receiver, double receive_time);

}  // namespace morvelin::gnss
