// Ephemeris records (types 20 and 21).
#pragma once

#include <cstdint>

#include "records/decoder.h"

namespace morvelin {

// Type 21: converts the payload (EphemerisRecord) into one ephemeris and
// returns 0.
// Type 20: reads nothing and returns the bytes to skip.
std::int32_t DecodeEphemerisRecord(DecodeContext& context, const RecordHeader& header);

}  // namespace morvelin
