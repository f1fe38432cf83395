// Helpers for the measurement record and summary tests: flag bits of a
// satellite block, a conversion of a built raw data file, and the epochs
// of the measurement file it wrote.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "morvelin/gpb.h"
#include "morvelin/events.h"
#include "support/harness.h"
#include "support/raw_builder.h"

namespace morvelin::test {

// Flag bits of a satellite block.
using satellite_flag::kCycleSlip;
using satellite_flag::kDualFrequency;
using satellite_flag::kF3Valid;
using satellite_flag::kFullL2;
using satellite_flag::kPCode;
using satellite_flag::kPhaseValid;

// Naturally aligned copies of the packed file records, so that tests can
// bind their fields to references (GoogleTest's EXPECT_EQ does).
struct Observation {
  std::int16_t record_size;
  std::uint8_t prn;
  std::uint8_t lock_time;
  double l1_pseudorange, l1_phase, l1_third, l2_pseudorange, l2_phase;
};
struct Epoch {
  std::int16_t record_size;
  std::uint8_t measurement_count;
  std::uint8_t epoch_flags;
  double latitude, longitude;
  float height;
  double epoch_time, corrected_epoch_time, clock_offset;
};

struct GpbEpoch {
  Epoch epoch;
  std::vector<Observation> observations;
};

// The epochs after the 202-byte header. A cut epoch ends the list and
// fails the calling test.
std::vector<GpbEpoch> ReadGpbEpochs(const Bytes& gpb);

struct MeasurementOutcome {
  Conversion conversion;
  std::vector<GpbEpoch> epochs;
  std::size_t gpb_size = 0;
  std::string summary;  // the .sum file as it is on disk
  std::string path;     // the raw data file
  RunSummary end;       // what the sinks were told at the end of the run
};

// Writes raw to dir/ABCD1230.dat and converts it.
MeasurementOutcome ConvertRaw(const TempDir& dir, const RawBuilder& raw, const ConvertOptions& options = {});

// The lines the run wrote to the summary file before its end-of-run block.
std::string LinesBeforeSummaryBlock(const std::string& summary);

// One satellite on a plain track: valid phase, the given frequency kind.
RawSatellite Single(std::uint8_t prn, std::uint8_t extra_f1 = 0);
RawSatellite Dual(std::uint8_t prn, std::uint8_t extra_f1 = kFullL2);

}  // namespace morvelin::test
