// The state of one conversion run: the five files and the per-run fields
// of the reader and of every record family. One Run exists per loaded
// library (conversions run one at a time); its DecodeState is reset to the
// start values below at the beginning of every run.
#pragma once

#include <cstdint>

#include "convert/input_stream.h"
#include "formats/text_file.h"
#include "morvelin/gpb.h"

namespace morvelin {

// Fields of the record stream reader.
struct ReaderState {
  std::int32_t record_counter = 0;         // records accepted so far
  std::int32_t previous_record_type = 99;  // 99 until the first record
  double type7_time = -1.0;                // time argument of the invalid-type message
};

// Position, station and antenna fields (station, antenna and position records).
struct StationState {
  char station_name[10] = {};  // up to 5 characters
  double logged_antenna_height = 0.0;  // record type 6, metres
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double height = 0.0;
  double clock_offset = 0.0;
  std::int32_t latitude_degrees = 0, latitude_minutes = 0;
  float latitude_seconds = 0.0f;
  std::int32_t longitude_degrees = 0, longitude_minutes = 0;
  float longitude_seconds = 0.0f;
  double current_time = 0.0;            // time of station lines, seconds
  double current_antenna_height = 0.0;  // last height parsed by WriteStationLine
  double antenna_height_time = 0.0;     // time given with that height
};

// The tracking-flag counters of the summary, in the order it prints them.
struct FlagCounters {
  std::int32_t l1_only = 0;
  std::int32_t l1_and_l2 = 0;
  std::int32_t l1_pcode = 0;
  std::int32_t l1_ca = 0;
  std::int32_t full_l2 = 0;
  std::int32_t l2_squared = 0;
  std::int32_t l1_invalid = 0;  // also numbers the invalid-phase messages
  std::int32_t f3_valid = 0;
};

// Fields of the measurement records.
struct MeasurementState {
  static constexpr int kPrnCount = 33;  // index 0 unused
  double lock_seconds[kPrnCount] = {};  // uninterrupted tracking per PRN
  double previous_epoch_time = 0.0;
  std::int32_t slip_count = 0;
  FlagCounters counters;
  std::int32_t total_observations = 0;
  std::int32_t measurement_epoch_count = 0;  // type-17 records read (EPOCHS)
  double start_time = 0.0;  // unrounded time of the first type-17 record
  double end_time = 0.0;    // rounded time of the latest type-17 record
};

struct DecodeState {
  ReaderState reader;
  StationState station;
  MeasurementState measurement;
};

// The four counts handed back to the host.
struct RunCounts {
  std::int32_t written_epochs = 0;
  std::int32_t ephemerides = 0;
  std::int32_t station_lines = 0;
  std::int32_t events = 0;
};

struct Run {
  static constexpr std::size_t kPayloadCapacity = 256;  // largest payload is 251 bytes

  InputStream input;
  std::int64_t input_length = 0;
  MeasurementFile* gpb = nullptr;
  TextFile epp;
  TextFile sum;
  TextFile sta;
  RunCounts counts;
  DecodeState state;
  // Scratch for the payloads that decoders read whole. Only the bytes a
  // read actually delivered belong to the current record.
  std::uint8_t payload[kPayloadCapacity];
  EpochObservationSet epoch_set;  // rebuilt for every measurement record
};

// The run of this library (one conversion at a time).
Run& CurrentRun();

}  // namespace morvelin
