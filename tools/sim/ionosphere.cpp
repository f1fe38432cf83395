#include "ionosphere.h"

#include <cmath>

#include "gnss/constants.h"

namespace morvelin::sim {

namespace {

constexpr double kBlendStart = 1.45;  // x0, rad
constexpr double kBlendValue = 1.0 - kBlendStart * kBlendStart / 2.0 +
                               kBlendStart * kBlendStart * kBlendStart * kBlendStart / 24.0;  // D(x0)
constexpr double kBlendSlope = -kBlendStart + kBlendStart * kBlendStart * kBlendStart / 6.0;  // D'(x0) < 0
constexpr double kNightStart = kBlendStart - 2.0 * kBlendValue / kBlendSlope;                 // x1

}  // namespace

double DayProfile(double x) {
  const double a = std::fabs(x);
  if (a <= kBlendStart) {
    const double x2 = a * a;
    return 1.0 - x2 / 2.0 + x2 * x2 / 24.0;
  }
  if (a >= kNightStart) return 0.0;
  const double rest = (kNightStart - a) / (kNightStart - kBlendStart);
  return kBlendValue * rest * rest;
}

double IonosphereDelay(const gnss::KlobucharParameters& parameters, const gnss::Geodetic& receiver,
                       double elevation, double azimuth, double t) {
  // The broadcast pierce point stays 0.00046 semicircles off the receiver at
  // the zenith, where the azimuth of a passing satellite turns round in a
  // second; this one comes down to the receiver there.
  const double e = elevation / kPi;
  const double psi = gnss::KlobucharEarthAngle(e) - gnss::KlobucharEarthAngle(0.5) * 2.0 * e;
  const gnss::KlobucharTerms terms = gnss::KlobucharTermsAt(parameters, receiver, elevation, azimuth, t, psi);
  return kIonosphereShare * terms.slant * (gnss::kKlobucharNight + terms.amplitude * DayProfile(terms.phase));
}

}  // namespace morvelin::sim
