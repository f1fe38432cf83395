// RINEX navigation files (GPS, version 3.04 or 2.11): the broadcast
// ephemerides of a session as the documented reading of the type-21 record
// gives them (gnss/ephemeris_record.h), one record per ephemeris, in time
// order, each set (PRN, IODE, toe) once.
#pragma once

#include <cstddef>
#include <set>
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

// leap_seconds: GPS - UTC at the file's first epoch (the LEAP SECONDS record).
void FormatNavigationHeader(TextBuilder& out, RinexVersion version, const ProgramLine& program, int leap_seconds);

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
  // Writes header and records; returns the records written. leap_seconds:
  // as FormatNavigationHeader takes them.
  std::size_t Write(OutputFile& file, RinexVersion version, const ProgramLine& program, int leap_seconds);

 private:
  std::vector<gnss::BroadcastEphemeris> records_;
  std::set<std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t>> seen_;  // prn, iode, week, toe
};

}  // namespace morvelin::rinex
