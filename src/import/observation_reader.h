// A RINEX observation file (2.10, 2.11, 3.02-3.05), GPS records only: its
// header, then one epoch at a time. Satellites of other systems are passed
// over with a count. Every field is read within its line (rinex_lines.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "import/rinex_lines.h"

namespace morvelin::import {

// The observables the host's files take, each the column of the GPS
// observation types that gives it (-1: not in the file). Order of
// preference: docs/import.md.
enum class Observable : std::uint8_t { kL1CaCode, kL1PCode, kL1CaPhase, kL1PPhase, kDoppler, kCount };
inline constexpr int kL2Groups = 4;  // W, P, L, X (3.x); P2, C2 (2.x)

struct ObservationColumns {
  std::array<int, static_cast<int>(Observable::kCount)> l1{-1, -1, -1, -1, -1};
  std::array<int, kL2Groups> l2_code{-1, -1, -1, -1};
  std::array<int, kL2Groups> l2_phase{-1, -1, -1, -1};
  int Of(Observable o) const { return l1[static_cast<int>(o)]; }
};

struct CivilEpoch {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double second = 0.0;
};

struct ObservationHeader {
  int major = 0;  // 2 or 3
  std::string marker_name;
  bool has_position = false;
  double x = 0.0, y = 0.0, z = 0.0;
  double antenna_height = 0.0;
  double antenna_east = 0.0, antenna_north = 0.0;
  bool clock_applied = false;  // RCV CLOCK OFFS APPL 1: the time tags are corrected
  bool has_first = false;
  CivilEpoch first;
  int gps_type_count = 0;  // observation types of GPS (of every system in 2.x)
  std::vector<std::string> gps_types;
  ObservationColumns columns;
};

// One satellite's values in the order of the GPS types.
struct SatelliteValues {
  std::uint8_t prn = 0;
  std::size_t first = 0;  // index of its first value in RinexEpoch::values
};

struct ObservationValue {
  double value = 0.0;
  bool present = false;
  std::uint8_t lli = 0;
};

struct RinexEpoch {
  CivilEpoch time;
  std::int32_t week = 0;
  double receiver_ms = 0.0;  // milliseconds of the week
  int flag = 0;
  bool has_clock = false;
  double clock_offset = 0.0;  // seconds
  std::vector<SatelliteValues> satellites;  // GPS, PRN 1-32
  std::vector<ObservationValue> values;
  // Flags 3 and 4: what the header records after the epoch line say.
  bool new_marker = false, new_antenna = false;
  std::string marker_name;
  double antenna_height = 0.0;
};

struct ObservationCounts {
  std::int64_t other_systems = 0;    // satellite records of other systems passed over
  std::int64_t skipped_lines = 0;    // malformed lines passed over (--lenient)
  std::int64_t skipped_epochs = 0;   // epochs dropped for a malformed line (--lenient)
  std::int64_t slip_records = 0;     // epoch-flag-6 records (not carried)
};

class ObservationReader {
 public:
  // Opens the file and reads its header.
  Status Open(const std::string& path, bool lenient);
  Status OpenMemory(std::string_view bytes, std::string name, bool lenient);
  const ObservationHeader& Header() const { return header_; }
  // The next epoch: true, false at the end (failure() then set when a
  // malformed line stopped it).
  bool Next(RinexEpoch& epoch);
  const Status& Failure() const { return failure_; }
  const ObservationCounts& Counts() const { return counts_; }

 private:
  Status ReadHeader();
  Status HeaderLine(std::string_view line, std::string_view label, int& pending_types, char& pending_system);
  Status TypesLine(std::string_view line, int& pending, char& system);
  void DecideColumns();
  Status ReadEpoch(std::string_view line, RinexEpoch& epoch);
  Status EpochLine2(std::string_view line, RinexEpoch& epoch, int& count);
  Status EpochLine3(std::string_view line, RinexEpoch& epoch, int& count);
  Status SpecialRecords(RinexEpoch& epoch, int count);
  Status SatelliteList2(std::string_view line, int count, std::vector<int>& prns);
  Status Observations2(RinexEpoch& epoch, const std::vector<int>& prns);
  Status Observations3(RinexEpoch& epoch, int count);
  Status Values(std::string_view line, std::size_t start, int from, int to, ObservationValue* out, bool ignore);
  Status NeedLine(std::string_view& line);
  bool Resynchronise(std::string_view& line);

  LineReader lines_;
  bool lenient_ = false;
  ObservationHeader header_;
  ObservationCounts counts_;
  Status failure_;
  std::string pending_line_;
  bool has_pending_ = false;
};

// The GPS week and milliseconds of the week of a civil GPS time.
void GpsTimeOf(const CivilEpoch& time, std::int32_t& week, double& milliseconds);

}  // namespace morvelin::import
