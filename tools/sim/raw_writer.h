// Writes the records of a raw data file as a receiver does, through the one
// record writer and the payload layouts the converter reads
// (framing/record_writer.h).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "framing/record_writer.h"
#include "gnss/atmosphere.h"
#include "gnss/ephemeris.h"
#include "gnss/geodesy.h"
#include "observation.h"
#include "random.h"

namespace morvelin::sim {

enum class ReceiverType : std::uint8_t { kCaCode = 1, kSst = 2, kSse = 3, kGeodeticL1L2 = 4 };

class RawWriter {
 public:
  // Junk between records: after each record, with probability `rate`, 1-16
  // random bytes that are never a preamble (a reader passes over them).
  void SetJunk(double rate, Random* random) { junk_rate_ = rate, junk_random_ = random; }

  // Type 7: GPS time, seconds of week, then bytes a reader skips (99 bytes in all).
  void TimeRecord(double seconds);
  // Type 5: station name (up to 5 characters) / receiver type code.
  void StationName(std::string_view name);
  void ReceiverTypeRecord(ReceiverType type);
  // Type 6: antenna height, m. Type 8: antenna record, time in ms.
  void AntennaHeight(double height);
  void AntennaRecord(double time_ms, double height);
  // Type 11: position (latitude and longitude written in semicircles),
  // height in m, clock offset in ms.
  void Position(const gnss::Geodetic& position, double clock_offset_ms);
  // Type 16: motion mode (sub-record 1 static, 2 kinematic), time mark
  // (sub-record 5, whole seconds of week), station entry (sub-record 3),
  // point entry (sub-record 31).
  void MotionMode(bool kinematic);
  void TimeMark(double seconds);
  void StationEntry(std::string_view description, double antenna_height, std::string_view point);
  void PointEntry(std::string_view point, std::string_view description);
  // Type 19: external event (sub-record 0) and receiver time adjustment
  // (sub-record 1, the adjustment in ms).
  void ExternalEvent(std::uint16_t marker, double time_ms);
  void TimeAdjustment(double time_ms, std::uint16_t adjustment_ms);
  // Type 20: the broadcast ionosphere parameters. Type 21: a broadcast ephemeris.
  void Ionosphere(const gnss::KlobucharParameters& parameters);
  void Ephemeris(const gnss::BroadcastEphemeris& eph);
  // Type 17: receiver time and clock offset in ms, then the satellites.
  void Measurement(double receiver_time_ms, double clock_offset_ms, std::span<const SatelliteObservation> satellites);

  std::vector<std::uint8_t>& Bytes() { return records_.Bytes(); }

 private:
  template <typename Layout>
  void Write(const typename Layout::Value& value, std::uint8_t sub_record = Layout::kSubRecord) {
    records_.Write<Layout>(value, sub_record);
    Junk();
  }
  void Junk();

  double junk_rate_ = 0.0;
  Random* junk_random_ = nullptr;
  RecordWriter records_;
  std::vector<SatelliteMeasurement> blocks_;  // the measurement record in hand
};

}  // namespace morvelin::sim
