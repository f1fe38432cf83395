// Builds raw data files byte by byte, so every byte of a fixture has a
// visible reason. Record families add their own payload helpers beside
// this file (payloads are built with PayloadBuilder, framed with Record).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morvelin::test {

using Bytes = std::vector<std::uint8_t>;

// Little-endian payload bytes, field by field.
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

// One satellite block of a measurement record.
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
  // A record: preamble, length byte (payload + 4 unless given), sub-record,
  // type, then the payload.
  RawBuilder& Record(std::uint8_t type, const Bytes& payload, int length_byte = -1, std::uint8_t sub_record = 0);
  // Bytes as they are (junk, cut records).
  RawBuilder& Raw(const Bytes& bytes);
  // A measurement record (type 17): times in milliseconds.
  RawBuilder& Measurement(double time_ms, double clock_ms, const std::vector<RawSatellite>& satellites);
  // A type-7 record: 17 bytes (time in seconds first), then 78 more.
  RawBuilder& TimeRecord(double seconds);

  const Bytes& Get() const { return bytes_; }
  std::size_t Size() const { return bytes_.size(); }
  void WriteTo(const std::string& path) const;

 private:
  Bytes bytes_;
};

Bytes MeasurementPayload(double time_ms, double clock_ms, const std::vector<RawSatellite>& satellites);

}  // namespace morvelin::test
