#include "framing/record_writer.h"

#include <algorithm>

namespace morvelin {

RecordWriter& RecordWriter::Measurement(double receiver_time_ms, double clock_offset_ms,
                                        std::span<const SatelliteMeasurement> satellites) {
  const std::size_t start = Header(MeasurementRecord::kType, MeasurementRecord::kSubRecord);
  const MeasurementRecord fixed{receiver_time_ms, clock_offset_ms, static_cast<std::uint8_t>(satellites.size())};
  WriteFields<MeasurementRecord>(fixed, fill_, bytes_);
  for (const SatelliteMeasurement& satellite : satellites) {
    WriteFields<SatelliteBlockLayout>(satellite, fill_, bytes_);
    if (satellite.DualFrequency()) WriteFields<L2BlockLayout>(satellite, fill_, bytes_);
  }
  SetLength(start);
  return *this;
}

RecordWriter& RecordWriter::Frame(std::uint8_t type, std::uint8_t sub_record, std::span<const std::uint8_t> payload,
                                  int length_byte) {
  const std::size_t start = Header(type, sub_record);
  bytes_.insert(bytes_.end(), payload.begin(), payload.end());
  if (length_byte < 0)
    SetLength(start);
  else
    bytes_[start + 1] = static_cast<std::uint8_t>(length_byte);
  return *this;
}

RecordWriter& RecordWriter::Raw(std::span<const std::uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

std::size_t RecordWriter::Header(std::uint8_t type, std::uint8_t sub_record) {
  const std::size_t start = bytes_.size();
  bytes_.insert(bytes_.end(), {kPreamble, 0, sub_record, type});
  return start;
}

// A record longer than a length byte holds says 255: only the measurement
// record is, and its length follows from its content.
void RecordWriter::SetLength(std::size_t start) {
  bytes_[start + 1] = static_cast<std::uint8_t>(std::min<std::size_t>(bytes_.size() - start, 255));
}

}  // namespace morvelin
