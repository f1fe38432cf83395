#include "import/navigation_reader.h"

#include <cmath>

#include "base/gnss_constants.h"
#include "gnss/time.h"
#include "import/observation_reader.h"

namespace morvelin::import {

namespace {

constexpr std::size_t kOrbitLines = 7;   // after the line of the epoch
constexpr std::size_t kFieldWidth = 19;  // D19.12

struct NavFormat {
  int major = 0;
  std::size_t first_value = 0;  // column (0-based) of af0 on the first line
  std::size_t orbit_start = 0;  // column of the first value on the orbit lines
};

// The lines a 3.x record of a system other than GPS takes after its first.
std::size_t OtherSystemLines(char system) {
  switch (system) {
    case 'R': case 'S': return 3;
    default: return 7;
  }
}

Status ReadNavHeader(LineReader& lines, NavFormat& format) {
  std::string_view line;
  bool first = true;
  while (lines.Next(line)) {
    const std::string_view label = HeaderLabel(line);
    if (first) {
      double version = 0.0;
      bool blank = false;
      if (label != "RINEX VERSION / TYPE" || !ParseField(Columns(line, 0, 9), version, blank) || blank)
        return MalformedAt(lines.At(1), "the first header record is not RINEX VERSION / TYPE");
      format.major = version >= 2.0 && version < 4.0 ? static_cast<int>(version) : 0;
      const std::string_view type = Columns(line, 20, 1), system = Columns(line, 40, 1);
      if (format.major == 2 && type != "N") return MalformedAt(lines.At(21), "not a GPS navigation file");
      if (format.major == 3 && (type != "N" || (system != "G" && system != "M")))
        return MalformedAt(lines.At(21), "not a navigation file with GPS records");
      if (format.major != 2 && format.major != 3) return MalformedAt(lines.At(1), "RINEX version not read (2.x, 3.x are)");
      first = false;
    }
    if (label == "END OF HEADER") {
      format.first_value = format.major == 3 ? 23 : 22;
      format.orbit_start = format.major == 3 ? 4 : 3;
      return {};
    }
  }
  if (!lines.Failure().Ok()) return lines.Failure();
  return MalformedAt(lines.At(1), "the header ends without END OF HEADER");
}

// The values of one record: [0..3) from its first line (af0, af1, af2),
// then four per orbit line.
struct NavRecord {
  int prn = 0;
  CivilEpoch toc;
  double v[3 + 4 * kOrbitLines] = {};
  bool present[3 + 4 * kOrbitLines] = {};
};

Status ReadValues(LineReader& lines, std::string_view line, std::size_t start, int count, double* out, bool* present) {
  for (int k = 0; k < count; ++k) {
    const std::size_t at = start + kFieldWidth * static_cast<std::size_t>(k);
    bool blank = false;
    if (!ParseField(Columns(line, at, kFieldWidth), out[k], blank))
      return MalformedAt(lines.At(static_cast<int>(at) + 1), "bad navigation value");
    present[k] = !blank;
  }
  return {};
}

// The first line of a GPS record (its PRN, toc and clock values).
Status FirstLine(LineReader& lines, std::string_view line, const NavFormat& f, NavRecord& r) {
  long long prn = 0, parts[5] = {};
  bool blank = false;
  const bool v3 = f.major == 3;
  if (!ParseField(Columns(line, v3 ? 1 : 0, 2), prn, blank) || blank || prn < 1 || prn > kMaxPrn)
    return MalformedAt(lines.At(v3 ? 2 : 1), "bad satellite number");
  const std::size_t starts[5] = {v3 ? 4u : 3u, v3 ? 9u : 6u, v3 ? 12u : 9u, v3 ? 15u : 12u, v3 ? 18u : 15u};
  const std::size_t widths[5] = {v3 ? 4u : 2u, 2, 2, 2, 2};
  for (int i = 0; i < 5; ++i)
    if (!ParseField(Columns(line, starts[i], widths[i]), parts[i], blank) || blank || parts[i] < 0)
      return MalformedAt(lines.At(static_cast<int>(starts[i]) + 1), "bad time of clock");
  double second = 0.0;
  if (!ParseField(Columns(line, v3 ? 21 : 17, v3 ? 2 : 5), second, blank) || blank || second < 0.0 || second >= 61.0)
    return MalformedAt(lines.At(v3 ? 22 : 18), "bad time of clock");
  r.prn = static_cast<int>(prn);
  r.toc = CivilEpoch{static_cast<int>(parts[0]), static_cast<int>(parts[1]), static_cast<int>(parts[2]),
                     static_cast<int>(parts[3]), static_cast<int>(parts[4]), second};
  if (r.toc.year < 100) r.toc.year += r.toc.year < 80 ? 2000 : 1900;
  if (r.toc.year < 1980 || r.toc.year > 2099 || r.toc.month < 1 || r.toc.month > 12 || r.toc.day < 1 ||
      r.toc.day > 31 || r.toc.hour > 23 || r.toc.minute > 59)
    return MalformedAt(lines.At(static_cast<int>(starts[0]) + 1), "bad time of clock");
  return ReadValues(lines, line, f.first_value, 3, r.v, r.present);
}

bool FitsInt(double value, double low, double high) { return value >= low && value <= high; }

// The record's values as an ephemerides' (RINEX order: docs/import.md).
Status ToEphemeris(LineReader& lines, const NavRecord& r, gnss::BroadcastEphemeris& e) {
  const double* v = r.v;
  std::int32_t week = 0;
  double toc_ms = 0.0;
  GpsTimeOf(r.toc, week, toc_ms);
  e.prn = r.prn;
  e.af0 = v[0], e.af1 = v[1], e.af2 = v[2];
  e.crs = v[4], e.delta_n = v[5], e.m0 = v[6];
  e.cuc = v[7], e.e = v[8], e.cus = v[9], e.sqrt_a = v[10];
  e.cic = v[12], e.omega0 = v[13], e.cis = v[14];
  e.i0 = v[15], e.crc = v[16], e.omega = v[17], e.omega_dot = v[18];
  e.idot = v[19];
  e.tgd = v[25];
  if (!FitsInt(v[3], 0, 255) || !FitsInt(v[11], 0, kSecondsPerWeek) || !FitsInt(v[21], 0, 32767) || !FitsInt(v[24], 0, 63) ||
      !FitsInt(v[26], 0, 1023) || !(v[23] >= 0.0))
    return MalformedAt(lines.At(1), "navigation record with IODE, toe, week, health or IODC out of range");
  e.iode = static_cast<std::int32_t>(v[3]);
  e.toe = static_cast<std::int32_t>(v[11]);
  e.week = static_cast<std::int32_t>(v[21]);
  // A 2.x week may count from the GPS epoch modulo 1024: the toc gives the full one.
  if (e.week < 1024 && week >= 1024) e.week += (week - e.week + 512) / 1024 * 1024;
  e.toc = static_cast<std::int32_t>(std::llround(toc_ms / 1000.0));
  e.ura = UraIndexOf(v[23]);
  e.health = static_cast<std::int32_t>(v[24]);
  e.iodc = static_cast<std::int32_t>(v[26]);
  return {};
}

// One record from its first line on; other systems' records are skipped.
Status ReadRecord(LineReader& lines, std::string_view line, const NavFormat& f, bool& gps,
                  gnss::BroadcastEphemeris& e) {
  gps = f.major == 2 || Columns(line, 0, 1) == "G";
  std::size_t more = gps ? kOrbitLines : OtherSystemLines(line[0]);
  NavRecord r;
  if (gps) {
    if (Status s = FirstLine(lines, line, f, r); !s) return s;
  }
  for (std::size_t k = 0; k < more; ++k) {
    std::string_view orbit;
    if (!lines.Next(orbit)) {
      if (!lines.Failure().Ok()) return lines.Failure();
      return MalformedAt(lines.At(1), "the file ends inside a navigation record");
    }
    if (!gps) continue;
    // The last line may carry the transmission time alone.
    const int count = k + 1 == kOrbitLines ? 2 : 4;
    if (Status s = ReadValues(lines, orbit, f.orbit_start, count, r.v + 3 + 4 * k, r.present + 3 + 4 * k); !s)
      return s;
  }
  return gps ? ToEphemeris(lines, r, e) : Status{};
}

}  // namespace

std::int32_t UraIndexOf(double accuracy) {
  // Nominal metres of index N: 2^(1 + N/2) to one decimal up to 6, 2^(N - 2)
  // up to 14; anything above 4096 m is 15.
  for (std::int32_t n = 0; n < 15; ++n) {
    const double nominal = n <= 6 ? std::round(std::pow(2.0, 1.0 + n / 2.0) * 10.0) / 10.0 : std::pow(2.0, n - 2);
    if (accuracy <= nominal) return n;
  }
  return 15;
}

Status ReadNavigation(LineReader& lines, bool lenient, std::vector<gnss::BroadcastEphemeris>& ephemerides,
                      NavigationCounts& counts) {
  NavFormat format;
  if (Status s = ReadNavHeader(lines, format); !s) return s;
  std::string_view line;
  while (lines.Next(line)) {
    if (Trimmed(line).empty()) continue;
    bool gps = false;
    gnss::BroadcastEphemeris e;
    if (Status s = ReadRecord(lines, line, format, gps, e); !s) {
      if (!lenient || !lines.Failure().Ok()) return s;
      ++counts.skipped_records;
      continue;
    }
    if (!gps) {
      ++counts.other_systems;
      continue;
    }
    bool known = false;
    for (const gnss::BroadcastEphemeris& k : ephemerides)
      known = known || (k.prn == e.prn && k.iode == e.iode && k.week == e.week && k.toe == e.toe);
    if (known) {
      ++counts.duplicates;
      continue;
    }
    ephemerides.push_back(e);
  }
  return lines.Failure();
}

}  // namespace morvelin::import
