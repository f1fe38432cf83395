// The observation combinations the quality report works with, from L1 and
// L2 code (metres) and carrier phase (cycles, with the sign of the range).
//
//   geometry-free   GF  = lambda1 L1 - lambda2 L2                      m: ionosphere and ambiguities
//   Melbourne-Wuebbena MW = (L1 - L2) - (f1 P1 + f2 P2) / ((f1 + f2) lambdaW)   wide-lane cycles
//   code minus phase CMC = P1 - lambda1 L1                              m: twice the ionosphere, ambiguity, code noise
//   multipath       MP1 = P1 - (1 + 2/(a-1)) lambda1 L1 + (2/(a-1)) lambda2 L2
//                   MP2 = P2 - (2a/(a-1)) lambda1 L1 + (2a/(a-1) - 1) lambda2 L2,   a = (f1/f2)^2
//
// Geometry, clocks and troposphere cancel in all of them; the ionosphere
// cancels in MW, MP1 and MP2, which hold code noise and multipath plus a
// constant per unbroken arc.
#pragma once

#include "gnss/constants.h"

namespace morvelin::qc {

inline constexpr double kWideLaneWavelength = kSpeedOfLight / (gnss::kL1Frequency - gnss::kL2Frequency);

inline double GeometryFree(double l1, double l2) { return gnss::kL1Wavelength * l1 - gnss::kL2Wavelength * l2; }

inline double MelbourneWuebbena(double p1, double p2, double l1, double l2) {
  const double narrow_code =
      (gnss::kL1Frequency * p1 + gnss::kL2Frequency * p2) / (gnss::kL1Frequency + gnss::kL2Frequency);
  return (l1 - l2) - narrow_code / kWideLaneWavelength;
}

inline double CodeMinusPhase(double p1, double l1) { return p1 - gnss::kL1Wavelength * l1; }

inline double Multipath1(double p1, double l1, double l2) {
  constexpr double k = 2.0 / (gnss::kL1L2Gamma - 1.0);
  return p1 - (1.0 + k) * gnss::kL1Wavelength * l1 + k * gnss::kL2Wavelength * l2;
}

inline double Multipath2(double p2, double l1, double l2) {
  constexpr double k = 2.0 * gnss::kL1L2Gamma / (gnss::kL1L2Gamma - 1.0);
  return p2 - k * gnss::kL1Wavelength * l1 + (k - 1.0) * gnss::kL2Wavelength * l2;
}

}  // namespace morvelin::qc
