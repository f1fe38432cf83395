// What the sources of the listing share, apart from its contract.
#pragma once

#include <memory>
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

// Leaves the position at the first epoch (in file order) at or after
// options.from and, when a PRN is asked for, at the first such epoch in which
// that satellite has an L1 pseudorange. room holds the observation records of
// one epoch.
Result<Jump> JumpToSatellite(MeasurementFile& file, const InspectOptions& options,
                             std::vector<ObservationRecord>& room);

}  // namespace morvelin::cli::detail
