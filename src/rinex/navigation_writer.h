// RINEX navigation files (GPS, version 3.04 or 2.11): the broadcast
// ephemerides of a session as the documented reading of the type-21 record
// gives them (gnss/ephemeris_record.h), one record per ephemeris, in time
// order, each set (PRN, IODE, toe) once.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "base/text_builder.h"
#include "gnss/ephemeris.h"
#include "morvelin/rinex.h"
#include "rinex/output_file.h"

namespace morvelin::rinex {

struct ProgramLine {
  std::string_view program, run_by, date;  // the PGM / RUN BY / DATE fields
};

// What the navigation header says besides its version.
struct NavigationHeader {
  ProgramLine program;
  std::vector<std::string> comments;  // up to 60 characters each
  // The broadcast ionosphere: 3.04 IONOSPHERIC CORR GPSA and GPSB, 2.11
  // ION ALPHA and ION BETA; no records without it.
  std::optional<RinexIonosphere> ionosphere;
  int leap_seconds = 0;  // GPS - UTC at the file's first epoch (LEAP SECONDS)
};

void FormatNavigationHeader(TextBuilder& out, RinexVersion version, const NavigationHeader& header);

// Whether every coefficient prints in the D12.4 fields of the ionosphere
// records (finite, and 0 or of a magnitude with a two-digit exponent).
bool IonosphereFits(const RinexIonosphere& ionosphere);

// One record. False (nothing written) when a value is not a finite number
// that the record's fields can hold, as in a damaged ephemeris.
bool FormatNavigationRecord(TextBuilder& out, RinexVersion version, const gnss::BroadcastEphemeris& eph);

// SV accuracy in metres of a URA index (the nominal values of the index).
double UraMetres(std::int32_t ura_index);

// Gathers the ephemeris sets of a session (a few hundred a day; nothing
// else of the session is kept) and writes them sorted at the end.
class NavigationCollector {
 public:
  void Add(const gnss::BroadcastEphemeris& eph);
  std::size_t Count() const { return records_.size(); }
  bool Empty() const { return records_.empty(); }
  // The first set received, for the GPS week (null when none).
  const gnss::BroadcastEphemeris* First() const { return records_.empty() ? nullptr : &records_.front(); }
  // Gives every set the week that puts its toe nearest to reference (GPS
  // ticks of rinex_time.h): the files dated by the week or date given
  // rather than by the ephemerides' own weeks.
  void Redate(std::int64_t reference_ticks);
  // Writes header and records; returns the records written.
  std::size_t Write(OutputFile& file, RinexVersion version, const NavigationHeader& header);

 private:
  std::vector<gnss::BroadcastEphemeris> records_;
  std::set<std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t>> seen_;  // prn, iode, week, toe
};

}  // namespace morvelin::rinex
