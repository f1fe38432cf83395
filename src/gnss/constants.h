// Physical and system constants of GPS the models use, named once: the
// speed of light, pi, the week and the PRN range come from src/base, where
// the conversion takes them too.
#pragma once

#include "base/gnss_constants.h"

namespace morvelin::gnss {

inline constexpr double kEarthGravitation = 3.986005e14;     // mu, m^3/s^2 (WGS-84, as the user algorithm uses it)
inline constexpr double kEarthRotation = 7.2921151467e-5;    // rad/s
inline constexpr double kRelativisticF = -4.442807633e-10;   // s/m^0.5
inline constexpr double kL1Frequency = 1575.42e6;            // Hz
inline constexpr double kL2Frequency = 1227.60e6;            // Hz
inline constexpr double kL1Wavelength = kSpeedOfLight / kL1Frequency;
inline constexpr double kL2Wavelength = kSpeedOfLight / kL2Frequency;
// (f1/f2)^2 = (77/60)^2: scales the L1 group delay and ionosphere to L2.
inline constexpr double kL1L2Gamma = (77.0 / 60.0) * (77.0 / 60.0);

}  // namespace morvelin::gnss
