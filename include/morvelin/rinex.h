// RINEX export: observation and navigation files, written from a
// conversion's events (in the same pass as the host's files) or from a
// measurement file (.gpb) and its ephemeris file (.epp) converted earlier.
//
// GPS only. Observation codes: L1 code C1C (C/A) or C1W (P-code), L1 phase
// L1C or L1W, on request the L1 Doppler D1C or D1W, and for full L2
// tracking C2W and L2W (RINEX 2.11: C1/P1, L1, D1, P2, L2). docs/rinex.md describes the files, the loss-of-lock rules, how the
// GPS week is found and what a .gpb cannot give back.
//
// No exception leaves these functions; failures come back as texts.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "morvelin/events.h"
#include "morvelin/output_set.h"

namespace morvelin {

// Everything declared here is the C++ library's public interface: exported
// from libmorvelin-cxx.so, which is built with hidden visibility.
#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility push(default)
#endif

enum class RinexVersion : std::uint8_t { k304, k211 };

struct RinexDate {
  int year = 0, month = 0, day = 0;  // Gregorian, month 1-12
};

// The eight coefficients of the broadcast (Klobuchar) ionosphere model, as
// the navigation header carries them.
struct RinexIonosphere {
  std::array<double, 4> alpha{};  // s, s/semicircle, s/semicircle^2, s/semicircle^3
  std::array<double, 4> beta{};   // s, s/semicircle, s/semicircle^2, s/semicircle^3
  bool operator==(const RinexIonosphere&) const = default;
};

// A full GPS time: the week counted from 1980-01-06 and seconds of it.
struct RinexGpsTime {
  std::int32_t week = 0;
  double seconds = 0.0;  // [0, 604800)
};

// One observation file for the whole session, or one per hour or per day
// of GPS time.
enum class RinexSplit : std::uint8_t { kNone, kHour, kDay };

// Header values given by the caller, each in place of what the data give
// (an empty text or no value: the data's, or the default). Each must fit
// its RINEX field (CheckRinexOptions): MARKER NAME 60 characters, MARKER
// NUMBER, MARKER TYPE, OBSERVER, receiver number, type and version,
// antenna number and type 20 each, AGENCY 40; printable ASCII only; the
// numbers F14.4.
struct RinexHeaderFields {
  std::string marker_name, marker_number, marker_type;  // MARKER TYPE: 3.04 only
  std::string observer, agency;
  std::string receiver_number, receiver_type, receiver_version;
  std::string antenna_number, antenna_type;
  std::optional<std::array<double, 3>> antenna_delta;    // H, E, N (metres)
  std::optional<std::array<double, 3>> approx_position;  // X, Y, Z (metres, Earth-fixed)
};

struct RinexOptions {
  RinexVersion version = RinexVersion::k304;
  // 3.x long names (SSSS00XXX_R_YYYYDDDHHMM_PPU_RRU_GO.rnx); else the short
  // SSSSDDDF.YYo / .YYn names (the only kind 2.11 has).
  bool long_names = false;
  // The GPS week of the first epoch (full week number), or the date of the
  // first epoch (refused when the epoch's time of week puts it on another
  // day of that week). Either dates the navigation records too: each
  // ephemeris takes the week that puts its toe nearest the first epoch.
  // Neither: the week is taken from the first ephemeris.
  std::optional<std::int32_t> week;
  std::optional<RinexDate> date;
  // The PGM / RUN BY / DATE record: program (with its version) and the
  // creation time as "YYYYMMDD HHMMSS UTC"; empty: the current UTC time.
  std::string program = "morvelin";
  std::string run_by;
  std::string creation_time;
  // Station name for the file names and MARKER NAME when the data carry
  // none (the input's base name, say). Empty: "RNX".
  std::string fallback_name;
  // Also write the L1 Doppler (the receiver's third L1 observable, Hz,
  // positive for an approaching satellite) as D1C/D1W (2.11: D1).
  bool doppler = false;
  // The navigation header's ionosphere parameters, instead of those of the
  // data's ionosphere record (a .gpb export has none of its own), and the
  // name of where they came from, for the header's comment.
  std::optional<RinexIonosphere> ionosphere;
  std::string ionosphere_source;

