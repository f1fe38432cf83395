// The five functions a host calls. No exception leaves them.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "base/file_io.h"
#include "base/message.h"
#include "base/text.h"
#include "convert/output_paths.h"
#include "framing/record_layouts.h"
#include "host/library_state.h"
#include "morvelin/converter.h"
#include "morvelin/morvelin.h"

using namespace morvelin;

namespace {

constexpr std::size_t kDetectBytes = 32000;
constexpr int kDetectThreshold = 10;  // more candidates than this: a raw data file

bool HasDatExtension(const char* path, std::size_t length) {
  return EqualsIgnoringCase(std::string_view(path + length - 3, 3), "DAT");
}

// The satellite count of a measurement record, counted from its preamble.
constexpr std::size_t kSatelliteCountAt = kHeaderSize + MeasurementRecord::kSatelliteCount.offset;
// Positions closer than this to the end of the bytes read are not tested.
constexpr std::size_t kScanMargin = 16;

// Counts measurement-record headers (preamble, type 17) at every position
// of the first bytes, headers inside payloads included; one with more than
// 12 satellites ends the scan with a count of 0.
int CountCandidates(const std::uint8_t* bytes, std::size_t size) {
  int count = 0;
  for (std::size_t i = 0; i + kScanMargin < size; ++i) {
    if (bytes[i] != kPreamble || bytes[i + kTypeByte] != record_type::kMeasurement) continue;
    ++count;
    // Near the end of the bytes read the satellite count is not there to
    // test, and the candidate stands.
    if (i + kSatelliteCountAt < size && bytes[i + kSatelliteCountAt] > kMeasurementChannels) return 0;
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

// Hands the conversion's messages and progress to the host's callbacks the
// way the host interface always has: a formatted message becomes the
// library's message text first, and the callback is given that text.
class HostObserver final : public ConversionObserver {
 public:
  explicit HostObserver(const MorvelinCallbacks* callbacks) : callbacks_(callbacks) {}

  void OnMessage(double time, const char* text, bool constant) override {
    if (!constant) SetLibraryMessage(text);
    if (callbacks_ != nullptr && callbacks_->message != nullptr)
      callbacks_->message(time, constant ? text : LibraryMessage());
  }
  void OnProgress(std::int64_t position, std::int64_t length) override {
    if (callbacks_ == nullptr || callbacks_->progress == nullptr) return;
    std::int32_t scaled_position = 0, scaled_length = 0;
    ScaleProgress(position, length, scaled_position, scaled_length);
    callbacks_->progress(scaled_position, scaled_length);
  }
  void OnReceiverTime(double time) override { Library().last_epoch_time = time; }

 private:
  const MorvelinCallbacks* callbacks_;
};

int32_t Convert(MorvelinRequest* request, MorvelinCallbacks* callbacks) {
  LibraryState& library = Library();
  library.callbacks = callbacks;
  if (request == nullptr || request->size != MORVELIN_REQUEST_SIZE || callbacks == nullptr ||
      callbacks->size != MORVELIN_CALLBACKS_SIZE) {
    SetLibraryMessage("Incorrect version of Sample Conversion DLL");
    return MORVELIN_STOPPED;
  }
  if (request->options_size != MORVELIN_OPTIONS_SIZE) {
    SetLibraryMessage("Incorrect version of Sample Conversion DLL, Invalid options");
    return MORVELIN_STOPPED;
  }
  library.station_text_option = static_cast<std::int32_t>(request->options.station_text_option);
  library.abort_counter.store(0);

  int32_t result = MORVELIN_FAILED;
  library.counts = ConversionCounts{};
  if (std::memchr(request->path, '\0', sizeof request->path) == nullptr) {
    // The path field must hold its own terminator: never read past it.
    SetLibraryMessage("Error: Input path is not terminated within its 512 bytes");
  } else {
    HostObserver observer(callbacks);
    ConversionRequest conversion;
    conversion.input = FileInput{request->path};
    conversion.kinematic = request->options.kinematic != 0;
    conversion.observer = &observer;
    conversion.abort = &library.abort_counter;
    library.converting = true;
    library.text_station_lines = 0;
    const ConversionOutcome outcome = Convert(conversion);
    library.converting = false;
    library.counts = outcome.counts;
    library.counts.station_lines += library.text_station_lines;
    if (outcome.result == ConversionResult::kFailed) SetLibraryMessage(outcome.failure);
    // The host's path field is rewritten as it always has been: once the
    // outputs are planned it names the output that could not be created,
    // or, when all were, the input again with the extension ".dat".
    static constexpr const char* kExtensions[] = {".gpb", ".epp", ".sum", ".sta"};
    if (outcome.failed_output >= 0)
      ReplaceExtension(request->path, kExtensions[outcome.failed_output], sizeof request->path);
    else if (!outcome.outputs[0].empty())
      ReplaceExtension(request->path, ".dat", sizeof request->path);
    result = outcome.result == ConversionResult::kDone ? MORVELIN_DONE : MORVELIN_FAILED;
  }

  const ConversionCounts& counts = library.counts;
  request->epoch_count = counts.epochs;
  request->ephemeris_count = counts.ephemerides;
  request->station_line_count = counts.station_lines;
  request->event_count = counts.events;

  if (library.abort_counter.load() != 0) {
    SetLibraryMessage("User Quit");
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
  const char* message = LibraryMessage();
  std::memcpy(buffer, message, std::strlen(message) + 1);
}

MORVELIN_API int32_t MORVELIN_CALL ConvertFile(MorvelinRequest* request, MorvelinCallbacks* callbacks,
                                               int32_t /*reserved*/) {
  try {
    return Convert(request, callbacks);
  } catch (...) {
    SetLibraryMessage("Error: Internal failure during the conversion");
    return MORVELIN_FAILED;
  }
}

}  // extern "C"
