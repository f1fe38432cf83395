// The header of a RINEX observation file: what it says, gathered in one
// struct, and its records written in order. INTERVAL and TIME OF LAST OBS
// are known only at the end: they are written as comment lines of the same
// length, whose positions are returned to be patched then.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gnss/geodesy.h"
#include "morvelin/rinex.h"
#include "rinex/navigation_writer.h"
#include "rinex/observation_format.h"
#include "rinex/output_file.h"
#include "rinex/rinex_time.h"

namespace morvelin::rinex {

struct ObservationHeader {
  RinexVersion version = RinexVersion::k304;
  ProgramLine program;  // PGM / RUN BY / DATE
  std::vector<std::string> comments;
  std::string marker_name;
  std::string marker_number;  // MARKER NUMBER, written when not empty
  std::string marker_type;    // written in 3.04 only
  std::string observer, agency;
  std::string receiver_number, receiver_type, receiver_version;
  std::string antenna_number, antenna_type;
  gnss::Ecef position;  // APPROX POSITION XYZ; zeros when not known
  double antenna_height = 0.0, antenna_east = 0.0, antenna_north = 0.0;
  ObservationLayout layout;
  bool l2 = false;  // 2.11: the L2 wavelength factor is 1 (else 0)
  CivilTime first_time;
};

// Where the lines to patch at the end begin in the file.
struct HeaderPositions {
  std::int64_t interval = -1;  // INTERVAL
  std::int64_t last_obs = -1;  // TIME OF LAST OBS
};

// Writes the whole header, END OF HEADER included.
HeaderPositions WriteObservationHeader(OutputFile& file, const ObservationHeader& header);

}  // namespace morvelin::rinex
