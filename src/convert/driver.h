// The conversion driver: one run over one raw data file.
#pragma once

#include <cstdint>

#include "convert/run_state.h"

namespace morvelin {

// Rewrites the extension of the NUL-terminated path in buffer (of
// buffer_size bytes) in place: leading blanks are removed, then the text
// from the last '.' after the last directory separator is replaced by
// extension (".gpb"), or extension is appended. Separators: the backslash
// on Windows; the backslash and '/' on Linux. False (buffer unchanged) when
// the result would not fit.
bool ReplaceExtension(char* buffer, const char* extension, std::size_t buffer_size = 512);

// Opens the raw data file and creates the .gpb, .epp, .sum and .sta files
// beside it, leaving the path ending in ".dat". 0 when all five are open,
// 1 on the first failure (message in the message buffer).
int OpenRunFiles(Run& run, char* path);

// Runs one conversion of the path (the request's 512-byte path field).
// 0 when the input was read to its end or the host asked to stop; -1 when
// a file could not be opened, created or written, or the input could not
// be read (message in the message buffer).
int RunConversion(char* path);

}  // namespace morvelin
