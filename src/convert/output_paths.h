// Where a conversion's four outputs go, computed and checked once before
// anything is created.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "formats/host_files.h"
#include "morvelin/converter.h"

namespace morvelin {

// Rewrites the extension of the NUL-terminated path in buffer (of
// buffer_size bytes) in place, as a host's path is rewritten: leading
// blanks are removed, then the text from the last '.' after the last
// directory separator is replaced by extension (".gpb"), or extension is
// appended. Separators: the backslash on Windows; the backslash and '/' on
// Linux. False (buffer unchanged) when the result would not fit.
bool ReplaceExtension(char* buffer, const char* extension, std::size_t buffer_size = 512);

// The same rule on a string; false when the result would not fit 511 characters.
bool WithExtension(std::string_view path, const char* extension, std::string& result);

// The input's path, or the name a stream or bytes in memory go by.
const std::string& InputName(const ConversionInput& input);

struct OutputPlan {
  OutputPaths paths;
  std::string day_name;  // the name whose characters 5 to 7 are the summary's day
};

// The outputs of a request (see ConversionRequest). False, with the host's
// text in failure, when a path does not fit its field or an output would
// overwrite the input.
Result<OutputPlan> PlanOutputs(const ConversionRequest& request);

// Makes sure, before any output is created or emptied, that each can be
// written: an existing file is opened for update without changing it, a
// missing one is created. When one cannot be written, the files this check
// created are removed again, failure holds the text the host would see
// for that file and reason says why ("Permission denied", "Is a
// directory"), so a refused run leaves the disk as it found it.
// failed_output: the index (0 .gpb, 1 .epp, 2 .sum, 3 .sta) of that output.
Status CheckOutputsWritable(const OutputPaths& paths, int& failed_output);

}  // namespace morvelin
