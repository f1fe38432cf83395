// The options of what the RINEX export writes, shared by `morvelin convert
// --rinex` and `morvelin rinex`: which epochs (--interval, --from, --to,
// --split), the header's values (--marker-name ... --approx-position) and
// compression (--gzip).
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "morvelin/rinex.h"

namespace morvelin::cli {

struct RinexOutputCliOptions {
  double interval = 0.0;
  std::string from, to;  // WEEK:SECONDS or YYYY-MM-DDTHH:MM:SS
  std::string split;     // "", "hour" or "day"
  std::string marker_name, marker_number, marker_type, observer, agency;
  std::string receiver;         // NUMBER/TYPE/VERSION
  std::string antenna;          // NUMBER/TYPE
  std::string antenna_delta;    // H,E,N
  std::string approx_position;  // X,Y,Z
  bool gzip = false;
};

// Adds the options to command; with needs (convert's --rinex), each needs it.
void AddRinexOutputOptions(CLI::App& command, RinexOutputCliOptions& options, CLI::Option* needs = nullptr);

// The options into the library's; refused with a text naming the option
// when a value is not of its form or does not fit its RINEX field.
Status ApplyRinexOutputOptions(const RinexOutputCliOptions& cli, RinexOptions& options);

// "WEEK:SECONDS" (a full GPS week) or "YYYY-MM-DDTHH:MM:SS[.fraction]"
// (GPS time, 1980 to 2099); false for anything else.
bool ParseRinexTime(const std::string& text, RinexGpsTime& time);

}  // namespace morvelin::cli
