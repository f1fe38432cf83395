#include "gnss/geodesy.h"

#include <cmath>

#include "gnss/constants.h"

namespace morvelin::gnss {

namespace {
constexpr double kE2 = kWgs84F * (2.0 - kWgs84F);  // first eccentricity squared
}

double Degrees(double radians) { return radians * (180.0 / kPi); }
double Radians(double degrees) { return degrees * (kPi / 180.0); }

Ecef ToEcef(const Geodetic& p) {
  const double sin_lat = std::sin(p.latitude), cos_lat = std::cos(p.latitude);
  const double n = kWgs84A / std::sqrt(1.0 - kE2 * sin_lat * sin_lat);
  return {(n + p.height) * cos_lat * std::cos(p.longitude), (n + p.height) * cos_lat * std::sin(p.longitude),
          (n * (1.0 - kE2) + p.height) * sin_lat};
}

Geodetic ToGeodetic(const Ecef& p) {
  const double r2 = p.x * p.x + p.y * p.y;
  double z = p.z, zk = 0.0, n = kWgs84A, sin_lat = 0.0;
  for (int i = 0; i < 20 && std::fabs(z - zk) >= 1e-6; ++i) {
    zk = z;
    sin_lat = z / std::sqrt(r2 + z * z);
    n = kWgs84A / std::sqrt(1.0 - kE2 * sin_lat * sin_lat);
    z = p.z + n * kE2 * sin_lat;
  }
  Geodetic g;
  g.latitude = r2 > 1e-12 ? std::atan(z / std::sqrt(r2)) : (p.z > 0.0 ? kPi / 2.0 : -kPi / 2.0);
  g.longitude = r2 > 1e-12 ? std::atan2(p.y, p.x) : 0.0;
  g.height = std::sqrt(r2 + z * z) - n;
  return g;
}

double Distance(const Ecef& a, const Ecef& b) {
  const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

Ecef OffsetBy(const Ecef& origin, const Geodetic& g, const Enu& d) {
  const double sl = std::sin(g.latitude), cl = std::cos(g.latitude);
  const double so = std::sin(g.longitude), co = std::cos(g.longitude);
  return {origin.x - so * d.east - sl * co * d.north + cl * co * d.up,
          origin.y + co * d.east - sl * so * d.north + cl * so * d.up, origin.z + cl * d.north + sl * d.up};
}

LookAngles LookAt(const Geodetic& g, const Ecef& receiver, const Ecef& satellite) {
  const double dx = satellite.x - receiver.x, dy = satellite.y - receiver.y, dz = satellite.z - receiver.z;
  const double sl = std::sin(g.latitude), cl = std::cos(g.latitude);
  const double so = std::sin(g.longitude), co = std::cos(g.longitude);
  const double east = -so * dx + co * dy;
  const double north = -sl * co * dx - sl * so * dy + cl * dz;
  const double up = cl * co * dx + cl * so * dy + sl * dz;
  LookAngles look;
  look.elevation = std::atan2(up, std::sqrt(east * east + north * north));
  look.azimuth = std::atan2(east, north);
  if (look.azimuth < 0.0) look.azimuth += 2.0 * kPi;
  return look;
}

}  // namespace morvelin::gnss
