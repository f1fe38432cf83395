// --from and --to of a measurement file's listing as session times: the
// file keeps seconds of the week alone, so a session that crosses the end
// of the week starts counting again from 0 there.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/file_io.h"
#include "base/gnss_constants.h"
#include "gnss/time.h"
#include "listing_internal.h"
#include "morvelin/util.h"

namespace morvelin::cli {

namespace {

bool ParseSeconds(const std::string& text, double& seconds) {
  if (text.empty() || text[0] == ' ') return false;
  char* end = nullptr;
  seconds = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && seconds >= 0.0 && seconds < 1e12;
}

Result<bool> ReadEpoch(MeasurementFile& file, EpochRecord& epoch, std::vector<ObservationRecord>& room) {
  return ReadGpbEpoch(&file, &epoch, room.data());
}

// Whether the epochs from the current position on cross the end of the
// week; the position is left where it was.
Result<bool> CrossesWeekEnd(MeasurementFile& file, std::vector<ObservationRecord>& room) {
  const std::int64_t start = Tell(file.stream);
  EpochRecord epoch{};
  bool started = false, crosses = false;
  double last = 0.0;
  for (;;) {
    const Result<bool> read = ReadEpoch(file, epoch, room);
    if (!read.Ok()) return read.Status();
    if (!*read) break;
    if (started && epoch.epoch_time < last - kHalfWeek) {
      crosses = true;
      break;
    }
    started = true;
    last = epoch.epoch_time;
  }
  if (SeekAbsolute(file.stream, start) != 0) return Status::Failed("Error: Unable to seek in " + std::string(detail::StoredName(file.header)));
  return crosses;
}

}  // namespace

bool ParseGpsTimeArgument(const std::string& text, GpsTimeArgument& time) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) {
    time.week.reset();
    return ParseSeconds(text, time.seconds);
  }
  double week = 0.0;
  if (!ParseSeconds(text.substr(0, colon), week) || week != static_cast<double>(static_cast<std::int32_t>(week)) ||
      !ParseSeconds(text.substr(colon + 1), time.seconds) || time.seconds >= kSecondsPerWeek)
    return false;
  time.week = static_cast<std::int32_t>(week);
  return true;
}

namespace detail {

double SessionClock::Time(double seconds_of_week) {
  if (!started_) {
    started_ = true;
  } else if (seconds_of_week < last_ - kHalfWeek) {
    ++weeks_;
  } else if (seconds_of_week > last_ + kHalfWeek) {
    --weeks_;
  }
  last_ = seconds_of_week;
  return seconds_of_week + kSecondsPerWeek * weeks_;
}

std::optional<std::int32_t> WeekFromEphemerides(const std::string& path, double first_seconds) {
  const std::size_t dot = path.find_last_of('.');
  for (const char* extension : {".epp", ".EPP"}) {
    std::FILE* in = std::fopen((path.substr(0, dot) + extension).c_str(), "r");
    if (in == nullptr) continue;
    TextBlock block;
    std::optional<std::int32_t> week;
    for (std::int32_t got = 0; got != -1 && !week;) {
      got = ReadBlock(in, block);
      std::int32_t eph_week = 0, toe = 0;
      if (got == 0 && std::string(block.name) == "GpsEph" && ScanKeyword("El1:", block, "%d", eph_week) == 1 &&
          ScanKeyword("El5:", block, "%d", toe) == 1)
      {
        // The ephemeris lies within half a week of the first epoch.
        const double apart = first_seconds - toe;
        week = eph_week - static_cast<std::int32_t>(std::lround((apart - gnss::WrapHalfWeek(apart)) / kSecondsPerWeek));
      }
    }
    std::fclose(in);
    return week;
  }
  return std::nullopt;
}

Result<std::optional<SessionSpan>> ResolveSpan(MeasurementFile& file, const std::string& path,
                                               const InspectOptions& options, std::vector<ObservationRecord>& room) {
  SessionSpan span;
  const std::int64_t start = Tell(file.stream);
  EpochRecord first{};
  const Result<bool> read = ReadEpoch(file, first, room);
  if (!read.Ok()) return read.Status();
  if (SeekAbsolute(file.stream, start) != 0) return Status::Failed("Error: Unable to seek in " + std::string(StoredName(file.header)));
  if (!*read) return std::optional<SessionSpan>(span);  // no epoch: nothing to match
  const double first_seconds = first.epoch_time;
  std::optional<bool> crosses;
  std::optional<std::int32_t> week;
  for (const auto& [given, into] : {std::pair{&options.from, &span.from}, std::pair{&options.to, &span.to}}) {
    if (!*given) continue;
    const GpsTimeArgument& time = **given;
    if (time.week) {
      if (!week) week = WeekFromEphemerides(path, first_seconds);
      if (!week) return std::optional<SessionSpan>();
      *into = static_cast<double>(*time.week - *week) * kSecondsPerWeek + time.seconds;
      continue;
    }
    *into = time.seconds;
    if (time.seconds >= first_seconds) continue;
    if (!crosses) {
      const Result<bool> found = CrossesWeekEnd(file, room);
      if (!found.Ok()) return found.Status();
      crosses = *found;
    }
    if (*crosses) *into = time.seconds + kSecondsPerWeek;
  }
  return std::optional<SessionSpan>(span);
}

}  // namespace detail

}  // namespace morvelin::cli
