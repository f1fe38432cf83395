// The ephemeris file (.epp): a header line (written by the driver when it
// creates the file) and one eight-line block per broadcast ephemeris, in
// the order the raw data file carries them.
#pragma once

#include <cstdint>

#include "formats/text_file.h"
#include "morvelin/events.h"

namespace morvelin {

// Appends the eight-line block of eph to the open ephemeris file. Write
// failures are remembered by the file itself.
void WriteGpsEphBlock(TextFile& file, const GpsEph& eph);

}  // namespace morvelin
