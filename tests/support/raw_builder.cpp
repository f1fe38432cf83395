#include "support/raw_builder.h"

#include <fstream>
#include <stdexcept>

#include "base/byte_writer.h"

namespace morvelin::test {

namespace {

template <typename T>
void Put(Bytes& bytes, T value) {
  std::uint8_t raw[sizeof(T)];
  StoreLittle(raw, value);
  bytes.insert(bytes.end(), raw, raw + sizeof(T));
}

std::vector<SatelliteMeasurement> Blocks(const std::vector<RawSatellite>& satellites) {
  std::vector<SatelliteMeasurement> blocks;
  for (const RawSatellite& s : satellites)
    blocks.push_back({s.prn, s.f1, s.f2, s.f3, s.pseudorange, s.phase, s.third, s.l2_phase, s.l2_code_offset});
  return blocks;
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
  writer_.Frame(type, sub_record, payload, length_byte);
  return *this;
}

RawBuilder& RawBuilder::Raw(const Bytes& bytes) {
  writer_.Raw(bytes);
  return *this;
}

RawBuilder& RawBuilder::Measurement(double time_ms, double clock_ms, const std::vector<RawSatellite>& satellites) {
  writer_.Measurement(time_ms, clock_ms, Blocks(satellites));
  return *this;
}

Bytes MeasurementPayload(double time_ms, double clock_ms, const std::vector<RawSatellite>& satellites) {
  const Bytes record = RawBuilder().Measurement(time_ms, clock_ms, satellites).Get();
  return Bytes(record.begin() + kHeaderSize, record.end());
}

void RawBuilder::WriteTo(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(Get().data()), static_cast<std::streamsize>(Get().size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace morvelin::test
