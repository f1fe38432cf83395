// WGS-84 geodesy: Earth-fixed and geodetic coordinates, local east/north/up,
// and a satellite's elevation and azimuth seen from a receiver.
#pragma once

namespace morvelin::gnss {

inline constexpr double kWgs84A = 6378137.0;
inline constexpr double kWgs84F = 1.0 / 298.257223563;

struct Ecef {
  double x = 0.0, y = 0.0, z = 0.0;  // m
  bool operator==(const Ecef&) const = default;
};

struct Geodetic {
  double latitude = 0.0;   // rad
  double longitude = 0.0;  // rad
  double height = 0.0;     // m above the ellipsoid
};

struct Enu {
  double east = 0.0, north = 0.0, up = 0.0;  // m
};

Ecef ToEcef(const Geodetic& position);
Geodetic ToGeodetic(const Ecef& position);
double Distance(const Ecef& a, const Ecef& b);
// A local east/north/up offset at a point, turned into Earth-fixed axes and
// added to the point.
Ecef OffsetBy(const Ecef& origin, const Geodetic& origin_geodetic, const Enu& offset);

struct LookAngles {
  double elevation = 0.0;  // rad
  double azimuth = 0.0;    // rad, from north through east, [0, 2 pi)
};
LookAngles LookAt(const Geodetic& receiver_geodetic, const Ecef& receiver, const Ecef& satellite);

double Degrees(double radians);
double Radians(double degrees);

}  // namespace morvelin::gnss
