// What the sources of the listing share, apart from its contract.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/text_builder.h"
#include "listing.h"
#include "morvelin/gpb.h"

namespace morvelin::cli::detail {

using LineText = FixedText<1024>;

// The name a measurement file handle goes by in the reader's messages.
std::string_view StoredName(const GpbHeader& header);

// Opens the measurement file at path as the library's reader opens it, by a
// path of any length. The reader takes at most 143 characters and names the
// file by that path in its messages; a longer path is opened within its
// folder, the handle then naming the file by its name there, as a handle
// opened from that folder would. On failure the reader's text (a path
// whose folder cannot be entered gets the reader's own refusal of its
// length).
Result<MeasurementFile*> OpenListedFile(const std::string& path);

struct Closer {
  void operator()(MeasurementFile* file) const { CloseMeasurementFile(file); }
};
using ListedFile = std::unique_ptr<MeasurementFile, Closer>;

enum class Jump { kFound, kNotFound };

// The epochs' times as session times: seconds of the week of the first
// epoch read, running on past 604800 across the end of the week. Epochs
// may be skipped (less than half a week at a time), and read again.
class SessionClock {
 public:
  double Time(double seconds_of_week);

 private:
  bool started_ = false;
  double last_ = 0.0;
  std::int32_t weeks_ = 0;
};

// --from and --to as session times.
struct SessionSpan {
  std::optional<double> from, to;
};

// The span options ask for, the file's position left where it was (at its
// first epoch); none for WEEK:SECONDS when the week of the file is not
// known. Refused with the reader's text when the file cannot be read.
Result<std::optional<SessionSpan>> ResolveSpan(MeasurementFile& file, const std::string& path,
                                               const InspectOptions& options, std::vector<ObservationRecord>& room);

// The GPS week of the first epoch (second of week first_seconds) from the
// first ephemeris of the .epp beside the measurement file at path; none
// without one.
std::optional<std::int32_t> WeekFromEphemerides(const std::string& path, double first_seconds);

// Leaves the position at the first epoch (in file order) at or after
// span.from and, when a PRN is asked for, at the first such epoch in which
// that satellite has an L1 pseudorange. room holds the observation records of
// one epoch.
Result<Jump> JumpToSatellite(MeasurementFile& file, const InspectOptions& options, const SessionSpan& span,
                             SessionClock& clock, std::vector<ObservationRecord>& room);

}  // namespace morvelin::cli::detail
