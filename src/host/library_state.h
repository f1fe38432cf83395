// The process-wide state of one loaded library: the message buffer (which
// is also the host's error text), the abort counter, the host's callback
// block and the options of the current conversion.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "morvelin/morvelin.h"

namespace morvelin {

inline constexpr std::size_t kMessageSize = MORVELIN_MESSAGE_SIZE;

struct LibraryState {
  // The last text formatted: a failure, or a message sent to the host.
  // Never cleared at the start of a run.
  char message[kMessageSize] = {};
  // Raised by Abort (possibly from another thread); read before each pass
  // of the record reader.
  std::atomic<std::int32_t> abort_counter{0};
  // The callback block of the current ConvertFile call; may be null.
  const MorvelinCallbacks* callbacks = nullptr;
  // 0 static, 2 kinematic: set from the options, changed by station records.
  std::int32_t motion_mode = 0;
  // The second option word, for WriteStationLineFromText.
  std::int32_t station_text_option = 0;
  // Unrounded time (s) of the most recent measurement record; survives runs.
  double last_epoch_time = 0.0;
};

LibraryState& Library();

// Copies text into the message buffer, cut to 159 characters.
void SetMessage(std::string_view text);

// Sets the message buffer to text and hands it to the host's message
// callback with time (GPS seconds, or -1.0) when the block and slot exist.
void SendMessage(double time, std::string_view text);

// Hands a fixed text to the message callback without touching the
// message buffer.
void SendFixedMessage(double time, const char* text);

// Calls the host's progress callback, scaling 64-bit positions so that
// both arguments fit 32 bits with their ratio kept.
void SendProgress(std::int64_t position, std::int64_t length);

inline bool AbortRequested() { return Library().abort_counter.load(std::memory_order_relaxed) != 0; }

}  // namespace morvelin
