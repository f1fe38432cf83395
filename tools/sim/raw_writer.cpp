#include "raw_writer.h"

#include <algorithm>
#include <cstdio>

#include "gnss/ephemeris_record.h"

namespace morvelin::sim {

namespace {

constexpr std::uint8_t kNotAPreamble = 0x47;  // what a junk byte drawn as a preamble becomes
constexpr std::size_t kDescriptionLimit = 32;   // what a station line keeps of a description

}  // namespace

void RawWriter::Junk() {
  if (junk_random_ == nullptr || !junk_random_->Chance(junk_rate_)) return;
  const std::uint64_t count = 1 + junk_random_->Below(16);
  std::vector<std::uint8_t>& bytes = records_.Bytes();
  for (std::uint64_t i = 0; i < count; ++i) {
    auto byte = static_cast<std::uint8_t>(junk_random_->Below(256));
    bytes.push_back(byte == kPreamble ? kNotAPreamble : byte);
  }
}

void RawWriter::TimeRecord(double seconds) { Write<TimeTagRecord>({seconds}); }

void RawWriter::StationName(std::string_view name) { Write<StationNameRecord>({TextOf<5>(name)}); }

void RawWriter::ReceiverTypeRecord(ReceiverType type) {
  Write<morvelin::ReceiverTypeRecord>({static_cast<std::uint8_t>(type)});
}

void RawWriter::AntennaHeight(double height) { Write<AntennaHeightRecord>({height}); }

void RawWriter::AntennaRecord(double time_ms, double height) { Write<AntennaNoticeRecord>({time_ms, height}); }

void RawWriter::Position(const gnss::Geodetic& position, double clock_offset_ms) {
  Write<PositionRecord>({gnss::Degrees(position.latitude) / 180.0, gnss::Degrees(position.longitude) / 180.0,
                         position.height, clock_offset_ms});
}

void RawWriter::MotionMode(bool kinematic) {
  Write<MotionModeRecord>({}, kinematic ? station_sub_record::kKinematic : station_sub_record::kStatic);
}

void RawWriter::TimeMark(double seconds) {
  char text[16];
  std::snprintf(text, sizeof text, "%6ld", static_cast<long>(seconds));
  Write<TimeMarkRecord>({TextOf<6>(text)});
}

void RawWriter::StationEntry(std::string_view description, double antenna_height, std::string_view point) {
  char height[16];
  std::snprintf(height, sizeof height, "%.3f", antenna_height);
  Write<StationEntryRecord>({TextOf<50>(description), TextOf<8>(height), TextOf<8>(point)});
}

void RawWriter::PointEntry(std::string_view point, std::string_view description) {
  Write<PointDescriptionRecord>({TextOf<8>(point), description.substr(0, kDescriptionLimit)});
}

void RawWriter::ExternalEvent(std::uint16_t marker, double time_ms) { Write<MarkedEventRecord>({marker, time_ms}); }

void RawWriter::TimeAdjustment(double time_ms, std::uint16_t adjustment_ms) {
  Write<TimeAdjustmentRecord>({time_ms, adjustment_ms});
}

void RawWriter::Ionosphere(const gnss::KlobucharParameters& parameters) {
  IonosphereRecord record;
  std::copy(std::begin(parameters.alpha), std::end(parameters.alpha), record.alpha.begin());
  std::copy(std::begin(parameters.beta), std::end(parameters.beta), record.beta.begin());
  Write<IonosphereRecord>(record);
}

void RawWriter::Ephemeris(const gnss::BroadcastEphemeris& eph) { Write<EphemerisRecord>(gnss::RecordOf(eph)); }

void RawWriter::Measurement(double receiver_time_ms, double clock_offset_ms,
                            std::span<const SatelliteObservation> satellites) {
  blocks_.clear();
  for (const SatelliteObservation& s : satellites) {
    SatelliteMeasurement& block = blocks_.emplace_back();
    block.prn = static_cast<std::uint8_t>(s.prn);
    block.f1 = s.f1, block.f2 = s.f2, block.f3 = s.f3;
    block.pseudorange = s.pseudorange;
    block.phase = s.phase;
    block.third = s.doppler;
    block.l2_phase = s.l2_phase;
    block.l2_code_offset = s.l2_code_offset;
  }
  records_.Measurement(receiver_time_ms, clock_offset_ms, blocks_);
  Junk();
}

}  // namespace morvelin::sim
