#include "raw_writer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "gnss/ephemeris_record.h"

namespace morvelin::sim {

namespace {

// A payload of up to 1024 bytes (a measurement record of 12 dual-frequency
// satellites needs 881), field by field.
class Payload {
 public:
  template <typename T>
  Payload& Put(T value) {
    if (size_ + sizeof(T) <= bytes_.size()) std::memcpy(bytes_.data() + size_, &value, sizeof(T));
    size_ += sizeof(T);
    return *this;
  }
  Payload& F64(double value) { return Put(value); }
  Payload& U8(std::uint8_t value) { return Put(value); }
  Payload& U16(std::uint16_t value) { return Put(value); }
  Payload& Zeros(std::size_t count) {
    size_ += count;  // the buffer starts zeroed
    return *this;
  }
  // Exactly `width` bytes of text, NUL-padded or cut.
  Payload& Text(std::string_view text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) U8(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
    return *this;
  }
  std::span<const std::uint8_t> Get() const { return {bytes_.data(), std::min(size_, bytes_.size())}; }

 private:
  std::array<std::uint8_t, 1024> bytes_{};
  std::size_t size_ = 0;
};

}  // namespace

void RawWriter::Record(std::uint8_t type, std::uint8_t sub_record, std::span<const std::uint8_t> payload,
                       int length_byte) {
  // A measurement record is longer than a length byte holds: its length
  // follows from its satellite count, and the byte says 255.
  const std::size_t length = length_byte >= 0 ? static_cast<std::size_t>(length_byte) : payload.size() + 4;
  bytes_.push_back(kPreamble);
  bytes_.push_back(static_cast<std::uint8_t>(std::min<std::size_t>(length, 255)));
  bytes_.push_back(sub_record);
  bytes_.push_back(type);
  for (std::uint8_t byte : payload) bytes_.push_back(byte);
  if (junk_random_ != nullptr && junk_random_->Chance(junk_rate_)) {
    const std::uint64_t count = 1 + junk_random_->Below(16);
    for (std::uint64_t i = 0; i < count; ++i) {
      auto byte = static_cast<std::uint8_t>(junk_random_->Below(256));
      bytes_.push_back(byte == kPreamble ? 0x47 : byte);
    }
  }
}

void RawWriter::TimeRecord(double seconds) { Record(7, 0, Payload().F64(seconds).Zeros(9 + 78).Get(), 82); }

void RawWriter::StationName(std::string_view name) { Record(5, 0, Payload().Zeros(2).Text(name, 5).Zeros(87).Get()); }

void RawWriter::ReceiverTypeRecord(ReceiverType type) {
  Record(5, 0, Payload().Zeros(36).U8(static_cast<std::uint8_t>(type)).Zeros(23).Get());
}

void RawWriter::AntennaHeight(double height) { Record(6, 0, Payload().Zeros(4).F64(height).Zeros(148).Get()); }

void RawWriter::AntennaRecord(double time_ms, double height) {
  Record(8, 0, Payload().Zeros(4).F64(time_ms).F64(height).Get());
}

void RawWriter::Position(const gnss::Geodetic& position, double clock_offset_ms) {
  Record(11, 0,
         Payload()
             .F64(gnss::Degrees(position.latitude) / 180.0)
             .F64(gnss::Degrees(position.longitude) / 180.0)
             .F64(position.height)
             .F64(clock_offset_ms)
             .Get());
}

void RawWriter::MotionMode(bool kinematic) { Record(16, kinematic ? 2 : 1, Payload().Get()); }

void RawWriter::TimeMark(double seconds) {
  char text[16];
  std::snprintf(text, sizeof text, "%6ld", static_cast<long>(seconds));
  Record(16, 5, Payload().Text(text, 6).Zeros(1).Get());
}

void RawWriter::StationEntry(std::string_view description, double antenna_height, std::string_view point) {
  char height[16];
  std::snprintf(height, sizeof height, "%.3f", antenna_height);
  Record(16, 3, Payload().Text(description, 50).Text(height, 8).Zeros(1).Text(point, 8).Get());
}

void RawWriter::PointEntry(std::string_view point, std::string_view description) {
  Record(16, 31, Payload().Text(point, 8).Zeros(16).Text(description, std::min<std::size_t>(description.size(), 32)).Get());
}

void RawWriter::ExternalEvent(std::uint16_t marker, double time_ms) {
  Record(19, 0, Payload().U16(marker).F64(time_ms).Get());
}

void RawWriter::TimeAdjustment(double time_ms, std::uint16_t adjustment_ms) {
  Record(19, 1, Payload().F64(time_ms).U16(adjustment_ms).Get());
}

void RawWriter::Ionosphere(const gnss::KlobucharParameters& parameters) {
  Payload p;
  for (double alpha : parameters.alpha) p.F64(alpha);
  for (double beta : parameters.beta) p.F64(beta);
  Record(20, 0, p.Get());
}

void RawWriter::Ephemeris(const gnss::BroadcastEphemeris& eph) {
  const gnss::EphemerisPayload payload = gnss::EncodeEphemerisPayload(eph);
  Record(gnss::kEphemerisRecordType, 0, payload);
}

void RawWriter::Measurement(double receiver_time_ms, double clock_offset_ms,
                            std::span<const SatelliteObservation> satellites) {
  Payload p;
  p.F64(receiver_time_ms).F64(clock_offset_ms).U8(static_cast<std::uint8_t>(satellites.size()));
  for (const SatelliteObservation& s : satellites) {
    p.U8(static_cast<std::uint8_t>(s.prn)).U8(s.f1).U8(s.f2).U8(s.f3);
    p.Zeros(12).F64(s.pseudorange).F64(s.phase).F64(s.doppler).Zeros(8);
    if (s.f1 & kDualFrequency) p.Zeros(8).F64(s.l2_phase).F64(s.l2_code_offset);
  }
  Record(17, 0, p.Get());
}

}  // namespace morvelin::sim
