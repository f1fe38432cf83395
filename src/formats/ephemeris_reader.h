// The reading of an ephemeris file (.epp): its ephemerides as the GPS user
// algorithm takes them (the quality report, the Python module, the RINEX
// export of a measurement file).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "gnss/ephemeris.h"
#include "morvelin/status.h"

namespace morvelin {

// How every ephemeris file starts (its header line, whatever program wrote
// it).
inline constexpr std::string_view kEphemerisFileMark = "$EPHREC ";

// Reads in's first line; true when it starts with the mark.
bool ReadEphemerisFileMark(std::FILE* in);

// The text of a file refused as not an ephemeris file.
std::string NotAnEphemerisFile(const std::string& path);

// Every GpsEph block of an ephemeris file; refused when the file cannot be
// opened, does not start as an ephemeris file, or a block cannot be read.
Result<std::vector<gnss::BroadcastEphemeris>> ReadEphemerisFile(const std::string& path);

}  // namespace morvelin
