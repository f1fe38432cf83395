// What the quality report reads besides a conversion's events: the
// ephemerides of an ephemeris file, and the epochs of a measurement file.
#pragma once

#include <string>
#include <vector>

#include "gnss/ephemeris.h"
#include "morvelin/events.h"
#include "morvelin/status.h"

namespace morvelin::qc {

// An ephemeris as the ephemeris file holds it, with its El1 and El2 values
// read through the one table of clock values (gnss/ephemeris_record.h).
gnss::BroadcastEphemeris FromGpsEph(const GpsEph& eph);

// Every GpsEph block of an ephemeris file; refused when the file cannot be
// opened or a block cannot be read.
Result<std::vector<gnss::BroadcastEphemeris>> ReadEphemerisFile(const std::string& path);

}  // namespace morvelin::qc
