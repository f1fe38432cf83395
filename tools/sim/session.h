// One simulated session: a constellation, one or more receivers, and the
// raw data file each receiver writes, optionally damaged for robustness
// tests. Deterministic: the same configuration gives the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gnss/time.h"
#include "observation.h"
#include "receiver.h"

namespace morvelin::sim {

struct Damage {
  double junk_rate = 0.0;      // per record: 1-16 junk bytes after it
  std::int64_t bit_flips = 0;  // random bits flipped anywhere in the file
  std::int64_t cut_end = 0;    // bytes cut from the end of the file
};

struct SimulationConfig {
  gnss::GpsTime start;          // receiver time of the first epoch
  double duration = 600.0;      // s; epochs = duration / interval between epochs
  int rate = 1;                 // Hz, 1-20, 1000 ms a multiple of the interval
  int interval = 0;             // s between epochs below 1 Hz (divides a day); 0: 1 / rate
  std::uint64_t seed = 1;
  int satellites = 31;          // 24-32
  double event_interval = 0.0;  // s between external events; 0 = none
  std::vector<ReceiverSpec> receivers;
  ObservationOptions observation;
  Damage damage;
};

struct TruthRow {
  std::int64_t epoch = 0;
  gnss::GpsTime time;           // true GPS time of the epoch
  gnss::GpsTime receiver_time;  // as the measurement record carries it
  gnss::Ecef position;
  gnss::Geodetic geodetic;
  double clock_offset = 0.0;    // s
  int satellites = 0;           // in the measurement record
};

// A cycle slip the simulator put into the phases.
struct SlipRow {
  std::int64_t epoch = 0;
  gnss::GpsTime receiver_time;  // as the measurement record carries it
  int prn = 0;
  double l1_cycles = 0.0;       // the jump of the L1 ambiguity
  double l2_cycles = 0.0;       // the jump of the L2 ambiguity (dual frequency)
  bool flagged = false;         // the receiver set the cycle-slip flag
};

struct ReceiverOutput {
  std::vector<std::uint8_t> raw;
  std::size_t whole_size = 0;   // bytes of the raw data file before --cut-end
  std::vector<TruthRow> truth;
  std::vector<SlipRow> slips;
};

// Milliseconds between epochs: the interval, else 1000 / rate.
std::int64_t EpochIntervalMs(const SimulationConfig& config);

// Empty when the configuration is usable, else what is wrong with it.
std::string CheckConfig(const SimulationConfig& config);
std::vector<ReceiverOutput> Simulate(const SimulationConfig& config);

// The truth of every receiver as CSV, one line per epoch, with a header line.
std::string TruthCsv(const SimulationConfig& config, const std::vector<ReceiverOutput>& outputs);
// Every cycle slip of every receiver as CSV, one line per slip, with a header line.
std::string SlipsCsv(const SimulationConfig& config, const std::vector<ReceiverOutput>& outputs);

}  // namespace morvelin::sim
