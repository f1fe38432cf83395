#include "support/raw_builder.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace morvelin::test {

namespace {
template <typename T>
void Put(Bytes& bytes, T value) {
  std::uint8_t raw[sizeof(T)];
  std::memcpy(raw, &value, sizeof(T));
  bytes.insert(bytes.end(), raw, raw + sizeof(T));
}
}  // namespace

PayloadBuilder& PayloadBuilder::U8(std::uint8_t value) { return Put(bytes_, value), *this; }
PayloadBuilder& PayloadBuilder::U16(std::uint16_t value) { return Put(bytes_, value), *this; }
PayloadBuilder& PayloadBuilder::I16(std::int16_t value) { return Put(bytes_, value), *this; }
PayloadBuilder& PayloadBuilder::U32(std::uint32_t value) { return Put(bytes_, value), *this; }
PayloadBuilder& PayloadBuilder::I32(std::int32_t value) { return Put(bytes_, value), *this; }
PayloadBuilder& PayloadBuilder::F64(double value) { return Put(bytes_, value), *this; }
PayloadBuilder& PayloadBuilder::Text(std::string_view text, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) bytes_.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
  return *this;
}
PayloadBuilder& PayloadBuilder::Zeros(std::size_t count) {
  bytes_.insert(bytes_.end(), count, 0);
  return *this;
}
PayloadBuilder& PayloadBuilder::Append(const Bytes& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

RawBuilder& RawBuilder::Record(std::uint8_t type, const Bytes& payload, int length_byte, std::uint8_t sub_record) {
  int length = length_byte >= 0 ? length_byte : static_cast<int>(payload.size()) + 4;
  bytes_.push_back(0x74);
  bytes_.push_back(static_cast<std::uint8_t>(length));
  bytes_.push_back(sub_record);
  bytes_.push_back(type);
  bytes_.insert(bytes_.end(), payload.begin(), payload.end());
  return *this;
}

RawBuilder& RawBuilder::Raw(const Bytes& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

Bytes MeasurementPayload(double time_ms, double clock_ms, const std::vector<RawSatellite>& satellites) {
  PayloadBuilder p;
  p.F64(time_ms).F64(clock_ms).U8(static_cast<std::uint8_t>(satellites.size()));
  for (const RawSatellite& s : satellites) {
    p.U8(s.prn).U8(s.f1).U8(s.f2).U8(s.f3);
    p.Zeros(12).F64(s.pseudorange).F64(s.phase).F64(s.third).Zeros(8);
    if (s.f1 & 0x01) p.Zeros(8).F64(s.l2_phase).F64(s.l2_code_offset);
  }
  return p.Get();
}

RawBuilder& RawBuilder::Measurement(double time_ms, double clock_ms, const std::vector<RawSatellite>& satellites) {
  Bytes payload = MeasurementPayload(time_ms, clock_ms, satellites);
  // The length byte is not used by the measurement decoder.
  return Record(17, payload, static_cast<int>((payload.size() + 4) & 0xFF));
}

RawBuilder& RawBuilder::TimeRecord(double seconds) {
  PayloadBuilder p;
  p.F64(seconds).Zeros(9).Zeros(78);
  return Record(7, p.Get(), 82);
}

void RawBuilder::WriteTo(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes_.data()), static_cast<std::streamsize>(bytes_.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace morvelin::test
