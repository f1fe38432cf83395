// The summary file's end-of-run block.
#pragma once

#include "convert/run_state.h"

namespace morvelin {

// Appends the summary block to run.sum. path is the run's path buffer
// (no leading blanks, ending in ".dat"): its characters 5 to 7 are the day.
void WriteSummary(Run& run, const char* path);

}  // namespace morvelin