  // Epoch selection. interval > 0: only the epochs at whole multiples of
  // it in the GPS week are written (within 0.025 s, as RTKLIB's convbin
  // -ti keeps them); the loss-of-lock indicators of the epochs left out
  // go to the satellite's next epoch written. from / to: the first and
  // last time written (both included, within 0.025 s). split: a file per
  // hour or day of GPS time.
  double interval = 0.0;
  std::optional<RinexGpsTime> from, to;
  RinexSplit split = RinexSplit::kNone;

  RinexHeaderFields header;
  // Files written gzip-compressed (zlib), named with ".gz" added.
  bool gzip = false;
};

// An observation file written and its epochs.
struct RinexObservationFile {
  std::string path;
  std::int64_t epochs = 0;
};

// The files a RINEX export wrote (known once it has finished).
struct RinexOutputs {
  std::string observation_path;  // the first observation file
  std::vector<RinexObservationFile> observation_files;  // every one, in time order (several with a split)
  std::string navigation_path;
  std::int64_t epochs = 0;        // observation epochs written
  std::int64_t signals = 0;       // observation values written (code, phase, Doppler)
  std::int64_t ephemerides = 0;   // navigation records written
  // What the user should know of files that were written ("Warning: ...").
  std::vector<std::string> warnings;
  // Set, whether or not the export finished, when it was refused because
  // the date given (RinexOptions::date) is not the first epoch's: a usage
  // error of whoever gave it.
  bool date_refused = false;
};

// A sink that writes the two RINEX files into output_dir ("" = the current
// folder) as the conversion's events arrive. Refused when the options
// cannot be used or the folder cannot take the files. Failure() is set at
// the first write error, or when the GPS week cannot be found; the
// conversion then fails. outputs, when given, is filled in by Finish().
//
// The files are written under temporary names and named once they are
// whole (the station and the first epoch give the names): a short name
// SSSSDDDF.YYo takes the first session character F that no input and no
// other output of the run or its batch has. With set, the names are
// claimed there and the files put into place by set->Commit() (in memory
// when the set keeps its outputs there); without, by the sink's own Finish.
Result<std::unique_ptr<ConversionSink>> MakeRinexSink(const RinexOptions& options, const std::string& output_dir,
                                                      RinexOutputs* outputs, OutputSet* set = nullptr);

// Writes the RINEX files for an earlier conversion's measurement file
// (epp_path may be empty: then "<gpb base>.epp" is used when it exists, and
// without ephemerides no navigation file is written). The summary file
// beside the .gpb (same base name, ".sum"), when there, gives the station
// name, the receiver type and whether L1 was tracked on P-code.
// Refused when the GPS week cannot be found or a file cannot be read or
// written (the text names it).
Status WriteRinexFromGpb(const std::string& gpb_path, const std::string& epp_path, const RinexOptions& options,
                         const std::string& output_dir, RinexOutputs* outputs);

// The GPS ionosphere parameters of a RINEX navigation file's header: 2.x
// ION ALPHA and ION BETA, 3.x IONOSPHERIC CORR GPSA and GPSB. Refused
// (the text names the file) when it cannot be read, is not a RINEX 2 or 3
// navigation file, or lacks either set of four.
Result<RinexIonosphere> ReadRinexIonosphere(const std::string& path);
// Refuses options that cannot be written: a header value that does not fit
// its field (never cut), an interval outside 0.1 to 86400 s, from after
// to, a marker type for RINEX 2.11. The text names the value and the
// command-line option that gives it ("--marker-name").
Status CheckRinexOptions(const RinexOptions& options);

// "3.04" / "3" / "2.11" / "2"; false for anything else.
bool ParseRinexVersion(std::string_view text, RinexVersion* version);
// "YYYY-MM-DD" of a real day from 1980-01-06 on; false otherwise.
bool ParseRinexDate(std::string_view text, RinexDate* date);

#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility pop
#endif

}  // namespace morvelin
