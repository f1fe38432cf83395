// The jump to the first epoch of a satellite, by the reader's own search run
// window after window.
#include <cstdint>
#include <vector>

#include "base/file_io.h"
#include "base/message.h"
#include "morvelin/status.h"
#include "listing_internal.h"

namespace morvelin::cli::detail {

namespace {

// The search's own window, mirrored here to step over the epochs a search
// has already looked at.
constexpr int kSearchEpochs = 60;
constexpr double kSearchWindowSeconds = 1000.0;
// The target handed to each search lies this far after the current epoch,
// so that the current epoch sits well inside the window whatever rounding.
constexpr double kTargetLead = 500.0;

bool InSearchWindow(double target, double epoch_time) {
  const double ahead = target - epoch_time;
  return ahead >= 0.0 && ahead <= kSearchWindowSeconds;
}

// Reads one epoch; kFound when it was read, kNotFound at the end.
Result<Jump> ReadNext(MeasurementFile& file, EpochRecord& epoch, std::vector<ObservationRecord>& room) {
  const Result<bool> read = ReadGpbEpoch(&file, &epoch, room.data());
  if (!read.Ok()) return read.Status();
  return *read ? Jump::kFound : Jump::kNotFound;
}

Result<Jump> SeekTo(MeasurementFile& file, std::int64_t position) {
  if (SeekAbsolute(file.stream, position) == 0) return Jump::kFound;
  FixedText<kMessageSize> text;
  text.Str("Error: Unable to seek in ").Str(StoredName(file.header));
  return Status::Failed(std::string(text.View()));
}

bool Found(const Result<Jump>& jump) { return jump.Ok() && *jump == Jump::kFound; }

// Leaves the position at the first epoch at or after from (session time).
Result<Jump> SkipBefore(MeasurementFile& file, double from, SessionClock& clock, std::vector<ObservationRecord>& room) {
  EpochRecord epoch{};
  for (;;) {
    const std::int64_t start = Tell(file.stream);
    if (Result<Jump> read = ReadNext(file, epoch, room); !Found(read)) return read;
    if (clock.Time(epoch.epoch_time) >= from) return SeekTo(file, start);
  }
}

// Steps over the epochs that a search for target has looked at in vain.
Result<Jump> StepOverWindow(MeasurementFile& file, double target, std::vector<ObservationRecord>& room) {
  EpochRecord epoch{};
  int skipped = 0;
  while (skipped < kSearchEpochs) {
    const std::int64_t position = Tell(file.stream);
    if (Result<Jump> read = ReadNext(file, epoch, room); !Found(read)) return read;
    if (!InSearchWindow(target, epoch.epoch_time)) {
      if (Result<Jump> seek = SeekTo(file, position); !Found(seek)) return seek;
      break;
    }
    ++skipped;
  }
  // An epoch that no window can hold (a time that is not finite) is passed
  // over, so that every round moves forward.
  if (skipped == 0) return ReadNext(file, epoch, room);
  return Jump::kFound;
}

}  // namespace

// Each window of the search starts at the current epoch; when it holds no
// match, the epochs it covered are stepped over and the next window starts
// after them.
Result<Jump> JumpToSatellite(MeasurementFile& file, const InspectOptions& options, const SessionSpan& span,
                             SessionClock& clock, std::vector<ObservationRecord>& room) {
  if (span.from) {
    if (Result<Jump> skip = SkipBefore(file, *span.from, clock, room); !Found(skip)) return skip;
  }
  if (!options.prn) return Jump::kFound;
  EpochRecord epoch{};
  for (;;) {
    const std::int64_t start = Tell(file.stream);
    if (Result<Jump> read = ReadNext(file, epoch, room); !Found(read)) return read;
    if (Result<Jump> seek = SeekTo(file, start); !Found(seek)) return seek;
    const double target = epoch.epoch_time + kTargetLead;
    bool file_ended = false;
    const Result<int> found =
        FindGpbSatelliteEpoch(&file, static_cast<std::int16_t>(*options.prn), target, &file_ended);
    if (!found.Ok()) return found.Status();
    if (*found > 0) return Jump::kFound;
    if (file_ended) return Jump::kNotFound;
    if (Result<Jump> step = StepOverWindow(file, target, room); !Found(step)) return step;
  }
}

}  // namespace morvelin::cli::detail
