// Event records (type 19): event markers written into the summary file.
#pragma once

#include <cstdint>

#include "convert/record_stream.h"

namespace morvelin {

// Decodes one type-19 record; returns the payload bytes left to skip.
std::int32_t DecodeEventRecord(Run& run, const RecordHeader& header);

}  // namespace morvelin
