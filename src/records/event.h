// Event records (type 19): event markers, time adjustments and comments.
#pragma once

#include <cstdint>

#include "records/decoder.h"

namespace morvelin {

// Decodes one type-19 record into its summary block and marker; returns the
// payload bytes left to skip.
std::int32_t DecodeEventRecord(DecodeContext& context, const RecordHeader& header);

}  // namespace morvelin
