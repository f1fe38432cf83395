// The listings behind `morvelin inspect`: what a converted file holds, as
// text. A measurement file (.gpb) gets its header and an epoch table (or
// CSV), optionally cut to one satellite and a span of epochs; an ephemeris
// file (.epp) one line per block; a station or summary file (.sta, .sum) its
// text as it is.
//
// Every function opens its file by the path it is given, of any length, and
// never moves the working folder. Output goes to out and messages to err; a
// failed write to out ends a listing early, with the result it would have
// had so far: the caller's check of its stream says why.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "morvelin/gpb.h"

namespace morvelin::cli {

// A time given to --from or --to: "SECONDS", seconds of the GPS week of the
// file's first epoch, running on past 604800 into the weeks after it (a
// value below the first epoch's second of week means the next week when
// the file crosses the end of the week); or "WEEK:SECONDS", a GPS week and
// seconds of it [0, 604800), which needs the week of the file (its .epp).
struct GpsTimeArgument {
  std::optional<std::int32_t> week;
  double seconds = 0.0;
};
// False for a text that is neither form.
bool ParseGpsTimeArgument(const std::string& text, GpsTimeArgument& time);

struct InspectOptions {
  bool csv = false;
  std::optional<int> prn;               // this satellite's rows alone, from its first epoch with an L1 pseudorange
  std::optional<GpsTimeArgument> from;  // start at the first epoch at or after this time
  std::optional<GpsTimeArgument> to;    // end before the first epoch after this time
};

// Results of the listings.
inline constexpr int kInspectDone = 0;
inline constexpr int kInspectNotFound = 1;  // --prn / --from / --to matched no epoch
inline constexpr int kInspectDamaged = 2;   // missing, unreadable or damaged file, or one of no listed kind
inline constexpr int kInspectUsage = 64;    // WEEK:SECONDS for a file whose week is not known

// The kinds of file that are listed, told by the extension (in any case).
enum class ListedKind { kMeasurement, kEphemeris, kText, kOther };
ListedKind KindOfFile(const std::string& path);

// Lists the file at path as its kind is listed. options apply to measurement
// files only (the caller refuses them for other kinds). A file of no listed
// kind: "Error: PATH is not a .gpb, .epp, .sta or .sum file", kInspectDamaged.
int ListFile(const std::string& path, const InspectOptions& options, std::ostream& out, std::ostream& err);

// Lists the measurement file at path: the header and a table (or, with csv,
// a header row and one row per epoch and satellite). A damaged file is listed
// up to the damage, then the reader's text goes to err. kInspectNotFound,
// with "No epoch ... in PATH" on err, when the options match no epoch.
int ListMeasurementFile(const std::string& path, const InspectOptions& options, std::ostream& out,
                        std::ostream& err);

// Lists the ephemeris file at path, one line per GpsEph block: PRN, IODE,
// toe, sqrt(A) and eccentricity ("-" for a value the block lacks).
int ListEphemerisFile(const std::string& path, std::ostream& out, std::ostream& err);

// Copies the text file at path to out, in text mode (so the platform's line
// ends come out as they went in).
int ListTextFile(const std::string& path, std::ostream& out, std::ostream& err);

// The texts of a measurement listing.
std::string FormatGpbHeader(const std::string& path, const GpbHeader& header);

inline constexpr const char* kEpochTableHeading =
    "  epoch time fl     latitude     longitude    height prn lock  L1 pseudorange        L1 phase"
    "  L2 pseudorange        L2 phase\n";

inline constexpr const char* kEpochCsvHeading =
    "epoch_time,corrected_epoch_time,clock_offset,flags,latitude,longitude,height,satellites,"
    "prn,lock_time,l1_pseudorange,l1_phase,l1_third,l2_pseudorange,l2_phase\n";

// One line per satellite of the epoch; an epoch without satellites still
// gets one line, with the satellite columns left empty. With only_prn, the
// lines of that satellite alone (none when the epoch lacks it).
std::string FormatEpochRows(const EpochRecord& epoch, const ObservationRecord* observations, bool csv,
                            std::optional<int> only_prn = {});

}  // namespace morvelin::cli
