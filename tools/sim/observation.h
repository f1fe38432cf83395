// What a receiver measures: for every satellite above the elevation mask (at
// most 12, the highest), code and carrier on L1 and, dual frequency, on L2.
//
//   code  P_i = rho + c (dt_r - dt_s,i) + T + gamma_i I + code noise
//   phase L_i = (rho + c (dt_r - dt_s) + T - gamma_i I + phase noise) / lambda_i + N_i   (cycles)
//
// rho: geometric range with Earth rotation during the signal's travel; dt_r:
// receiver clock offset; dt_s,i: satellite clock from af0/af1/af2 with the
// relativistic term, minus TGD on L1 and minus (f1/f2)^2 TGD on L2 (the
// carrier uses the clock without TGD: an ambiguity absorbs a constant); T:
// troposphere; I: ionosphere on L1 (ionosphere.h: 0.8 of the broadcast model,
// with a smooth day-night edge), gamma_1 = 1, gamma_2 = (f1/f2)^2. The phase has the sign of the range (it grows as the satellite
// recedes), as in RINEX; N_i is an integer that holds from a satellite's
// rise until a cycle slip. The third L1 observable is the L1 Doppler in Hz
// (negative while the satellite recedes).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "constellation.h"
#include "framing/record_layouts.h"
#include "gnss/atmosphere.h"
#include "gnss/geodesy.h"
#include "gnss/orbit.h"
#include "random.h"
#include "receiver.h"

namespace morvelin::sim {

inline constexpr int kChannels = 12;

struct ObservationOptions {
  bool dual_frequency = true;
  bool p_code = true;
  bool full_l2 = true;             // false: squared L2 (no L2 code and phase reach the host)
  bool ionosphere = true;
  bool troposphere = true;
  double mask = 10.0;              // degrees
  double code_noise = 0.3;         // m, 1 sigma (L2 code: the same)
  double phase_noise = 0.002;      // m, 1 sigma
  double slip_rate = 0.0;          // per satellite and epoch, flagged by the receiver
  // per satellite and epoch of continuous tracking (a valid phase at this
  // epoch and the one before): a slip the receiver does not flag
  double unflagged_slip_rate = 0.0;
  double invalid_rate = 0.0;       // per satellite and epoch
  gnss::KlobucharParameters klobuchar = gnss::kDefaultKlobuchar;
};

// Flag bits of a satellite block, as a receiver sets them.
using satellite_flag::kCycleSlip;
using satellite_flag::kDualFrequency;
using satellite_flag::kFullL2;
using satellite_flag::kPCode;
using satellite_flag::kPhaseValid;

struct SatelliteObservation {
  int prn = 0;
  std::uint8_t f1 = 0, f2 = 0, f3 = 0;
  double pseudorange = 0.0;     // m
  double phase = 0.0;           // cycles
  double doppler = 0.0;         // Hz
  double l2_phase = 0.0;        // cycles
  double l2_code_offset = 0.0;  // m, L2 code minus L1 code
  double elevation = 0.0;       // rad (not written)
  double range = 0.0;           // m, geometric (not written)
  double l1_jump = 0.0;         // cycles the L1 ambiguity jumped at this epoch (not written)
  double l2_jump = 0.0;         // cycles the L2 ambiguity jumped at this epoch (not written)
};

// One receiver's tracking loops: which satellites it tracks and their
// ambiguities, from one epoch to the next.
class Tracker {
 public:
  Tracker(const ObservationOptions& options, Random random) : options_(options), random_(random) {}
  std::vector<SatelliteObservation> Observe(const Constellation& constellation, const ReceiverEpoch& epoch);

 private:
  struct Lock {
    bool tracked = false;
    double n1 = 0.0, n2 = 0.0;  // integer cycles
    bool phase_valid = false;   // at the last epoch
  };
  void Slip(Lock& lock, SatelliteObservation& o);
  void Track(Lock& lock, SatelliteObservation& o);
  // The code, phase and Doppler of a satellite, from its signal's path.
  void Measure(const gnss::BroadcastEphemeris& eph, const gnss::SignalPath& path, const gnss::LookAngles& look,
               const ReceiverEpoch& epoch, const Lock& lock, SatelliteObservation& o);

  ObservationOptions options_;
  Random random_;
  std::array<Lock, kMaxPrn + 1> locks_{};  // by PRN
};

}  // namespace morvelin::sim
