// The RINEX import: observation and navigation files read as the raw data a
// receiver would have recorded for them. It writes the records such a
// receiver writes (framing/record_writer.h), which the converter reads with
// its own decoders: the events, and so the host's files, RINEX and the
// quality report, are exactly what the converter reports for a receiver,
// and no sink knows where they came from (docs/import.md).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/gnss_constants.h"
#include "framing/record_writer.h"
#include "gnss/ephemeris.h"
#include "import/navigation_reader.h"
#include "import/observation_reader.h"
#include "morvelin/converter.h"

namespace morvelin::import {

struct ImportCounts {
  ObservationCounts observation;
  NavigationCounts navigation;
  std::int64_t epochs = 0;            // observation epochs read
  std::int64_t left_out = 0;          // satellites beyond the 12 an epoch holds
  std::int64_t without_l1_code = 0;   // GPS satellites with no L1 code (not carried)
  std::int64_t second_l1_code = 0;    // satellites with both C/A and P-code on L1 (P-code not carried)
  std::int64_t event_markers = 0;     // epoch flag 5
  std::int64_t station_entries = 0;   // epoch flags 2 and 3
};

class RinexImport {
 public:
  // Reads the navigation files, the observation header and its first
  // epoch. Refused at a malformed line (unless lenient).
  Status Open(const std::string& observation, const std::vector<std::string>& navigation, bool lenient);
  // The same from memory (the fuzz target): no file, no zlib.
  Status OpenMemory(std::string_view observation, std::string_view navigation, bool lenient);

  // The name a receiver gives the file of this session, SSSSDDD0.dat: four
  // characters of the marker name and the day of year of the first epoch
  // (the summary's DAY).
  std::string HostName() const;
  // The GPS week of the first epoch, -1 when the file holds none.
  std::int32_t FirstWeek() const { return has_first_ ? first_.week : -1; }

  // The raw records, up to size bytes at out: how many, 0 at the end, -1
  // when a malformed line stopped the import (Failure() says where).
  std::int64_t Read(std::uint8_t* out, std::size_t size);
  const Status& Failure() const { return failure_; }
  ImportCounts Counts() const {
    ImportCounts counts = counts_;
    counts.observation = observations_.Counts();
    return counts;
  }
  const ObservationHeader& Header() const { return observations_.Header(); }
  std::size_t EphemerisCount() const { return ephemerides_.size(); }

 private:
  Status Start();
  bool Produce();
  void WriteSessionStart();
  void WriteEpoch(const RinexEpoch& epoch);
  void WriteSpecialEpoch(const RinexEpoch& epoch);
  bool MakeBlock(const RinexEpoch& epoch, const SatelliteValues& s, SatelliteMeasurement& block);
  void KeepHighest(const RinexEpoch& epoch, std::vector<SatelliteMeasurement>& blocks);
  void StationEntry();
  void WritePosition(const RinexEpoch& epoch);

  ObservationReader observations_;
  std::vector<gnss::BroadcastEphemeris> ephemerides_;
  RinexEpoch epoch_, first_;
  bool has_first_ = false, started_ = false, ended_ = false, kinematic_ = false, positioned_ = false;
  std::string marker_;
  double antenna_height_ = 0.0;
  std::uint16_t marker_id_ = 0;
  RecordWriter writer_;
  std::size_t offset_ = 0;
  std::vector<SatelliteMeasurement> blocks_;
  bool phase_blank_[kMaxPrn + 1] = {};  // the satellite's last phase was blank
  ImportCounts counts_;
  Status failure_;
};

// The outputs' path without extension for an import of observation:
// DIR/NAME, NAME given or the observation file's name without its
// extension(s) (.gz, then one more), DIR given or the file's folder.
std::string ImportOutputBase(const std::string& observation, const std::string& dir, const std::string& name);

// Converts the records an opened import of observation makes as a
// receiver's raw data: the request's input and host name are the
// import's. A malformed line that stopped the import fails the outcome
// with the reader's text.
ConversionOutcome ConvertImport(RinexImport& source, const std::string& observation, ConversionRequest request);

}  // namespace morvelin::import
