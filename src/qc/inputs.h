// What the quality report reads besides a conversion's events: the
// ephemerides of an ephemeris file, and the epochs of a measurement file.
#pragma once

#include <string>
#include <vector>

#include "gnss/ephemeris.h"
#include "morvelin/status.h"

namespace morvelin::qc {

// Every GpsEph block of an ephemeris file; refused when the file cannot be
// opened or a block cannot be read.
Result<std::vector<gnss::BroadcastEphemeris>> ReadEphemerisFile(const std::string& path);

}  // namespace morvelin::qc
