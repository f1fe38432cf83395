#include "import/observation_reader.h"

#include <cmath>

#include "base/gnss_constants.h"
#include "gnss/time.h"

namespace morvelin::import {

namespace {

constexpr std::size_t kValueWidth = 16;  // F14.3, LLI, signal strength
constexpr int kMaxTypes = 64;            // observation types of one system taken
constexpr int kTypesPerLine2 = 9, kTypesPerLine3 = 13, kValuesPerLine2 = 5, kSatellitesPerLine2 = 12;

// The 3.x codes of each L2 group, in the order of preference, and 2.x's.
constexpr const char* kL2Codes3[kL2Groups] = {"C2W", "C2P", "C2L", "C2X"};
constexpr const char* kL2Phases3[kL2Groups] = {"L2W", "L2P", "L2L", "L2X"};
constexpr const char* kL2Codes2[kL2Groups] = {"P2", "C2", "", ""};

int FindType(const std::vector<std::string>& types, std::string_view code) {
  for (std::size_t i = 0; i < types.size(); ++i)
    if (!code.empty() && types[i] == code) return static_cast<int>(i);
  return -1;
}

int FirstType(const std::vector<std::string>& types, std::initializer_list<std::string_view> codes) {
  for (std::string_view code : codes)
    if (const int found = FindType(types, code); found >= 0) return found;
  return -1;
}

// An integer field within [low, high], or malformed at its column.
Status IntegerField(const LineReader& lines, std::string_view line, std::size_t start, std::size_t width,
                    long long low, long long high, long long& value, std::string_view what) {
  bool blank = false;
  if (!ParseField(Columns(line, start, width), value, blank) || blank || value < low || value > high)
    return MalformedAt(lines.At(static_cast<int>(start) + 1), what);
  return {};
}

Status RealField(const LineReader& lines, std::string_view line, std::size_t start, std::size_t width, double& value,
                 bool& blank, std::string_view what) {
  if (!ParseField(Columns(line, start, width), value, blank))
    return MalformedAt(lines.At(static_cast<int>(start) + 1), what);
  return {};
}

// A civil time of five integer fields and the seconds (starts: 0-based).
Status CivilFields(const LineReader& lines, std::string_view line, const std::size_t (&start)[6],
                   const std::size_t (&width)[6], CivilEpoch& time) {
  long long parts[5] = {};
  const long long low[5] = {0, 1, 1, 0, 0}, high[5] = {9999, 12, 31, 23, 59};
  for (int i = 0; i < 5; ++i) {
    if (Status s = IntegerField(lines, line, start[i], width[i], low[i], high[i], parts[i], "bad epoch time"); !s)
      return s;
  }
  bool blank = false;
  if (Status s = RealField(lines, line, start[5], width[5], time.second, blank, "bad epoch seconds"); !s) return s;
  if (blank || time.second < 0.0 || time.second >= 61.0) return MalformedAt(lines.At(static_cast<int>(start[5]) + 1), "bad epoch seconds");
  time.year = static_cast<int>(parts[0]), time.month = static_cast<int>(parts[1]), time.day = static_cast<int>(parts[2]);
  time.hour = static_cast<int>(parts[3]), time.minute = static_cast<int>(parts[4]);
  if (time.year < 100) time.year += time.year < 80 ? 2000 : 1900;
  if (time.year < 1980 || time.year > 2099) return MalformedAt(lines.At(static_cast<int>(start[0]) + 1), "year outside 1980-2099");
  return {};
}

}  // namespace

void GpsTimeOf(const CivilEpoch& time, std::int32_t& week, double& milliseconds) {
  const std::int64_t day = gnss::GpsDayOfDate(time.year, time.month, time.day);
  week = static_cast<std::int32_t>(gnss::FloorDiv(day, 7));
  const std::int64_t whole = (day - std::int64_t{week} * 7) * kSecondsPerDay + time.hour * 3600 + time.minute * 60;
  // The seconds carry 7 decimals: taken in units of 0.1 microsecond, so
  // that a receiver's whole milliseconds come back exactly.
  const double ticks = std::round(time.second * 1e7);
  milliseconds = static_cast<double>(whole) * 1000.0 + ticks / 1e4;
}

Status ObservationReader::Open(const std::string& path, bool lenient) {
  lenient_ = lenient;
  if (Status opened = lines_.Open(path); !opened) return opened;
  return ReadHeader();
}

Status ObservationReader::OpenMemory(std::string_view bytes, std::string name, bool lenient) {
  lenient_ = lenient;
  lines_.OpenMemory(bytes, std::move(name));
  return ReadHeader();
}

Status ObservationReader::ReadHeader() {
  std::string_view line;
  int pending_types = 0;
  char pending_system = ' ';
  bool version_seen = false;
  while (lines_.Next(line)) {
    const std::string_view label = HeaderLabel(line);
    if (label == "END OF HEADER") {
      if (!version_seen) return MalformedAt(lines_.At(61), "missing RINEX VERSION / TYPE");
      if (header_.gps_types.empty()) return MalformedAt(lines_.At(61), "missing the GPS observation types");
      DecideColumns();
      if (header_.columns.Of(Observable::kL1CaCode) < 0 && header_.columns.Of(Observable::kL1PCode) < 0)
        return MalformedAt(lines_.At(61), "no L1 code among the GPS observation types (C1C, C1W, C1P, C1, P1)");
      return {};
    }
    if (!version_seen && label != "RINEX VERSION / TYPE")
      return MalformedAt(lines_.At(61), "the first header record is not RINEX VERSION / TYPE");
    version_seen = true;
    if (Status s = HeaderLine(line, label, pending_types, pending_system); !s) return s;
  }
  if (!lines_.Failure().Ok()) return lines_.Failure();
  return MalformedAt(lines_.At(1), "the header ends without END OF HEADER");
}

Status ObservationReader::HeaderLine(std::string_view line, std::string_view label, int& pending_types,
                                     char& pending_system) {
  bool blank = false;
  if (label == "RINEX VERSION / TYPE") {
    double version = 0.0;
    if (Status s = RealField(lines_, line, 0, 9, version, blank, "bad RINEX version"); !s) return s;
    if (!(version >= 2.10 - 1e-9 && version < 2.12) && !(version >= 3.02 - 1e-9 && version < 3.06))
      return MalformedAt(lines_.At(1), "RINEX version not read (2.10, 2.11, 3.02-3.05 are)");
    header_.major = static_cast<int>(version);
    if (Columns(line, 20, 1) != "O") return MalformedAt(lines_.At(21), "not an observation file");
    const std::string_view system = Columns(line, 40, 1);
    if (!system.empty() && system != " " && system != "G" && system != "M")
      return MalformedAt(lines_.At(41), "a file without GPS observations");
  } else if (label == "MARKER NAME") {
    header_.marker_name = std::string(Trimmed(Columns(line, 0, 60)));
  } else if (label == "APPROX POSITION XYZ") {
    double* xyz[3] = {&header_.x, &header_.y, &header_.z};
    for (std::size_t i = 0; i < 3; ++i)
      if (Status s = RealField(lines_, line, 14 * i, 14, *xyz[i], blank, "bad position"); !s) return s;
    header_.has_position = header_.x != 0.0 || header_.y != 0.0 || header_.z != 0.0;
  } else if (label == "ANTENNA: DELTA H/E/N") {
    double* delta[3] = {&header_.antenna_height, &header_.antenna_east, &header_.antenna_north};
    for (std::size_t i = 0; i < 3; ++i)
      if (Status s = RealField(lines_, line, 14 * i, 14, *delta[i], blank, "bad antenna delta"); !s) return s;
  } else if (label == "RCV CLOCK OFFS APPL") {
    long long applied = 0;
    if (Status s = IntegerField(lines_, line, 0, 6, 0, 1, applied, "bad RCV CLOCK OFFS APPL"); !s) return s;
    header_.clock_applied = applied == 1;
  } else if (label == "TIME OF FIRST OBS") {
    if (Status s = CivilFields(lines_, line, {0, 6, 12, 18, 24, 30}, {6, 6, 6, 6, 6, 13}, header_.first); !s) return s;
    header_.has_first = true;
  } else if (label == "# / TYPES OF OBSERV" || label == "SYS / # / OBS TYPES") {
    return TypesLine(line, pending_types, pending_system);
  }
  return {};
}

// One line of the observation types: a new list (count given) or the
// continuation of the one before.
Status ObservationReader::TypesLine(std::string_view line, int& pending, char& system) {
  const bool v3 = header_.major == 3;
  long long count = 0;
  bool blank = false;
  const std::string_view count_field = v3 ? Columns(line, 3, 3) : Columns(line, 0, 6);
  if (!ParseField(count_field, count, blank) || count < 0 || count > 999)
    return MalformedAt(lines_.At(v3 ? 4 : 1), "bad count of observation types");
  if (!blank) {
    pending = static_cast<int>(count);
    system = v3 ? Columns(line, 0, 1).empty() ? ' ' : line[0] : 'G';
    if (system == 'G') header_.gps_types.clear();
  } else if (pending <= 0) {
    return MalformedAt(lines_.At(1), "observation types beyond their count");
  }
  const int per_line = v3 ? kTypesPerLine3 : kTypesPerLine2;
  for (int k = 0; k < per_line && pending > 0; ++k, --pending) {
    const std::size_t start = v3 ? 7 + 4 * static_cast<std::size_t>(k) : 10 + 6 * static_cast<std::size_t>(k);
    const std::string_view code = Trimmed(Columns(line, start, v3 ? 3 : 2));
    if (code.empty()) return MalformedAt(lines_.At(static_cast<int>(start) + 1), "missing observation type");
    if (system == 'G') header_.gps_types.emplace_back(code);
  }
  if (static_cast<int>(header_.gps_types.size()) > kMaxTypes)
    return MalformedAt(lines_.At(1), "more than 64 GPS observation types");
  header_.gps_type_count = static_cast<int>(header_.gps_types.size());
  return {};
}

void ObservationReader::DecideColumns() {
  const std::vector<std::string>& t = header_.gps_types;
  ObservationColumns& c = header_.columns;
  auto set = [&c](Observable o, int column) { c.l1[static_cast<int>(o)] = column; };
  if (header_.major == 3) {
    set(Observable::kL1CaCode, FirstType(t, {"C1C"}));
    set(Observable::kL1PCode, FirstType(t, {"C1W", "C1P"}));
    set(Observable::kL1CaPhase, FirstType(t, {"L1C"}));
    set(Observable::kL1PPhase, FirstType(t, {"L1W", "L1P"}));
    set(Observable::kDoppler, FirstType(t, {"D1C", "D1W", "D1P"}));
    for (int g = 0; g < kL2Groups; ++g) c.l2_code[g] = FindType(t, kL2Codes3[g]), c.l2_phase[g] = FindType(t, kL2Phases3[g]);
  } else {
    set(Observable::kL1CaCode, FirstType(t, {"C1"}));
    set(Observable::kL1PCode, FirstType(t, {"P1"}));
    set(Observable::kL1CaPhase, FirstType(t, {"L1"}));
    set(Observable::kL1PPhase, FirstType(t, {"L1"}));
    set(Observable::kDoppler, FirstType(t, {"D1"}));
    for (int g = 0; g < kL2Groups; ++g) c.l2_code[g] = FindType(t, kL2Codes2[g]), c.l2_phase[g] = FirstType(t, {"L2"});
  }
}

Status ObservationReader::NeedLine(std::string_view& line) {
  if (lines_.Next(line)) return {};
  if (!lines_.Failure().Ok()) return lines_.Failure();
  return MalformedAt(lines_.At(1), "the file ends inside an epoch");
}

// Values from..to-1 of one satellite from a line, each kValueWidth wide
// from column start. ignore: the satellite is passed over (fields not read).
Status ObservationReader::Values(std::string_view line, std::size_t start, int from, int to, ObservationValue* out,
                                 bool ignore) {
  if (ignore) return {};
  for (int k = from; k < to; ++k) {
    const std::size_t at = start + kValueWidth * static_cast<std::size_t>(k - from);
    ObservationValue& v = out[k];
    bool blank = false;
    if (!ParseField(Columns(line, at, 14), v.value, blank))
      return MalformedAt(lines_.At(static_cast<int>(at) + 1), "bad observation value");
    v.present = !blank;
    const std::string_view lli = Columns(line, at + 14, 1);
    if (lli.empty() || lli == " ") {
      v.lli = 0;
    } else if (lli[0] >= '0' && lli[0] <= '7') {
      v.lli = static_cast<std::uint8_t>(lli[0] - '0');
    } else {
      return MalformedAt(lines_.At(static_cast<int>(at) + 15), "bad loss-of-lock indicator");
    }
  }
  return {};
}

bool ObservationReader::Next(RinexEpoch& epoch) {
  std::string_view line;
  for (;;) {
    if (has_pending_) {
      has_pending_ = false;
      line = pending_line_;
    } else if (!lines_.Next(line)) {
      failure_ = lines_.Failure();
      return false;
    }
    if (Trimmed(line).empty()) continue;
    const Status read = ReadEpoch(line, epoch);
    if (read.Ok()) return true;
    if (!lenient_) {
      failure_ = read;
      return false;
    }
    ++counts_.skipped_epochs;
    if (!Resynchronise(line)) {
      failure_ = lines_.Failure();
      return false;
    }
  }
}

// Under --lenient, after a malformed line: lines are passed over up to the
// next one that opens an epoch.
bool ObservationReader::Resynchronise(std::string_view& line) {
  while (lines_.Next(line)) {
    const bool opens = header_.major == 3 ? (!line.empty() && line[0] == '>')
                                          : (line.size() >= 29 && Columns(line, 0, 1) == " " && Columns(line, 3, 1) == " " &&
                                             Columns(line, 26, 2) == "  " && line[28] >= '0' && line[28] <= '6');
    if (opens) {
      pending_line_.assign(line);
      has_pending_ = true;
      return true;
    }
    ++counts_.skipped_lines;
  }
  return lines_.Failure().Ok();
}

Status ObservationReader::ReadEpoch(std::string_view line, RinexEpoch& epoch) {
  epoch.satellites.clear();
  epoch.values.clear();
  epoch.new_marker = epoch.new_antenna = false;
  epoch.has_clock = false;
  epoch.clock_offset = 0.0;
  int count = 0;
  const Status read = header_.major == 3 ? EpochLine3(line, epoch, count) : EpochLine2(line, epoch, count);
  if (!read.Ok()) return read;
  GpsTimeOf(epoch.time, epoch.week, epoch.receiver_ms);
  if (epoch.flag >= 2 && epoch.flag <= 5) return SpecialRecords(epoch, count);
  if (epoch.flag == 6) {
    counts_.slip_records += count;
    epoch.flag = 6;
  }
  if (header_.major == 3) return Observations3(epoch, count);
  std::vector<int> prns;
  if (Status s = SatelliteList2(line, count, prns); !s) return s;
  return Observations2(epoch, prns);
}

Status ObservationReader::EpochLine3(std::string_view line, RinexEpoch& epoch, int& count) {
  if (line[0] != '>') return MalformedAt(lines_.At(1), "an epoch line must start with '>'");
  if (Status s = CivilFields(lines_, line, {2, 7, 10, 13, 16, 18}, {4, 2, 2, 2, 2, 11}, epoch.time); !s) return s;
  long long flag = 0, n = 0;
  if (Status s = IntegerField(lines_, line, 31, 1, 0, 6, flag, "bad epoch flag"); !s) return s;
  if (Status s = IntegerField(lines_, line, 32, 3, 0, 999, n, "bad satellite count"); !s) return s;
  epoch.flag = static_cast<int>(flag);
  count = static_cast<int>(n);
  bool blank = true;
  if (Status s = RealField(lines_, line, 41, 15, epoch.clock_offset, blank, "bad receiver clock offset"); !s) return s;
  epoch.has_clock = !blank;
  return {};
}

Status ObservationReader::EpochLine2(std::string_view line, RinexEpoch& epoch, int& count) {
  if (Status s = CivilFields(lines_, line, {1, 4, 7, 10, 13, 15}, {2, 2, 2, 2, 2, 11}, epoch.time); !s) return s;
  long long flag = 0, n = 0;
  if (Status s = IntegerField(lines_, line, 28, 1, 0, 6, flag, "bad epoch flag"); !s) return s;
  bool blank = false;
  if (!ParseField(Columns(line, 29, 3), n, blank) || n < 0 || n > 999)
    return MalformedAt(lines_.At(30), "bad satellite count");
  epoch.flag = static_cast<int>(flag);
  count = static_cast<int>(n);
  if (epoch.flag <= 1 || epoch.flag == 6) {
    if (Status s = RealField(lines_, line, 68, 12, epoch.clock_offset, blank, "bad receiver clock offset"); !s) return s;
    epoch.has_clock = !blank;
  }
  return {};
}

// The header records that follow an epoch of flag 2 to 5.
Status ObservationReader::SpecialRecords(RinexEpoch& epoch, int count) {
  for (int k = 0; k < count; ++k) {
    std::string_view line;
    if (Status s = NeedLine(line); !s) return s;
    const std::string_view label = HeaderLabel(line);
    if (label == "MARKER NAME") {
      epoch.new_marker = true;
      epoch.marker_name = std::string(Trimmed(Columns(line, 0, 60)));
    } else if (label == "ANTENNA: DELTA H/E/N") {
      bool blank = false;
      if (Status s = RealField(lines_, line, 0, 14, epoch.antenna_height, blank, "bad antenna height"); !s) return s;
      epoch.new_antenna = true;
    }
  }
  return {};
}

// The satellite list of a 2.x epoch: 12 on the epoch line, 12 on each
// continuation line. PRNs of other systems are -1.
Status ObservationReader::SatelliteList2(std::string_view line, int count, std::vector<int>& prns) {
  for (int k = 0; k < count; ++k) {
    if (k > 0 && k % kSatellitesPerLine2 == 0) {
      if (Status s = NeedLine(line); !s) return s;
    }
    const std::size_t at = 32 + 3 * static_cast<std::size_t>(k % kSatellitesPerLine2);
    const std::string_view system = Columns(line, at, 1);
    long long prn = 0;
    bool blank = false;
    if (system.empty() || !ParseField(Columns(line, at + 1, 2), prn, blank) || blank || prn < 1)
      return MalformedAt(lines_.At(static_cast<int>(at) + 1), "bad satellite in the epoch's list");
    const bool gps = (system == "G" || system == " ") && prn <= kMaxPrn;
    prns.push_back(gps ? static_cast<int>(prn) : -1);
  }
  return {};
}

Status ObservationReader::Observations2(RinexEpoch& epoch, const std::vector<int>& prns) {
  const int types = header_.gps_type_count;
  for (int prn : prns) {
    const bool ignore = prn < 0 || epoch.flag == 6;
    ObservationValue* out = nullptr;
    if (!ignore) {
      epoch.satellites.push_back({static_cast<std::uint8_t>(prn), epoch.values.size()});
      epoch.values.resize(epoch.values.size() + static_cast<std::size_t>(types));
      out = epoch.values.data() + epoch.satellites.back().first;
    } else if (prn < 0) {
      ++counts_.other_systems;
    }
    for (int from = 0; from < types || from == 0; from += kValuesPerLine2) {
      std::string_view line;
      if (Status s = NeedLine(line); !s) return s;
      const int to = from + kValuesPerLine2 < types ? from + kValuesPerLine2 : types;
      if (Status s = Values(line, 0, from, to, out, ignore); !s) return s;
    }
  }
  if (epoch.flag == 6) epoch.satellites.clear(), epoch.values.clear();
  return {};
}

Status ObservationReader::Observations3(RinexEpoch& epoch, int count) {
  const int types = header_.gps_type_count;
  for (int k = 0; k < count; ++k) {
    std::string_view line;
    if (Status s = NeedLine(line); !s) return s;
    long long prn = 0;
    bool blank = false;
    const std::string_view system = Columns(line, 0, 1);
    if (system.empty() || !ParseField(Columns(line, 1, 2), prn, blank) || blank || prn < 1)
      return MalformedAt(lines_.At(1), "bad satellite of an observation record");
    if (system != "G" || prn > kMaxPrn) {
      ++counts_.other_systems;
      continue;
    }
    if (epoch.flag == 6) continue;
    epoch.satellites.push_back({static_cast<std::uint8_t>(prn), epoch.values.size()});
    epoch.values.resize(epoch.values.size() + static_cast<std::size_t>(types));
    if (Status s = Values(line, 3, 0, types, epoch.values.data() + epoch.satellites.back().first, false); !s) return s;
  }
  return {};
}

}  // namespace morvelin::import
