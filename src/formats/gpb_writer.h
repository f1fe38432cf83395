// The measurement file writer as the conversion uses it: the same file as
// the public functions of morvelin/gpb.h write, with failures reported to
// the caller (a text as the host reads it) instead of the library's message.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "base/buffered_writer.h"
#include "morvelin/gpb.h"

namespace morvelin {

// Creates (or empties) the file at path and writes its header, which stores
// header_name (at most 143 characters) and buffer_size. The stream gets a
// buffer of buffer_size bytes, or none when the caller buffers its writes
// itself (caller_buffers). Null with failure set on failure.
MeasurementFile* CreateGpb(const char* path, const char* header_name, std::uint8_t receiver_type,
                           float creation_parameter, std::uint16_t buffer_size, std::uint8_t channel_count,
                           std::string& failure, bool caller_buffers = false);

// Appends one epoch, as WriteGpbEpoch does, through the caller's buffer.
bool AppendGpbEpoch(BufferedWriter& out, const MeasurementFile& file, const EpochRecord& epoch,
                    std::span<const ObservationRecord> observations, std::string& failure);

// Appends one epoch record and its first epoch.measurement_count
// observation records, with their sizes stamped.
bool WriteGpbEpoch(MeasurementFile& file, const EpochRecord& epoch, std::span<const ObservationRecord> observations,
                   std::string& failure);

bool FlushGpb(MeasurementFile& file, std::string& failure);

// Closes the stream and frees the handle (null accepted).
bool CloseGpb(MeasurementFile* file, std::string& failure);

}  // namespace morvelin
