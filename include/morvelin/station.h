// Station lines built from one line of text, for a host that keeps its
// station entries as text. Part of the static library (namespace morvelin);
// not exported from the plug-in.
#pragma once

#include <cstdint>
#include <cstdio>

namespace morvelin {

// Everything declared here is the C++ library's public interface: exported
// from libmorvelin-cxx.so, which is built with hidden visibility.
#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility push(default)
#endif

// Writes one "STA:" line to station_file (opened for writing in text mode)
// from line, a NUL-terminated text whose first word starts with the antenna
// height, whose characters 9 to 16 are the point name and whose characters
// from 17 (at most 16) are the mode text. A mode text of "KIN" or "STAT"
// (any case, nothing else) sets *mode to 2 (kinematic) or 0 (static); mode
// may be null. The time of the line is the unrounded time of the most
// recent measurement record. Every line written adds one to the current
// run's station line count.
// Returns -1 when the line has fewer than two words (nothing changes; a
// null line or file counts as such), 0 otherwise.
std::int32_t WriteStationLineFromText(const char* line, std::int32_t* mode, std::FILE* station_file);

#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility pop
#endif

}  // namespace morvelin
