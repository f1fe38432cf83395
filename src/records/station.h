// Station, antenna and position records (types 5, 6, 8, 11, 12, 15, 16).
#pragma once

#include <cstdint>

#include "records/decoder.h"

namespace morvelin {

// Decodes one record of these types; returns the payload bytes left to
// skip (never negative).
std::int32_t DecodeStationRecord(DecodeContext& context, const RecordHeader& header);

// The end-of-run "Entered at start" lines: the current antenna height, then
// the logged antenna height, each when non-zero.
void ReportEndOfRunStationLines(DecodeContext& context);

// Splits an angle in decimal degrees into degrees, minutes and
// single-precision seconds (60.0 seconds carry into the minutes once).
void DegreesToDms(double angle, std::int32_t* degrees, std::int32_t* minutes, float* seconds);

}  // namespace morvelin
