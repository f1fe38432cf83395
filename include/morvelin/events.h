// What a conversion reports while it reads a raw data file: the values its
// decoders found, as events that every attached sink receives in input
// order. The host's four files are one sink; RINEX and the quality report
// are others, and a program may attach its own.
//
// Events hand out views: the records, spans and texts they point to are
// valid during the call only. Times are GPS seconds of the week.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "morvelin/status.h"
#include "morvelin/gpb.h"

namespace morvelin {

// Everything declared here is the C++ library's public interface: exported
// from libmorvelin-cxx.so, which is built with hidden visibility.
#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility push(default)
#endif

// One broadcast ephemeris as the ephemeris file holds it. The field widths
// decide the digits that reach the file: a float prints as a single (9
// significant digits), a double with 15. Angles in
// radians, rates in radians per second, distances in metres, toe in seconds
// of the GPS week. The El1 and El2 values are carried by width alone.
struct GpsEph {
  std::int16_t prn = 0;  // 0-255
  std::int16_t el1_1 = 0;
  std::int32_t el1_2 = 0;
  float el1_3 = 0.0f;
  std::int32_t el1_4 = 0;
  std::int32_t el1_5 = 0;
  float el2_1 = 0.0f;
  float el2_2 = 0.0f;
  float el2_3 = 0.0f;
  std::int32_t iode = 0;  // 0-255
  float delta_n = 0.0f;
  double m0 = 0.0;
  double eccentricity = 0.0;
  double sqrt_a = 0.0;
  std::int32_t toe = 0;
  float cic = 0.0f;
  float crc = 0.0f;
  float cis = 0.0f;
  float crs = 0.0f;
  float cuc = 0.0f;
  float cus = 0.0f;
  double omega0 = 0.0;
  double omega = 0.0;
  double i0 = 0.0;
  float omega_dot = 0.0f;
  float idot = 0.0f;
};

// One satellite block of a measurement record, as the receiver sent it.
struct SatelliteMeasurement {
  std::uint8_t prn = 0;
  std::uint8_t f1 = 0;  // bit 0 dual frequency, 1 cycle slip, 4 phase valid, 5 full L2
  std::uint8_t f2 = 0;  // bit 0 P-code on L1
  std::uint8_t f3 = 0;
  double pseudorange = 0.0;     // L1 code, metres
  double phase = 0.0;           // L1 carrier phase, cycles, without any slip marker
  double third = 0.0;           // third L1 observable, as received
  double l2_phase = 0.0;        // cycles (dual frequency)
  double l2_code_offset = 0.0;  // metres: L2 code minus L1 code (full L2)

  bool DualFrequency() const { return (f1 & 0x01) != 0; }
  bool CycleSlip() const { return (f1 & 0x02) != 0; }
  bool PhaseValid() const { return (f1 & 0x10) != 0; }
  bool FullL2() const { return (f1 & 0x20) != 0; }
  bool PCode() const { return (f2 & 0x01) != 0; }
  bool operator==(const SatelliteMeasurement&) const = default;
};

// What the run knows of the station and receiver at the time of an event.
struct SessionInfo {
  std::string_view station_name;  // up to 5 characters, may be empty
  std::uint8_t receiver_type = 3;  // 1 CA-CODE, 2 SST, 3 SSE, 4 GEODETIC L1/L2
  std::int32_t motion_mode = 0;    // 0 static, 2 kinematic
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double height = 0.0;     // metres
  double antenna_height = 0.0;  // metres: the last one entered, else the logged one, else 0
};

// One stored epoch: the records the measurement file keeps, and what the
// receiver reported that the file does not keep.
struct EpochEvent {
  const EpochRecord* epoch = nullptr;  // record sizes not yet stamped
  std::span<const ObservationRecord> observations;  // satellites without an observation removed
  double receiver_time = 0.0;          // unrounded receiver time
  double clock_offset = 0.0;           // receiver clock offset, seconds, as reported
  std::span<const SatelliteMeasurement> satellites;  // every block of the record, in record order
  const SessionInfo* session = nullptr;
};

// One broadcast ephemeris (record type 21).
struct EphemerisEvent {
  const GpsEph* eph = nullptr;
  std::span<const std::uint8_t> payload;  // the record's 186 payload bytes, full precision
};

// A broadcast ionosphere record (type 20) that was read whole: the eight
// coefficients of the broadcast (Klobuchar) model when its payload holds
// them (64 bytes), else nothing but its length.
struct IonosphereEvent {
  bool has_coefficients = false;
  double alpha[4] = {};  // s, s/semicircle, s/semicircle^2, s/semicircle^3
  double beta[4] = {};   // s, s/semicircle, s/semicircle^2, s/semicircle^3
  std::int32_t payload_length = 0;  // bytes, header not counted
};

// One line of the station file.
struct StationLineEvent {
  double time = 0.0;
  std::string_view point_name;
  double antenna_height = 0.0;  // metres
  std::string_view description;
};

// An event record (type 19) that was read whole.
struct EventMarkerEvent {
  std::uint8_t sub_record = 0;  // 0 external event, 1 time adjustment, 2 manual, 3 comment, 4 RS232, 7 external
  std::uint16_t id = 0;
  bool has_time = false;
  double time = 0.0;
  std::string_view comment;  // sub-record 3
  bool counted = false;      // counts as an event marker of the run
};

// The tracking-flag counters of the summary, in the order it prints them.
struct FlagCounters {
  std::int32_t l1_only = 0;
  std::int32_t l1_and_l2 = 0;
  std::int32_t l1_pcode = 0;
  std::int32_t l1_ca = 0;
  std::int32_t full_l2 = 0;
  std::int32_t l2_squared = 0;
  std::int32_t l1_invalid = 0;
  std::int32_t f3_valid = 0;
};

// The end of a run (the input read to its end, or stopped on request).
struct RunSummary {
  std::string_view day_text;  // characters 5 to 7 of the input's name
  std::int32_t measurement_records = 0;
  double start_time = 0.0;  // unrounded time of the first measurement record
  double end_time = 0.0;    // rounded time of the latest measurement record
  std::int32_t latitude_degrees = 0, latitude_minutes = 0;
  float latitude_seconds = 0.0f;
  bool latitude_negative = false;
  std::int32_t longitude_degrees = 0, longitude_minutes = 0;
  float longitude_seconds = 0.0f;
  bool longitude_negative = false;
  double clock_offset = 0.0;  // as the position record gives it
  FlagCounters counters;
  std::int32_t total_observations = 0;
  const SessionInfo* session = nullptr;
};

// A receiver of a conversion's events. Every method has an empty default.
class ConversionSink {
 public:
  virtual ~ConversionSink() = default;
  virtual void OnEpoch(const EpochEvent&) {}
  virtual void OnEphemeris(const EphemerisEvent&) {}
  virtual void OnIonosphere(const IonosphereEvent&) {}
  virtual void OnStationLine(const StationLineEvent&) {}
  // A text of the summary file (a cycle-slip line, an event-marker block).
  virtual void OnSummaryText(std::string_view) {}
  virtual void OnEventMarker(const EventMarkerEvent&) {}
  virtual void OnEnd(const RunSummary&) {}
  // Puts out and closes what the sink writes: done, or why it could not.
  virtual Status Finish() { return {}; }
  // This sink's first failure (its text and, when known, the system's
  // reason, "No space left on device"), or done. The conversion looks after
  // every record and ends with a failure when a sink has one.
  virtual const Status& Failure() const {
    static const Status done;
    return done;
  }
};

#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility pop
#endif

}  // namespace morvelin
