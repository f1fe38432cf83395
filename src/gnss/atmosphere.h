// Signal delays of the atmosphere: the broadcast (Klobuchar) ionosphere and
// the Saastamoinen troposphere under a standard atmosphere.
#pragma once

#include "gnss/geodesy.h"

namespace morvelin::gnss {

// The eight broadcast ionosphere coefficients: alpha in s, s/semicircle,
// s/semicircle^2, s/semicircle^3; beta in s, s/semicircle, ...
struct KlobucharParameters {
  double alpha[4] = {0.0, 0.0, 0.0, 0.0};
  double beta[4] = {0.0, 0.0, 0.0, 0.0};
};

// The set this product simulates with and documents: one broadcast at
// solar minimum (a small day-time amplitude; every value a multiple of its
// broadcast scale factor, so the written record carries it exactly).
inline constexpr KlobucharParameters kDefaultKlobuchar = {
    {0x1.4p-28, 0x1p-26, -0x1p-24, -0x1p-24}  /* 4.6566e-9, 1.4901e-8, -5.9605e-8, -5.9605e-8 */,
    {79872.0, 65536.0, -65536.0, -393216.0}};

// The broadcast model's night-time vertical delay, seconds.
inline constexpr double kKlobucharNight = 5e-9;

// The broadcast model at one pierce point: its slant factor, the amplitude
// of its day-time term (s) and the phase of that term (rad, 0 at 14:00
// local time at the pierce point; the day lies within |phase| < pi/2).
struct KlobucharTerms {
  double slant = 1.0;
  double amplitude = 0.0;
  double phase = 0.0;
};
KlobucharTerms KlobucharTermsAt(const KlobucharParameters& parameters, const Geodetic& receiver, double elevation,
                                double azimuth, double t);

// The broadcast model's Earth-centred angle from the receiver to the pierce
// point, semicircles, at an elevation in semicircles: 0.0137 / (e + 0.11) -
// 0.022 (still 0.00046 at the zenith).
double KlobucharEarthAngle(double elevation);

// The same terms for a given Earth-centred angle psi (semicircles).
KlobucharTerms KlobucharTermsAt(const KlobucharParameters& parameters, const Geodetic& receiver, double elevation,
                                double azimuth, double t, double psi);

// Ionospheric group delay on L1, seconds (multiply by (f1/f2)^2 for L2), at
// GPS time t (seconds of week; only its time of day matters): the broadcast
// model, whose day-time term ends with a step at |phase| = 1.57.
double KlobucharDelay(const KlobucharParameters& parameters, const Geodetic& receiver, double elevation,
                      double azimuth, double t);

// Tropospheric delay in metres along a path of the given elevation (rad), for
// a standard atmosphere at the receiver's height: 1013.25 hPa, 15 C and 50 %
// relative humidity at sea level, Saastamoinen's zenith delays mapped with
// 1/cos(zenith angle). Heights below 0 m are taken as 0 m; above 10 km the
// delay is 0.
double SaastamoinenDelay(const Geodetic& receiver, double elevation);

}  // namespace morvelin::gnss
