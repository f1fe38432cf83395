// What the quality report reads besides a conversion's events: the
// ephemerides of an ephemeris file, and the epochs of a measurement file.
#pragma once

#include <string>
#include <vector>

#include "gnss/ephemeris.h"
#include "morvelin/events.h"

namespace morvelin::qc {

// An ephemeris as the ephemeris file holds it, with its El1 and El2 values
// read through the one table of clock values (gnss/ephemeris_record.h).
gnss::BroadcastEphemeris FromGpsEph(const GpsEph& eph);

// Every GpsEph block of an ephemeris file. False with the reason in error
// when the file cannot be opened or a block cannot be read.
bool ReadEphemerisFile(const std::string& path, std::vector<gnss::BroadcastEphemeris>& out, std::string& error);

}  // namespace morvelin::qc
