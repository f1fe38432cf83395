// The morvelin utility library: GPS time and calendar conversions, numeric
// helpers, string and path helpers, and readers for small text formats.
//
// The conversion run does not call these; they serve any caller that reads
// or writes GPS data. Plain free functions in namespace morvelin; no
// exceptions. Scalar outputs are references; text outputs are spans of the
// caller's buffer (every write is cut to the span and NUL-terminated, an
// empty span means "no output"); texts modified in place are char*.
//
// GPS time here is GPS time: no leap seconds anywhere. Weeks handed to the
// GPS-to-calendar functions that are below 500 are taken as lying after the
// 1999 rollover (week + 1024); CalendarToGps hands back a week folded into
// 0-1023.
//
// Not re-entrant where noted: DateTimeFromSeconds (and GpsToCalendar and
// FormatGpsTime, which use it) and BlanksToStars return library-owned
// storage that the next call overwrites.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <span>
#include <variant>

namespace morvelin {

// Everything declared here is the C++ library's public interface: exported
// from libmorvelin-cxx.so, which is built with hidden visibility.
#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility push(default)
#endif

// ---------------------------------------------------------------------------
// Time and date conversions
// ---------------------------------------------------------------------------

// Seconds since 1970-01-01 00:00:00 of a broken-down time (uses tm_sec,
// tm_min, tm_hour, tm_mday, tm_mon, tm_year). tm_year 0-69 means 2000-2069.
// Every fourth year is a leap year (no century rule). 32-bit arithmetic:
// times after 2038-01-19 03:14:07 wrap. A tm_mon outside 0-11 is carried
// into the year.
std::int32_t SecondsFromDateTime(const std::tm& time);

// Breaks down seconds since 1970 into the library-owned record (overwritten
// by the next call): seconds to year, tm_wday set to 0, tm_yday and tm_isdst
// left as they were. For a time before 1970 whose day cannot be placed it
// prints "Internal error: Bad day number\n" on standard output and goes on
// with January; use DateTimeFromSecondsChecked to learn of that.
std::tm* DateTimeFromSeconds(std::int32_t seconds);

// The same breakdown into the caller's record (only the fields named above
// are written), silently; false when the day number could not be placed in
// a month (times before 1970), the record then holding month 0.
bool DateTimeFromSecondsChecked(std::int32_t seconds, std::tm& time);

// GPS week and seconds of week to the calendar date and time (month 1-12,
// four-digit year). The fraction of the seconds carries over. Covers GPS
// times up to 2038-01-19 03:14:07.
void GpsToCalendar(std::int32_t week, double seconds_of_week, std::int32_t& hour,
                   std::int32_t& minute, double& seconds, std::int32_t& month, std::int32_t& day,
                   std::int32_t& year);

// Calendar date and time to GPS week (folded into 0-1023) and seconds of
// week. A year of 1900 or below is taken as years since 1900, and 0-69 of
// those as 2000-2069.
void CalendarToGps(std::int32_t hour, std::int32_t minute, double seconds, std::int32_t month,
                   std::int32_t day, std::int32_t year, std::int32_t& week, double& seconds_of_week);

// As CalendarToGps, but the week counts from 1980-01-06 without folding and
// without 32-bit wrap-around: right for every date from 1980 to 2099.
void CalendarToGpsFullWeek(std::int32_t hour, std::int32_t minute, double seconds,
                           std::int32_t month, std::int32_t day, std::int32_t year,
                           std::int32_t& week, double& seconds_of_week);

// "hh:mm:ss.sss": 0 parsed, 1 rejected (separator missing, hour above 255,
// minute outside 0-60, seconds outside 0.0-60.0, or a text of 32 characters
// or more). Outputs written before a rejection keep their new values.
std::int32_t ParseTimeText(const char* text, std::int32_t& hour, std::int32_t& minute,
                           double& seconds);

// "mm/dd/yy" or "mm/dd/yyyy": 0 parsed, 1 rejected (separator missing or a
// text of 32 characters or more). Years below 50 are 20xx, other years below
// 1900 are 19xx. Month and day are not range-checked.
std::int32_t ParseDateText(const char* text, std::int32_t& month, std::int32_t& day,
                           std::int32_t& year);

// Seconds since the GPS epoch to "hh:mm:ss.s..." with the given number of
// decimals (seconds zero-padded, as printf "%02d:%02d:%0W.Nlf"; decimals are
// taken as 0-60) and "mm/dd/yyyy". Either output may be empty. The time text
// needs decimals + 10 bytes, the date text 11.
void FormatGpsTime(double gps_seconds, std::int32_t decimals, std::span<char> time_text,
                   std::span<char> date_text);

// Time text and date text (as the two parsers above) to seconds since the
// GPS epoch: 0 parsed, 1 rejected. From 1980-01-06 to the end of 2099 the
// full GPS week counts; outside that span the week of CalendarToGps, moved
// on by 1024 when below 500.
std::int32_t ParseGpsTime(const char* time_text, const char* date_text, double& gps_seconds);

// ---------------------------------------------------------------------------
// Numeric helpers (pure functions)
// ---------------------------------------------------------------------------

// a mod b through doubles, with a small guard against inexact division
// (a >= 0, b > 0). b = 0 gives 0.
std::int32_t IntMod(std::int32_t a, std::int32_t b);

// Modified Julian Date of a calendar date (month 1-12).
std::int32_t MjdFromDate(std::int32_t year, std::int32_t month, std::int32_t day);

// 0 Sunday ... 6 Saturday.
std::int32_t DayOfWeekFromMjd(std::int32_t mjd);
std::int32_t DayOfWeekFromDate(std::int32_t year, std::int32_t month, std::int32_t day);

// Degrees, minutes, seconds of an angle in degrees; whole turns dropped; only
// the degrees carry the sign (so -0.5 gives 0, 30, 0.0).
void AngleToDms(double value, std::int32_t& degrees, std::int32_t& minutes, double& seconds);

// Hours, minutes, seconds of a fraction of a day.
void DayFractionToHms(double day_fraction, std::int32_t& hours, std::int32_t& minutes,
                      double& seconds);

// Time of day of a GPS seconds of week; outside 0-604800 (or NaN) all zero.
void SecondsOfWeekToHms(double seconds_of_week, std::int32_t& hours, std::int32_t& minutes,
                        double& seconds);

// Month and day of a day of year (1-366). Outside the year the table reads
// stay inside the table; the result is then not a calendar date.
void MonthDayFromDayOfYear(std::int32_t year, std::int32_t day_of_year, std::int32_t& month,
                           std::int32_t& day);

// GPS week and seconds of week to MJD and fraction of the day. Works with a
// day slightly longer than 86400 s, so a time on a day boundary lands just
// before it (day fraction just below 1.0).
void GpsTimeToMjd(std::int32_t week, double seconds_of_week, std::int32_t& mjd,
                  double& day_fraction);
void GpsTimeToYearDay(std::int32_t week, double seconds_of_week, std::int32_t& year,
                      std::int32_t& day_of_year, std::int32_t& hours, std::int32_t& minutes,
                      double& seconds);
void GpsTimeToCalendar(std::int32_t week, double seconds_of_week, std::int32_t& year,
                       std::int32_t& month, std::int32_t& day, std::int32_t& hours,
                       std::int32_t& minutes, double& seconds);

// Earth-centred Cartesian coordinates (metres) to geodetic latitude and
// longitude (radians) and ellipsoidal height (metres). On the polar axis all
// three are 0.0; a non-finite coordinate gives NaN for all three. The
// iteration is bounded: where it does not settle (deep inside the Earth)
// the last completed values are returned.
void EcefToGeodetic(double x, double y, double z, double& latitude, double& longitude,
                    double& height);

// ---------------------------------------------------------------------------
// String, path and file-name helpers
// ---------------------------------------------------------------------------
// Paths: on Windows only the backslash separates directories; on Linux both
// '/' and the backslash do. The extension is the text from the last '.'
// after the last separator.

// Upper-cases ASCII letters among the first 40 characters, in place.
void UpperCase(char* text);

// Drops leading blanks and appends extension (given with its dot) when the
// path has none. When the result would not fit the span the extension is
// not added.
void AddDefaultExtension(std::span<char> path, const char* extension);

// Directory part (up to and including the last separator) and name part of
// a path, leading blanks skipped. Outputs are cut to their spans.
void SplitPath(const char* path, std::span<char> directory, std::span<char> name);

// Opens name for reading (text mode) in the first PATH directory that has
// it; entries are separated by ';' on Windows and ':' on Linux. nullptr when
// PATH is not set or no candidate opens; candidates longer than 95
// characters are not tried. The caller closes the stream.
std::FILE* FindInPath(const char* name);

// Copy of text with every blank as '*', in library-owned storage (the next
// call overwrites it); texts past 255 characters are cut.
const char* BlanksToStars(const char* text);
void StarsToBlanks(char* text);

// Reverses count bytes in place (any count; 0 or less does nothing).
void ReverseBytes(void* buffer, std::int32_t count);

// Big-endian values at an unaligned address.
double BigEndianDouble(const void* bytes);
std::uint32_t BigEndian32(const void* bytes);
std::int32_t BigEndianInt32(const void* bytes);  // the same 32 bits, signed
float BigEndianFloat(const void* bytes);         // the same 32 bits as a single
std::uint16_t BigEndian16(const void* bytes);

// Suspends the calling thread for ms milliseconds.
void PauseMs(std::uint32_t ms);

// ---------------------------------------------------------------------------
// Line, field and block readers
// ---------------------------------------------------------------------------

// One destination of a formatted read: a char (%c), an int32 (%d, %ld, %i),
// a uint32 (%u, %x, %o, also with l), a float (%f, %e, %g), a double (%lf,
// %le, %lg), or a char array / span (%s, %[, %S; the text is cut to it and
// always NUL-terminated). A conversion whose destination is of another kind,
// or that has no destination left, fails.
class ScanTarget {
 public:
  using Target =
      std::variant<char*, std::int32_t*, float*, double*, std::span<char>, std::uint32_t*>;

