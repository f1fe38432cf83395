// The five functions a host calls. No exception leaves them.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "convert/driver.h"
#include "convert/run_state.h"
#include "host/library_state.h"
#include "morvelin/morvelin.h"
#include "util/file_io.h"

using namespace morvelin;

namespace {

constexpr std::size_t kDetectBytes = 32000;
constexpr std::uint8_t kMeasurementType = 17;
constexpr int kMaxChannels = 12;
constexpr int kDetectThreshold = 10;  // more candidates than this: a raw data file

bool HasDatExtension(const char* path, std::size_t length) {
  const char* tail = path + length - 3;
  auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
  return upper(tail[0]) == 'D' && upper(tail[1]) == 'A' && upper(tail[2]) == 'T';
}

// Counts measurement-record headers (preamble, type 17) at every position
// of the first bytes, headers inside payloads included; one with more than
// 12 satellites ends the scan with a count of 0.
int CountCandidates(const std::uint8_t* bytes, std::size_t size) {
  int count = 0;
  for (std::size_t i = 0; i + 16 < size; ++i) {
    if (bytes[i] != 0x74 || bytes[i + 3] != kMeasurementType) continue;
    ++count;
    // The satellite count lies 20 bytes on; near the end of the bytes read
    // it is not there to test, and the candidate stands.
    if (i + 20 < size && bytes[i + 20] > kMaxChannels) return 0;
  }
  return count;
}

int32_t DetectFile(const char* path) {
  if (path == nullptr) return 0;
  std::size_t length = std::strlen(path);
  if (length < 4 || !HasDatExtension(path, length)) return 0;
  if (IsDirectory(path)) return 0;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return 0;
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kDetectBytes]);
  if (!buffer) {
    std::fclose(file);
    return 0;
  }
  std::size_t size = std::fread(buffer.get(), 1, kDetectBytes, file);
  std::fclose(file);
  return CountCandidates(buffer.get(), size) > kDetectThreshold ? 1 : 0;
}

int32_t Convert(MorvelinRequest* request, MorvelinCallbacks* callbacks) {
  LibraryState& library = Library();
  library.callbacks = callbacks;
  if (request == nullptr || request->size != MORVELIN_REQUEST_SIZE || callbacks == nullptr ||
      callbacks->size != MORVELIN_CALLBACKS_SIZE) {
    SetMessage("Incorrect version of Sample Conversion DLL");
    return MORVELIN_STOPPED;
  }
  if (request->options_size != MORVELIN_OPTIONS_SIZE) {
    SetMessage("Incorrect version of Sample Conversion DLL, Invalid options");
    return MORVELIN_STOPPED;
  }
  library.motion_mode = request->options.kinematic != 0 ? 2 : 0;
  library.station_text_option = static_cast<std::int32_t>(request->options.station_text_option);
  library.abort_counter.store(0);

  int32_t result;
  if (std::memchr(request->path, '\0', sizeof request->path) == nullptr) {
    // The path field must hold its own terminator: never read past it.
    SetMessage("Error: Input path is not terminated within its 512 bytes");
    CurrentRun().counts = RunCounts{};
    result = MORVELIN_FAILED;
  } else {
    result = RunConversion(request->path);
  }

  const RunCounts& counts = CurrentRun().counts;
  request->epoch_count = counts.written_epochs;
  request->ephemeris_count = counts.ephemerides;
  request->station_line_count = counts.station_lines;
  request->event_count = counts.events;

  if (library.abort_counter.load() != 0) {
    SetMessage("User Quit");
    return MORVELIN_STOPPED;
  }
  return result;
}

}  // namespace

extern "C" {

MORVELIN_API void MORVELIN_CALL SetFactoryDefaults(uint32_t options_size, MorvelinOptions* options) {
  if (options_size != MORVELIN_OPTIONS_SIZE || options == nullptr) return;
  options->kinematic = 0;
  options->station_text_option = 0;
}

MORVELIN_API int32_t MORVELIN_CALL AutoDetect(const char* path) {
  try {
    return DetectFile(path);
  } catch (...) {
    return 0;
  }
}

MORVELIN_API void MORVELIN_CALL Abort(void) { Library().abort_counter.fetch_add(1); }

MORVELIN_API void MORVELIN_CALL GetErrString(char* buffer) {
  if (buffer == nullptr) return;
  std::memcpy(buffer, Library().message, std::strlen(Library().message) + 1);
}

MORVELIN_API int32_t MORVELIN_CALL ConvertFile(MorvelinRequest* request, MorvelinCallbacks* callbacks,
                                               int32_t /*reserved*/) {
  try {
    return Convert(request, callbacks);
  } catch (...) {
    SetMessage("Error: Internal failure during the conversion");
    return MORVELIN_FAILED;
  }
}

}  // extern "C"
