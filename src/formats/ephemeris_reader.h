// The reading of an ephemeris file (.epp): its ephemerides as the GPS user
// algorithm takes them (the quality report, the Python module, the RINEX
// export of a measurement file).
#pragma once

#include <string>
#include <vector>

#include "gnss/ephemeris.h"
#include "morvelin/status.h"

namespace morvelin {

// Every GpsEph block of an ephemeris file; refused when the file cannot be
// opened or a block cannot be read.
Result<std::vector<gnss::BroadcastEphemeris>> ReadEphemerisFile(const std::string& path);

}  // namespace morvelin
