// A RINEX navigation file: GPS records of a 2.x GPS file or of a 3.x file
// (mixed or GPS), as the broadcast ephemerides they hold. Records of other
// systems are passed over with a count.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gnss/ephemeris.h"
#include "import/rinex_lines.h"

namespace morvelin::import {

struct NavigationCounts {
  std::int64_t other_systems = 0;  // records of other systems passed over
  std::int64_t duplicates = 0;     // a set (PRN, IODE, week, toe) met before
  std::int64_t skipped_records = 0;  // malformed records passed over (--lenient)
};

// Reads every GPS record of a file (path, or bytes when given) into
// ephemerides, each set (PRN, IODE, week, toe) once.
Status ReadNavigation(LineReader& lines, bool lenient, std::vector<gnss::BroadcastEphemeris>& ephemerides,
                      NavigationCounts& counts);

// The URA index whose nominal accuracy (metres) first covers accuracy.
std::int32_t UraIndexOf(double accuracy);

}  // namespace morvelin::import
