// The summary file's end-of-run block.
#pragma once

#include <string_view>

#include "formats/text_file.h"
#include "morvelin/events.h"

namespace morvelin {

// Appends the end-of-run block to the summary file.
void WriteSummaryBlock(TextFile& sum, const RunSummary& summary);

}  // namespace morvelin
