// The measurement file writer as the conversion uses it: the same file as
// the public functions of morvelin/gpb.h write, with failures returned to
// the caller (a text as the host reads it, and the system's reason) instead
// of the library's message. The public functions are wrappers over these.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/buffered_writer.h"
#include "morvelin/gpb.h"
#include "morvelin/status.h"

namespace morvelin {

// The header of a new file, which stores header_name (at most 143
// characters), buffer_size and the local time of its creation.
Result<GpbHeader> MakeGpbHeader(const char* header_name, std::uint8_t receiver_type, float creation_parameter,
                                std::uint16_t buffer_size, std::uint8_t channel_count);

// Creates (or empties) the file at path and writes its header (see
// MakeGpbHeader). The stream gets a buffer of buffer_size bytes. Close the
// handle with CloseGpb.
Result<MeasurementFile*> CreateGpb(const char* path, const char* header_name, std::uint8_t receiver_type,
                                   float creation_parameter, std::uint16_t buffer_size, std::uint8_t channel_count);

// Appends one epoch, as WriteGpbEpoch does, through the caller's buffer, to
// the file whose header is header.
Status AppendGpbEpoch(BufferedWriter& out, const GpbHeader& header, const EpochRecord& epoch,
                      std::span<const ObservationRecord> observations);

// Appends one epoch record and its first epoch.measurement_count
// observation records, with their sizes stamped.
Status WriteGpbEpoch(MeasurementFile& file, const EpochRecord& epoch,
                     std::span<const ObservationRecord> observations);

Status FlushGpb(MeasurementFile& file);

// Closes the stream and frees the handle (null accepted).
Status CloseGpb(MeasurementFile* file);

}  // namespace morvelin
