// The text of RINEX observation files, version 3.04 or 2.11: header
// records, epoch lines and observation records, formatted locale-free (the
// numbers exactly as printf's %F.Nf would print them in the "C" locale).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text_builder.h"
#include "morvelin/rinex.h"
#include "rinex/rinex_time.h"

namespace morvelin::rinex {

// One observation column: which signal and whether code, phase or Doppler.
enum class Signal : std::uint8_t {
  kL1CaCode, kL1CaPhase, kL1PCode, kL1PPhase, kL2Code, kL2Phase, kL1CaDoppler, kL1PDoppler
};
inline constexpr int kSignalCount = 8;

// The observation types a file lists, decided once for its header.
struct ObservationTypes {
  bool l1_ca = false;  // L1 tracked on C/A code
  bool l1_p = false;   // L1 tracked on P-code
  bool l2 = false;     // full L2: L2 code and phase
  bool doppler = false;  // the L1 Doppler beside each L1 phase
  bool operator==(const ObservationTypes&) const = default;
};

// The columns of a file: codes in header order and, for every signal, its
// column (-1: not listed). In 2.11 both L1 codes share the one L1 phase
// and the one L1 Doppler: signals lists the signals of each column below
// count, one or two (-1 for none), the later signal first (its value is
// the one written when a record holds both).
struct ObservationLayout {
  int count = 0;
  std::array<const char*, kSignalCount> codes{};
  std::array<int, kSignalCount> column{-1, -1, -1, -1, -1, -1, -1, -1};
  std::array<std::array<std::int8_t, 2>, kSignalCount> signals{};
  int Column(Signal s) const { return column[static_cast<int>(s)]; }
};
ObservationLayout MakeLayout(RinexVersion version, ObservationTypes types);

// One satellite's values in layout order; a value is written when present.
// lli: the loss-of-lock indicator (0 or 1) of a phase value.
struct SatelliteRecord {
  std::uint8_t prn = 0;
  std::array<double, kSignalCount> value{};
  std::array<bool, kSignalCount> present{};
  std::array<std::uint8_t, kSignalCount> lli{};
};

// A header record of 80 columns: content padded (or cut) to 60, the label
// padded to 20, "\n".
void HeaderRecord(TextBuilder& out, std::string_view content, std::string_view label);
// "  2023    12    11     0     0    0.0000000     GPS         TIME OF FIRST OBS".
void TimeOfObservationRecord(TextBuilder& out, const CivilTime& time, std::string_view label);
void IntervalRecord(TextBuilder& out, double seconds);
// "        1.5000        0.0000        0.0000                  ANTENNA: DELTA H/E/N".
void AntennaDeltaRecord(TextBuilder& out, double height, double east = 0.0, double north = 0.0);
// The observation types record(s) of the version.
void ObservationTypesRecords(TextBuilder& out, RinexVersion version, const ObservationLayout& layout);

// An epoch line with flag 0-6 and its satellite count. The satellite list
// (2.11) and the receiver clock offset (seconds; printed when has_clock)
// belong to observation epochs (flags 0, 1, 6) only.
struct EpochLine {
  CivilTime time;
  int flag = 0;
  int count = 0;
  const std::uint8_t* prns = nullptr;  // 2.11: the PRNs of the epoch's records
  bool has_clock = false;
  double clock_offset = 0.0;
};
void FormatEpochLine(TextBuilder& out, RinexVersion version, const EpochLine& line);

// The observation record(s) of one satellite, trailing blanks dropped.
void FormatSatelliteRecord(TextBuilder& out, RinexVersion version, const ObservationLayout& layout,
                           const SatelliteRecord& record);
// The same text at out, which has room for kSatelliteRecordRoom bytes; returns its end.
inline constexpr std::size_t kSatelliteRecordRoom = 3 + kSignalCount * 16 + 2;
char* FormatSatelliteRecord(char* out, RinexVersion version, const ObservationLayout& layout,
                            const SatelliteRecord& record);

// The bounds of an observation field (F14.3): the values strictly between
// them print in it.
inline constexpr double kLargestObservationValue = 9999999999.9995;
inline constexpr double kSmallestObservationValue = -999999999.9995;

// F14.3 into 14 characters at out (blanks when the value does not fit).
void FormatObservationValue(char* out, double value);

}  // namespace morvelin::rinex
