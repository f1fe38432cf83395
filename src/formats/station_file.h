// The station file (.sta): one "STA:" line per station entry.
#pragma once

#include <cstdint>

#include "convert/run_state.h"

namespace morvelin {

// Writes the end-of-run "Entered at start" lines (current antenna height,
// then the logged antenna height, each when non-zero).
void WriteEndOfRunStationLines(Run& run);

}  // namespace morvelin
