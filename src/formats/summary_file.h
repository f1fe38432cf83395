// The summary file's end-of-run block.
#pragma once

#include <string_view>

#include "formats/text_file.h"
#include "morvelin/events.h"

namespace morvelin {

// The summary's day: characters 5 to 7 of the input's name, as far as it reaches.
std::string_view SummaryDayText(std::string_view name);

// Appends the end-of-run block to the summary file.
void WriteSummaryBlock(TextFile& sum, const RunSummary& summary);

}  // namespace morvelin
