// The broadcast ionosphere record (type 20).
#pragma once

#include <cstdint>

#include "records/decoder.h"

namespace morvelin {

// Reads the payload the header's length declares and reports it: the eight
// coefficients when it is an IonosphereRecord, else its length alone. A
// record cut by the end of the input reports nothing. Returns 0 (nothing
// left to skip).
std::int32_t DecodeIonosphereRecord(DecodeContext& context, const RecordHeader& header);

}  // namespace morvelin
