// Ephemeris records (type 21).
#pragma once

#include <cstdint>

#include "records/decoder.h"

namespace morvelin {

// Converts the payload (EphemerisRecord) into one ephemeris and returns 0.
std::int32_t DecodeEphemerisRecord(DecodeContext& context);

}  // namespace morvelin
