// The ephemeris file (.epp): a header line (written by the driver when it
// creates the file) and one eight-line block per broadcast ephemeris, in
// the order the raw data file carries them.
#pragma once

#include <cstdint>

#include "formats/text_file.h"

namespace morvelin {

// One broadcast ephemeris as the converter holds it between decoding and
// writing. The field widths decide the digits that reach the file: a float
// prints as a single (9 significant digits), a double with 15. Angles in
// radians, rates in radians per second, distances in metres, toe in seconds
// of the GPS week. The El1 and El2 values are carried by width alone.
struct GpsEph {
  std::int16_t prn = 0;  // 0-255
  std::int16_t el1_1 = 0;
  std::int32_t el1_2 = 0;
  float el1_3 = 0.0f;
  std::int32_t el1_4 = 0;
  std::int32_t el1_5 = 0;
  float el2_1 = 0.0f;
  float el2_2 = 0.0f;
  float el2_3 = 0.0f;
  std::int32_t iode = 0;  // 0-255
  float delta_n = 0.0f;
  double m0 = 0.0;
  double eccentricity = 0.0;
  double sqrt_a = 0.0;
  std::int32_t toe = 0;
  float cic = 0.0f;
  float crc = 0.0f;
  float cis = 0.0f;
  float crs = 0.0f;
  float cuc = 0.0f;
  float cus = 0.0f;
  double omega0 = 0.0;
  double omega = 0.0;
  double i0 = 0.0;
  float omega_dot = 0.0f;
  float idot = 0.0f;
};

// Appends the eight-line block of eph to the open ephemeris file. Write
// failures are remembered by the file itself.
void WriteGpsEphBlock(TextFile& file, const GpsEph& eph);

}  // namespace morvelin
