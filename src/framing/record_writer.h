// The one writer of raw records: the simulator and the tests' builders
// frame every record through it, and lay out every payload through the
// layouts of framing/record_layouts.h, the ones the decoders read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "framing/record_layouts.h"

namespace morvelin {

class RecordWriter {
 public:
  // Payload bytes that no field covers carry fill (0 unless set): a test may
  // make them visible.
  RecordWriter& Fill(std::uint8_t fill) {
    fill_ = fill;
    return *this;
  }

  // A record laid out by Layout: the header (its length byte the payload's
  // length plus 4, at most 255, unless the layout fixes it), then the payload.
  template <typename Layout>
  RecordWriter& Write(const typename Layout::Value& value, std::uint8_t sub_record = Layout::kSubRecord) {
    const std::size_t start = Header(Layout::kType, sub_record);
    WriteFields<Layout>(value, fill_, bytes_);
    if constexpr (requires { Layout::kLengthByte; })
      bytes_[start + 1] = Layout::kLengthByte;
    else
      SetLength(start);
    return *this;
  }

  // A measurement record: its fixed part counting the blocks, then each
  // satellite's block, with its L2 block when it is dual frequency.
  RecordWriter& Measurement(double receiver_time_ms, double clock_offset_ms,
                            std::span<const SatelliteMeasurement> satellites);

  // Any payload under a header of one's choosing (length_byte -1: the
  // payload's length plus 4, at most 255): records without a layout, and
  // damaged ones.
  RecordWriter& Frame(std::uint8_t type, std::uint8_t sub_record, std::span<const std::uint8_t> payload,
                      int length_byte = -1);

  // Bytes as they are, between records.
  RecordWriter& Raw(std::span<const std::uint8_t> bytes);

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  std::vector<std::uint8_t>& Bytes() { return bytes_; }

 private:
  // Starts a record (its length byte still 0); returns where it starts.
  std::size_t Header(std::uint8_t type, std::uint8_t sub_record);
  // The length byte of the record that starts at start, from its bytes.
  void SetLength(std::size_t start);

  std::uint8_t fill_ = 0;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace morvelin
