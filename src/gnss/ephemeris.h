// One satellite's broadcast ephemeris as plain values, in the units the GPS
// user algorithm takes: radians, radians per second, metres, seconds.
#pragma once

#include <cstdint>

namespace morvelin::gnss {

struct BroadcastEphemeris {
  std::int32_t prn = 0;
  std::int32_t week = 0;   // GPS week of toe (full week number)
  std::int32_t toe = 0;    // seconds of week
  std::int32_t toc = 0;    // seconds of week (of the same week as toe)
  double sqrt_a = 0.0;     // m^0.5
  double e = 0.0;
  double i0 = 0.0;         // rad
  double omega0 = 0.0;     // rad, longitude of the ascending node at the start of the week
  double omega = 0.0;      // rad, argument of perigee
  double m0 = 0.0;         // rad
  double delta_n = 0.0;    // rad/s
  double idot = 0.0;       // rad/s
  double omega_dot = 0.0;  // rad/s
  double cuc = 0.0, cus = 0.0;  // rad
  double crc = 0.0, crs = 0.0;  // m
  double cic = 0.0, cis = 0.0;  // rad
  double af0 = 0.0;  // s
  double af1 = 0.0;  // s/s
  double af2 = 0.0;  // s/s^2
  double tgd = 0.0;  // s, L1 group delay
  std::int32_t iode = 0;    // 0-255
  std::int32_t iodc = 0;    // 0-1023
  std::int32_t health = 0;  // 6-bit satellite health, 0 = healthy
  std::int32_t ura = 0;     // URA index 0-15

  bool operator==(const BroadcastEphemeris&) const = default;
};

}  // namespace morvelin::gnss
