// Builds raw data files record by record through the one record writer
// (framing/record_writer.h), so every byte of a fixture has a visible
// reason: payloads laid out by their layouts (Write), or, for damaged and
// unlaid records, bytes made with PayloadBuilder and framed with Record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framing/record_writer.h"

namespace morvelin::test {

using Bytes = std::vector<std::uint8_t>;

// Little-endian payload bytes, field by field: for records without a
// layout, and for damaged ones.
class PayloadBuilder {
 public:
  PayloadBuilder& U8(std::uint8_t value);
  PayloadBuilder& U16(std::uint16_t value);
  PayloadBuilder& I16(std::int16_t value);
  PayloadBuilder& U32(std::uint32_t value);
  PayloadBuilder& I32(std::int32_t value);
  PayloadBuilder& F64(double value);
  // Exactly width bytes of text, NUL-padded (or cut).
  PayloadBuilder& Text(std::string_view text, std::size_t width);
  PayloadBuilder& Zeros(std::size_t count);
  PayloadBuilder& Append(const Bytes& bytes);
  const Bytes& Get() const { return bytes_; }
  std::size_t Size() const { return bytes_.size(); }

 private:
  Bytes bytes_;
};

// One satellite block of a measurement record, with a test's defaults.
struct RawSatellite {
  std::uint8_t prn = 1;
  std::uint8_t f1 = 0x10;  // phase valid, single frequency
  std::uint8_t f2 = 0;
  std::uint8_t f3 = 0;
  double pseudorange = 20000000.0;
  double phase = 100000.0;
  double third = 0.0;
  double l2_phase = 0.0;        // dual frequency only (F1 bit 0)
  double l2_code_offset = 0.0;  // dual frequency only
};

class RawBuilder {
 public:
  // A record laid out by Layout (framing/record_layouts.h).
  template <typename Layout>
  RawBuilder& Write(const typename Layout::Value& value, std::uint8_t sub_record = Layout::kSubRecord) {
    writer_.Write<Layout>(value, sub_record);
    return *this;
  }
  // Payload bytes no field covers carry fill from here on.
  RawBuilder& Fill(std::uint8_t fill) {
    writer_.Fill(fill);
    return *this;
  }
  // A record: preamble, length byte (payload + 4 unless given), sub-record,
  // type, then the payload as it is.
  RawBuilder& Record(std::uint8_t type, const Bytes& payload, int length_byte = -1, std::uint8_t sub_record = 0);
  // Bytes as they are (junk, cut records).
  RawBuilder& Raw(const Bytes& bytes);
  // A measurement record (type 17): times in milliseconds.
  RawBuilder& Measurement(double time_ms, double clock_ms, const std::vector<RawSatellite>& satellites);
  // A type-7 record: its time in seconds, then the bytes the reader skips.
  RawBuilder& TimeRecord(double seconds) { return Write<TimeTagRecord>({seconds}); }

  const Bytes& Get() const { return writer_.Bytes(); }
  std::size_t Size() const { return writer_.Bytes().size(); }
  void WriteTo(const std::string& path) const;

 private:
  RecordWriter writer_;
};

// The payload value lays out, alone.
template <typename Layout>
Bytes PayloadOf(const typename Layout::Value& value, std::uint8_t fill = 0) {
  const Bytes record = RecordWriter().Fill(fill).Write<Layout>(value).Bytes();
  return Bytes(record.begin() + kHeaderSize, record.end());
}

// The payload of a measurement record alone.
Bytes MeasurementPayload(double time_ms, double clock_ms, const std::vector<RawSatellite>& satellites);

}  // namespace morvelin::test
