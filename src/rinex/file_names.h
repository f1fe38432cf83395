// The names RINEX users expect: SSSSDDDF.YYo / .YYn (every version), or the
// 3.x long names SSSS00XXX_R_YYYYDDDHHMM_PPU_RRU_GO.rnx / ..._PPU_GN.rnx.
#pragma once

#include <string>
#include <string_view>

#include "rinex/rinex_time.h"

namespace morvelin::rinex {

enum class FileKind : char { kObservation = 'O', kNavigation = 'N' };

// The four-character station part: letters and digits of the station name,
// others as '_', filled up with '_' ("RNX_" when the name is empty).
std::string StationCode(std::string_view station_name);

// SSSSDDDF.YYo (lower case) for the first epoch's day; F is the session
// character.
std::string ShortName(std::string_view station_name, const CivilTime& start, FileKind kind, char session = '0');

// The session character of a short name: '0' for a file of a whole day
// (from the day's first epoch to its last), else 'a' to 'x' for the hour of
// the first epoch. period_seconds: the span the file covers (last epoch -
// first + interval).
char SessionCharacter(const CivilTime& start, double period_seconds);
// The one to try when session's name is taken: the characters go round
// "0abcdefghijklmnopqrstuvwxyz123456789" from the first one tried
// (first), so that every one is tried once; 0 once all were tried.
char NextSessionCharacter(char session, char first);

// The header lines of the RINEX observation file at path (plain or gzip)
// that say whose observations it holds: the marker, the receiver, the
// antenna, the position and the first epoch. Empty when it is not one.
std::string SessionIdentity(const std::string& path);

// Whether the file at existing holds another session's observations than
// the one of our_identity (SessionIdentity). False when nothing (or a
// folder) is at existing; true when it cannot be read as a RINEX
// observation file.
bool HoldsAnotherSession(const std::string& existing, const std::string& our_identity);

// Long name. period_seconds: the span the file covers (0: not known, "00U");
// interval_seconds: the observation interval (0: not known; not part of a
// navigation file's name).
std::string LongName(std::string_view station_name, const CivilTime& start, double period_seconds,
                     double interval_seconds, FileKind kind);

// "01H", "15M", "01D": a period rounded up in the largest unit that is not
// more than it; "00U" when not known.
std::string PeriodCode(double seconds);
// "01S", "30S", "10Z" (10 Hz), "01C" (100 Hz), "05M"; "00U" when not known.
std::string RateCode(double seconds);

// dir + '/' + name ("" dir: name alone).
std::string JoinPath(const std::string& dir, const std::string& name);

}  // namespace morvelin::rinex
