#include "gnss/atmosphere.h"

#include <cmath>

#include "gnss/constants.h"

namespace morvelin::gnss {

double KlobucharEarthAngle(double elevation) { return 0.0137 / (elevation + 0.11) - 0.022; }

KlobucharTerms KlobucharTermsAt(const KlobucharParameters& k, const Geodetic& receiver, double elevation,
                                double azimuth, double t) {
  return KlobucharTermsAt(k, receiver, elevation, azimuth, t, KlobucharEarthAngle(elevation / kPi));
}

KlobucharTerms KlobucharTermsAt(const KlobucharParameters& k, const Geodetic& receiver, double elevation,
                                double azimuth, double t, double psi) {
  // Semicircles throughout, as the broadcast coefficients are scaled.
  const double e = elevation / kPi;
  double phi_i = receiver.latitude / kPi + psi * std::cos(azimuth);
  if (phi_i > 0.416) phi_i = 0.416;
  if (phi_i < -0.416) phi_i = -0.416;
  const double lambda_i = receiver.longitude / kPi + psi * std::sin(azimuth) / std::cos(phi_i * kPi);
  const double phi_m = phi_i + 0.064 * std::cos((lambda_i - 1.617) * kPi);
  double local = 43200.0 * lambda_i + t;
  local -= std::floor(local / kSecondsPerDay) * kSecondsPerDay;
  KlobucharTerms terms;
  terms.slant = 1.0 + 16.0 * std::pow(0.53 - e, 3.0);
  terms.amplitude = k.alpha[0] + phi_m * (k.alpha[1] + phi_m * (k.alpha[2] + phi_m * k.alpha[3]));
  if (terms.amplitude < 0.0) terms.amplitude = 0.0;
  double period = k.beta[0] + phi_m * (k.beta[1] + phi_m * (k.beta[2] + phi_m * k.beta[3]));
  if (period < 72000.0) period = 72000.0;
  terms.phase = 2.0 * kPi * (local - 50400.0) / period;
  return terms;
}

double KlobucharDelay(const KlobucharParameters& k, const Geodetic& receiver, double elevation, double azimuth,
                      double t) {
  const KlobucharTerms terms = KlobucharTermsAt(k, receiver, elevation, azimuth, t);
  const double x = terms.phase;
  if (std::fabs(x) >= 1.57) return terms.slant * kKlobucharNight;
  const double x2 = x * x;
  return terms.slant * (kKlobucharNight + terms.amplitude * (1.0 - x2 / 2.0 + x2 * x2 / 24.0));
}

double SaastamoinenDelay(const Geodetic& receiver, double elevation) {
  if (receiver.height > 10000.0 || elevation <= 0.0) return 0.0;
  const double h = receiver.height < 0.0 ? 0.0 : receiver.height;
  const double pressure = 1013.25 * std::pow(1.0 - 2.2557e-5 * h, 5.2568);   // hPa
  const double temperature = 15.0 - 6.5e-3 * h + 273.16;                     // K
  const double humidity = 0.5;
  const double vapour = 6.108 * humidity * std::exp((17.15 * temperature - 4684.0) / (temperature - 38.45));  // hPa
  const double cos_z = std::cos(kPi / 2.0 - elevation);
  const double hydrostatic =
      0.0022768 * pressure / (1.0 - 0.00266 * std::cos(2.0 * receiver.latitude) - 0.00028 * h / 1000.0);
  const double wet = 0.002277 * (1255.0 / temperature + 0.05) * vapour;
  return (hydrostatic + wet) / cos_z;
}

}  // namespace morvelin::gnss
