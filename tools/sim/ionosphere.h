// The ionosphere the simulated signals cross (the truth): the broadcast
// model's own terms (pierce point, slant factor, amplitude and period of the
// day-time term, the receiver writes their coefficients) with a day-time
// profile that reaches the night-time floor without a step. The broadcast
// model cuts its day term off at |x| = 1.57 where the term still holds 2 % of
// its amplitude: a jump of up to a few centimetres in one epoch that a slip
// detector on the geometry-free combination would take for a slip.
//
//   I = c F (5 ns + A D(x))     F slant factor, A amplitude, x phase
//   D(x) = 1 - x^2/2 + x^4/24              |x| <= x0 = 1.45 (the broadcast term)
//   D(x) = D(x0) ((x1 - |x|) / (x1 - x0))^2   x0 < |x| < x1
//   D(x) = 0                               |x| >= x1
//
// x1 = x0 + 2 D(x0) / |D'(x0)| = 1.7323: the parabola meets the broadcast
// term with its value and slope at x0 and the floor with slope 0 at x1, so
// the delay and its rate are continuous everywhere. The pierce point is the
// broadcast model's moved towards the receiver by up to 0.00046 semicircles
// (0.08 degrees), so that it reaches the receiver at the zenith: the
// broadcast one stays that far off in the satellite's azimuth, which turns
// round within a second as a satellite passes overhead (a change of 1.3 mm
// in the geometry-free combination in that second).
//
// The truth is kIonosphereShare of that delay: the quiet solar-minimum
// ionosphere the broadcast model overestimates. Its geometry-free change
// stays below 1 mm per second above 10 degrees elevation anywhere (the
// broadcast model's own reaches 1.06 mm at high mid-latitudes, where a low
// satellite's pierce point crosses the amplitude's latitude gradient), and a
// user of the broadcast model keeps an error of 25 % of the truth, smooth
// but for the night edges (4.4 % of F A more there).
#pragma once

#include "gnss/atmosphere.h"

namespace morvelin::sim {

// The truth's share of the broadcast model's delay.
inline constexpr double kIonosphereShare = 0.8;

// The day-time profile D(x) above.
double DayProfile(double x);

// The ionospheric group delay on L1, seconds (times (f1/f2)^2 on L2), at GPS
// time t (seconds of week), for the broadcast coefficients the receiver
// writes: kIonosphereShare F (5 ns + A D(x)).
double IonosphereDelay(const gnss::KlobucharParameters& parameters, const gnss::Geodetic& receiver,
                       double elevation, double azimuth, double t);

}  // namespace morvelin::sim
