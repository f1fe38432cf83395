#include "observation.h"

#include <algorithm>
#include <cmath>

#include "gnss/constants.h"
#include "gnss/orbit.h"
#include "ionosphere.h"

namespace morvelin::sim {

namespace {

struct Candidate {
  std::size_t index;
  gnss::SignalPath path;
  gnss::LookAngles look;
};

double NewAmbiguity(Random& random) { return std::round(random.Uniform(-1048576.0, 1048576.0)); }

// Range rate from the satellite's motion over a tenth of a second around
// the transmit time and the receiver's velocity, both Earth-fixed: the
// range is the Earth-fixed one, so the frame's rotation adds no term of its
// own (one added here made the Doppler differ from the phase's rate by up
// to 1.5 kHz).
double RangeRate(const gnss::BroadcastEphemeris& eph, const gnss::SignalPath& path, const ReceiverEpoch& epoch) {
  const gnss::Ecef ahead = gnss::SatelliteAt(eph, path.transmit_time + 0.05).position;
  const gnss::Ecef behind = gnss::SatelliteAt(eph, path.transmit_time - 0.05).position;
  const double vx = (ahead.x - behind.x) / 0.1;
  const double vy = (ahead.y - behind.y) / 0.1;
  const double vz = (ahead.z - behind.z) / 0.1;
  const double ux = (path.satellite.x - epoch.position.x) / path.range;
  const double uy = (path.satellite.y - epoch.position.y) / path.range;
  const double uz = (path.satellite.z - epoch.position.z) / path.range;
  return (vx - epoch.velocity.x) * ux + (vy - epoch.velocity.y) * uy + (vz - epoch.velocity.z) * uz;
}

// The satellites in view above the mask with a healthy ephemeris: the
// highest kChannels of them, in PRN order.
std::vector<Candidate> Visible(const Constellation& constellation, const ReceiverEpoch& epoch, double mask) {
  std::vector<Candidate> visible;
  for (std::size_t i = 0; i < constellation.Size(); ++i) {
    const gnss::BroadcastEphemeris& eph = constellation.At(i, epoch.time);
    Candidate c{i, gnss::SignalTo(eph, epoch.position, epoch.time.seconds), {}};
    c.look = gnss::LookAt(epoch.geodetic, epoch.position, c.path.satellite);
    if (c.look.elevation >= mask && eph.health == 0) visible.push_back(c);
  }
  std::sort(visible.begin(), visible.end(),
            [](const Candidate& a, const Candidate& b) { return a.look.elevation > b.look.elevation; });
  if (visible.size() > static_cast<std::size_t>(kChannels)) visible.resize(kChannels);
  std::sort(visible.begin(), visible.end(), [&](const Candidate& a, const Candidate& b) {
    return constellation.At(a.index, epoch.time).prn < constellation.At(b.index, epoch.time).prn;
  });
  return visible;
}

}  // namespace

// Both carriers lose the same stretch of signal: 1-500 L1 cycles either way
// and the L2 cycles of the same time.
void Tracker::Slip(Lock& lock, SatelliteObservation& o) {
  const double jump = std::round(random_.Uniform(1.0, 500.0)) * (random_.Chance(0.5) ? 1.0 : -1.0);
  o.l1_jump = jump;
  o.l2_jump = std::round(jump * 60.0 / 77.0);
  lock.n1 += o.l1_jump;
  lock.n2 += o.l2_jump;
}

// Carries the lock of a satellite on to this epoch and sets its flags: the
// phase now and then invalid, a new ambiguity at its rise, a slip now and
// then. A slip shows at an epoch with a valid phase, where the receiver can
// flag it.
void Tracker::Track(Lock& lock, SatelliteObservation& o) {
  o.f1 = static_cast<std::uint8_t>(kPhaseValid | (options_.dual_frequency ? kDualFrequency : 0) |
                                   (options_.dual_frequency && options_.full_l2 ? kFullL2 : 0));
  o.f2 = options_.p_code ? kPCode : 0;
  if (random_.Chance(options_.invalid_rate)) o.f1 = static_cast<std::uint8_t>(o.f1 & ~kPhaseValid);
  const bool valid = (o.f1 & kPhaseValid) != 0;
  if (!lock.tracked) {
    lock = {true, NewAmbiguity(random_), NewAmbiguity(random_)};
  } else if (valid && random_.Chance(options_.slip_rate)) {
    Slip(lock, o);
    o.f1 |= kCycleSlip;
  } else if (valid && lock.phase_valid && random_.Chance(options_.unflagged_slip_rate)) {
    Slip(lock, o);
  }
  lock.phase_valid = valid;
}

void Tracker::Measure(const gnss::BroadcastEphemeris& eph, const gnss::SignalPath& path,
                      const gnss::LookAngles& look, const ReceiverEpoch& epoch, const Lock& lock,
                      SatelliteObservation& o) {
  const double iono = options_.ionosphere ? kSpeedOfLight * IonosphereDelay(options_.klobuchar, epoch.geodetic,
                                                                             look.elevation, look.azimuth,
                                                                             epoch.time.seconds)
                                          : 0.0;
  const double tropo = options_.troposphere ? gnss::SaastamoinenDelay(epoch.geodetic, look.elevation) : 0.0;
  const double receiver_clock = kSpeedOfLight * epoch.clock_offset;
  const double carrier = path.range + receiver_clock - kSpeedOfLight * path.state.clock + tropo;
  const double p1 = path.range + receiver_clock - kSpeedOfLight * gnss::L1ClockCorrection(eph, path.state) + tropo +
                    iono + options_.code_noise * random_.Gaussian();
  o.pseudorange = p1;
  const double phase_noise = options_.phase_noise * random_.Gaussian();
  o.phase = (carrier - iono + phase_noise) / gnss::kL1Wavelength + lock.n1;
  const double rate = RangeRate(eph, path, epoch) + kSpeedOfLight * (epoch.clock_drift - eph.af1);
  o.doppler = -rate / gnss::kL1Wavelength;
  if (options_.dual_frequency) {
    const double p2 = path.range + receiver_clock - kSpeedOfLight * gnss::L2ClockCorrection(eph, path.state) +
                      tropo + gnss::kL1L2Gamma * iono + options_.code_noise * random_.Gaussian();
    o.l2_code_offset = p2 - p1;
    o.l2_phase = (carrier - gnss::kL1L2Gamma * iono + options_.phase_noise * random_.Gaussian()) /
                     gnss::kL2Wavelength + lock.n2;
  }
  if (!(o.f1 & kPhaseValid)) o.phase = o.l2_phase = 0.0;
}

std::vector<SatelliteObservation> Tracker::Observe(const Constellation& constellation, const ReceiverEpoch& epoch) {
  std::array<bool, kMaxPrn + 1> seen{};
  std::vector<SatelliteObservation> out;
  for (const Candidate& c : Visible(constellation, epoch, gnss::Radians(options_.mask))) {
    const gnss::BroadcastEphemeris& eph = constellation.At(c.index, epoch.time);
    const auto prn = static_cast<std::size_t>(eph.prn);
    seen[prn] = true;
    Lock& lock = locks_[prn];
    SatelliteObservation o;
    o.prn = eph.prn;
    o.elevation = c.look.elevation;
    o.range = c.path.range;
    Track(lock, o);
    Measure(eph, c.path, c.look, epoch, lock, o);
    out.push_back(o);
  }
  for (std::size_t prn = 1; prn < locks_.size(); ++prn)
    if (!seen[prn]) locks_[prn].tracked = false;
  return out;
}

}  // namespace morvelin::sim