  ScanTarget(char& c) : target_(&c) {}
  ScanTarget(std::int32_t& value) : target_(&value) {}
  ScanTarget(std::uint32_t& value) : target_(&value) {}
  ScanTarget(float& value) : target_(&value) {}
  ScanTarget(double& value) : target_(&value) {}
  ScanTarget(std::span<char> text) : target_(text) {}
  template <std::size_t N>
  ScanTarget(char (&text)[N]) : target_(std::span<char>(text)) {}

  const Target& Get() const { return target_; }

 private:
  Target target_;
};

// Reads one line of at most 254 characters into line (at least 255 bytes;
// nothing is written past byte 254), dropping the line feed. Returns the
// length, or -1 at end of file with nothing read. A longer line gives 254
// characters and 255, its 255th character dropped and the 256th consumed;
// the rest is left for the next call. A carriage return stays in the line.
std::int32_t ReadTextLine(std::FILE* stream, char* line);

// Reads one line and converts its blank-, comma- or tab-separated fields by
// format (%c %d %ld %f %e %lf %le %s, and %S for the rest of the line).
// Returns the fields converted, or -1 at end of file or for an unknown
// conversion or a destination of the wrong kind.
std::int32_t ReadLineFieldsInto(std::FILE* stream, const char* format,
                                std::span<const ScanTarget> destinations);
template <class... Destinations>
std::int32_t ReadLineFields(std::FILE* stream, const char* format,
                            Destinations&&... destinations) {
  const std::array<ScanTarget, sizeof...(Destinations)> targets{ScanTarget(destinations)...};
  return ReadLineFieldsInto(stream, format, targets);
}

// Parses "KEY WORD = v1, v2 v3 ; comment" in place: the keyword without
// blanks, upper-cased in its first 40 characters (cut to the span), and up
// to min(50, values.size()) pointers to the NUL-terminated values. Returns
// the address after the line's line feed; a text that ends (NUL) before a
// line feed gives the address of its NUL.
char* ParseKeywordLine(char* text, std::span<char> keyword, std::span<char*> values,
                       std::int32_t& value_count);

struct TextBlockEntry {
  char keyword[32];
  std::int16_t value_count;  // 0-15
  std::int16_t used;         // set by ScanKeyword / ScanNextKeyword
  char values[15][80];
};

struct TextBlock {
  char name[32];
  std::int32_t entry_count;  // 0-32
  TextBlockEntry entries[32];
};

// Reads the next "Name { ... }" block. 0 read, 1 header without a readable
// name (or a read error), -1 end of file. Names and keywords longer than 31
// characters and values longer than 79 are cut. Blanks inside double quotes
// are stored as backquotes.
std::int32_t ReadBlock(std::FILE* stream, TextBlock& block);

// Scans the values of the first entry with keyword (letter case ignored)
// that has not been delivered yet, by scanf conventions, and marks it
// delivered: %d %i (0x hexadecimal and 0 octal prefixes) into int32; %u %x
// %o into uint32 (a negative value wraps and a value beyond 32 bits gives
// 0xFFFFFFFF, as strtoul with a 32-bit long); %f %e %g (single) and %lf %le
// %lg (double); %s and %[set] / %[^set] (ranges a-z) into text; %c; %% and
// literal characters; white space; field widths; '*' to convert without
// assigning (no destination is taken, nothing counted). No locale. Returns
// the conversions assigned (0 or more), or -1 when no such entry is left.
std::int32_t ScanNextKeywordInto(const char* keyword, TextBlock& block, const char* format,
                                 std::span<const ScanTarget> destinations);
template <class... Destinations>
std::int32_t ScanNextKeyword(const char* keyword, TextBlock& block, const char* format,
                             Destinations&&... destinations) {
  const std::array<ScanTarget, sizeof...(Destinations)> targets{ScanTarget(destinations)...};
  return ScanNextKeywordInto(keyword, block, format, targets);
}

// As ScanNextKeyword, but always takes the first entry with keyword; -1 when
// the block has none.
std::int32_t ScanKeywordInto(const char* keyword, TextBlock& block, const char* format,
                             std::span<const ScanTarget> destinations);
template <class... Destinations>
std::int32_t ScanKeyword(const char* keyword, TextBlock& block, const char* format,
                         Destinations&&... destinations) {
  const std::array<ScanTarget, sizeof...(Destinations)> targets{ScanTarget(destinations)...};
  return ScanKeywordInto(keyword, block, format, targets);
}

// Turns the backquotes that ReadBlock put for quoted blanks into c (or back
// into blanks), in place.
void ReplaceBackquotes(char* text, char c);
void RestoreQuotedBlanks(char* text);

#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility pop
#endif

}  // namespace morvelin
