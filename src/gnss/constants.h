// Physical and system constants of GPS, named once.
#pragma once

namespace morvelin::gnss {

inline constexpr double kSpeedOfLight = 299792458.0;        // m/s
// The double nearest to pi: the value the converter scales semicircles with,
// so every angle here is in radians exactly as a reader of a raw record has it.
inline constexpr double kPi = 3.141592653589793;
inline constexpr double kEarthGravitation = 3.986005e14;     // mu, m^3/s^2 (WGS-84, as the user algorithm uses it)
inline constexpr double kEarthRotation = 7.2921151467e-5;    // rad/s
inline constexpr double kRelativisticF = -4.442807633e-10;   // s/m^0.5
inline constexpr double kL1Frequency = 1575.42e6;            // Hz
inline constexpr double kL2Frequency = 1227.60e6;            // Hz
inline constexpr double kL1Wavelength = kSpeedOfLight / kL1Frequency;
inline constexpr double kL2Wavelength = kSpeedOfLight / kL2Frequency;
// (f1/f2)^2 = (77/60)^2: scales the L1 group delay and ionosphere to L2.
inline constexpr double kL1L2Gamma = (77.0 / 60.0) * (77.0 / 60.0);
inline constexpr double kSecondsPerWeek = 604800.0;
inline constexpr double kHalfWeek = 302400.0;

}  // namespace morvelin::gnss
