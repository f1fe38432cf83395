// The decoding state of one conversion: what the decoders of every record
// family carry from one record to the next. A fresh DecodeState{} is the
// state at the start of a run.
#pragma once

#include <cstdint>

#include "base/gnss_constants.h"
#include "morvelin/events.h"
#include "morvelin/gpb.h"

namespace morvelin {

inline constexpr std::int32_t kStaticMode = 0;
inline constexpr std::int32_t kKinematicMode = 2;

// Position, station, receiver and antenna (station, antenna and position records).
struct StationState {
  char station_name[10] = {};  // up to 5 characters
  std::uint8_t receiver_type = 3;  // SSE until a receiver record says otherwise
  std::int32_t motion_mode = kStaticMode;
  double logged_antenna_height = 0.0;  // record type 6, metres
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double height = 0.0;
  double clock_offset = 0.0;
  double current_time = 0.0;            // time of station lines, seconds
  double current_antenna_height = 0.0;  // last height entered with a station entry
  double antenna_height_time = 0.0;     // time given with that height
};

// Fields of the measurement records.
struct MeasurementState {
  static constexpr int kPrnCount = kMaxPrn + 1;  // index 0 unused
  double lock_seconds[kPrnCount] = {};  // uninterrupted tracking per PRN
  double previous_epoch_time = 0.0;
  std::int32_t slip_count = 0;
  FlagCounters counters;                     // l1_invalid also numbers the invalid-phase messages
  std::int32_t total_observations = 0;
  std::int32_t measurement_epoch_count = 0;  // type-17 records read (EPOCHS)
  std::int32_t dropped_epochs = 0;           // type-17 records not stored
  bool cut_record = false;                   // a record ended by the end of the input
  double start_time = 0.0;  // unrounded time of the first type-17 record
  double end_time = 0.0;    // rounded time of the latest type-17 record
  // Scratch of the record in hand, rebuilt for every measurement record.
  EpochObservationSet epoch_set;
  SatelliteMeasurement satellites[kEpochChannels];
};

struct DecodeState {
  StationState station;
  MeasurementState measurement;
};

// The session as the sinks see it, from the decoding state.
SessionInfo CurrentSession(const StationState& station);

}  // namespace morvelin
