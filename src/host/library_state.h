// The process-wide state of one loaded library that the host interface
// makes so: the abort counter, the callback block of the running call, the
// options word kept for the station text writer, the last epoch time that
// survives runs, and the counts of the latest run. The message text lives
// with the measurement file library's (base/message.h).
#pragma once

#include <atomic>
#include <cstdint>

#include "morvelin/converter.h"
#include "morvelin/morvelin.h"

namespace morvelin {

struct LibraryState {
  // Raised by Abort (possibly from another thread); read before each record.
  std::atomic<std::int32_t> abort_counter{0};
  // The callback block of the current ConvertFile call; may be null.
  const MorvelinCallbacks* callbacks = nullptr;
  // The second option word, for WriteStationLineFromText.
  std::int32_t station_text_option = 0;
  // Unrounded time (s) of the most recent measurement record; survives runs.
  double last_epoch_time = 0.0;
  // The counts of the running or latest conversion.
  ConversionCounts counts;
  // Station lines written by WriteStationLineFromText during the running conversion.
  std::int32_t text_station_lines = 0;
  bool converting = false;
};

LibraryState& Library();

// The progress callback takes 32-bit values: positions of 2 GiB and more
// are divided, with the length, by the same power of two, so the ratio stays true.
void ScaleProgress(std::int64_t position, std::int64_t length, std::int32_t& scaled_position,
                   std::int32_t& scaled_length);

}  // namespace morvelin
