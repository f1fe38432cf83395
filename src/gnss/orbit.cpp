#include "gnss/orbit.h"

#include <cmath>

#include "gnss/constants.h"
#include "gnss/time.h"

namespace morvelin::gnss {

SatelliteState SatelliteAt(const BroadcastEphemeris& eph, double t) {
  const double a = eph.sqrt_a * eph.sqrt_a;
  const double n0 = std::sqrt(kEarthGravitation / (a * a * a));
  const double tk = WrapHalfWeek(t - eph.toe);
  const double n = n0 + eph.delta_n;
  const double mk = eph.m0 + n * tk;
  double ek = mk;
  for (int i = 0; i < 30; ++i) {
    const double next = mk + eph.e * std::sin(ek);
    const bool done = std::fabs(next - ek) < 1e-15;
    ek = next;
    if (done) break;
  }
  const double sin_e = std::sin(ek), cos_e = std::cos(ek);
  const double vk = std::atan2(std::sqrt(1.0 - eph.e * eph.e) * sin_e, cos_e - eph.e);
  const double phi = vk + eph.omega;
  const double sin2 = std::sin(2.0 * phi), cos2 = std::cos(2.0 * phi);
  const double uk = phi + eph.cus * sin2 + eph.cuc * cos2;
  const double rk = a * (1.0 - eph.e * cos_e) + eph.crs * sin2 + eph.crc * cos2;
  const double ik = eph.i0 + eph.cis * sin2 + eph.cic * cos2 + eph.idot * tk;
  const double xp = rk * std::cos(uk), yp = rk * std::sin(uk);
  const double node = eph.omega0 + (eph.omega_dot - kEarthRotation) * tk - kEarthRotation * eph.toe;
  const double sin_node = std::sin(node), cos_node = std::cos(node), cos_i = std::cos(ik);

  SatelliteState state;
  state.position = {xp * cos_node - yp * cos_i * sin_node, xp * sin_node + yp * cos_i * cos_node, yp * std::sin(ik)};
  const double dt = WrapHalfWeek(t - eph.toc);
  state.relativistic = kRelativisticF * eph.e * eph.sqrt_a * sin_e;
  state.clock = eph.af0 + eph.af1 * dt + eph.af2 * dt * dt + state.relativistic;
  return state;
}

double L1ClockCorrection(const BroadcastEphemeris& eph, const SatelliteState& state) { return state.clock - eph.tgd; }
double L2ClockCorrection(const BroadcastEphemeris& eph, const SatelliteState& state) {
  return state.clock - kL1L2Gamma * eph.tgd;
}

SignalPath SignalTo(const BroadcastEphemeris& eph, const Ecef& receiver, double receive_time) {
  SignalPath path;
  path.travel_time = 0.075;
  for (int i = 0; i < 10; ++i) {
    path.transmit_time = receive_time - path.travel_time;
    path.state = SatelliteAt(eph, path.transmit_time);
    const double angle = kEarthRotation * path.travel_time;
    const Ecef& s = path.state.position;
    path.satellite = {s.x * std::cos(angle) + s.y * std::sin(angle), -s.x * std::sin(angle) + s.y * std::cos(angle), s.z};
    path.range = Distance(path.satellite, receiver);
    const double travel = path.range / kSpeedOfLight;
    const bool done = std::fabs(travel - path.travel_time) < 1e-14;
    path.travel_time = travel;
    if (done) break;
  }
  path.transmit_time = receive_time - path.travel_time;
  return path;
}

}  // namespace morvelin::gnss
