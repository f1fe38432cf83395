// The RINEX export of a measurement file (.gpb) converted earlier, with its
// ephemeris file (.epp) and, when they lie beside it, the summary (.sum) and
// station (.sta) files of the same conversion.
//
// What the .gpb does not keep is recovered where the files allow it:
// - the slip flag: the converter adds 10000 cycles to the L1 phase at a
//   flagged slip and sets the lock time to 0. A jump of the phase minus the
//   code (in cycles) by more than 5000 cycles against the satellite's
//   neighbouring epoch shows the marker (removed again); a lock time that
//   fell shows the slip too.
// - the unrounded receiver time and clock offset: the corrected epoch time
//   plus the clock offset.
// - station name, receiver type and P-code tracking: from the summary file;
//   the antenna height from the station file.
// Not recoverable: epochs whose phase was invalid (the converter dropped
// those satellites: their code is lost too), the L1 code type per satellite
// (the summary counts it for the whole file), event markers, and new
// station occupations.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "base/text.h"
#include "formats/ephemeris_reader.h"
#include "gnss/constants.h"
#include "morvelin/gpb.h"
#include "morvelin/rinex.h"
#include "rinex/observation_export.h"

namespace morvelin {

namespace {

using rinex::ExportSatellite;

constexpr double kSlipMarker = 10000.0;
constexpr double kMarkerThreshold = 5000.0;
constexpr std::uint8_t kKinematicFlag = 0x02;
constexpr std::uint16_t kReadBuffer = 32768 - 1;

std::string WithoutExtension(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path;
  return path.substr(0, dot);
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The numbers of a line, read locale-free; stops at the first non-number.
std::vector<double> Numbers(std::string_view text) {
  std::vector<double> values;
  while (true) {
    text = Trimmed(text);
    if (text.empty()) break;
    double value = 0.0;
    const char* begin = text.data();
    if (*begin == '+') ++begin;
    const auto result = std::from_chars(begin, text.data() + text.size(), value);
    if (result.ec != std::errc()) break;
    values.push_back(value);
    text.remove_prefix(static_cast<std::size_t>(result.ptr - text.data()));
  }
  return values;
}

struct SummaryFacts {
  bool found = false;
  std::string station;
  std::string receiver_type;
  bool counters = false;
  double l1_blocks = 0.0, p_code_blocks = 0.0;
};

SummaryFacts ReadSummary(const std::string& path) {
  SummaryFacts facts;
  std::FILE* in = std::fopen(path.c_str(), "r");
  if (in == nullptr) return facts;
  facts.found = true;
  std::string line;
  bool flags_next = false;
  while (ReadTextLine(in, line)) {
    std::string_view view(line);
    if (flags_next && view.find("L1 Pcode") == std::string_view::npos) {
      const std::vector<double> n = Numbers(view);
      if (n.size() >= 4) {
        facts.counters = true;
        facts.l1_blocks = n[0] + n[1];
        facts.p_code_blocks = n[2];
      }
      flags_next = false;
      continue;
    }
    if (view.rfind("STA: ", 0) == 0) {
      std::string_view rest = Trimmed(view.substr(5));
      const std::size_t day = rest.find("DAY #");
      facts.station.assign(Trimmed(rest.substr(0, day)));
    } else if (view.rfind("RECEIVER TYPE: ", 0) == 0) {
      facts.receiver_type.assign(Trimmed(view.substr(15)));
    } else if (view.find("FLAGS SUMMARY") != std::string_view::npos) {
      flags_next = true;
    }
  }
  std::fclose(in);
  return facts;
}

// The antenna height of the first station line ("STA:  * time * name * height * ...").
bool ReadAntennaHeight(const std::string& path, double* height) {
  std::FILE* in = std::fopen(path.c_str(), "r");
  if (in == nullptr) return false;
  std::string line;
  bool found = false;
  while (!found && ReadTextLine(in, line)) {
    std::vector<std::string_view> fields;
    std::string_view view(line);
    std::size_t at = 0;
    while (at <= view.size()) {
      const std::size_t star = view.find('*', at);
      fields.push_back(Trimmed(view.substr(at, star == std::string_view::npos ? std::string_view::npos : star - at)));
      if (star == std::string_view::npos) break;
      at = star + 1;
    }
    if (fields.size() >= 4 && fields[0] == "STA:") {
      const std::vector<double> n = Numbers(fields[3]);
      if (n.size() == 1) {
        *height = n[0];
        found = true;
      }
    }
  }
  std::fclose(in);
  return found;
}

// Reads the summary and station files beside the .gpb (base: its path
// without extension) into the station of the header, and says in the
// header's comments what they could not tell. p_code: the L1 code type.
rinex::StationFacts ReadStationFiles(const std::string& base, rinex::ObservationExport& out, bool* p_code) {
  const SummaryFacts summary = ReadSummary(base + ".sum");
  rinex::StationFacts station;
  station.marker_name = summary.station;
  station.receiver_type = summary.receiver_type;
  const bool have_height = ReadAntennaHeight(base + ".sta", &station.antenna_height);
  *p_code = summary.counters && summary.p_code_blocks > 0.0 && summary.p_code_blocks >= summary.l1_blocks;
  out.AddComment("Written from a measurement file (.gpb): slips taken from");
  out.AddComment("the lock times and the slip marker of the L1 phase;");
  out.AddComment("satellites with an invalid phase were not kept");
  if (!summary.counters)
    out.AddComment("L1 code type not known (no summary file): written as C/A");
  else if (summary.p_code_blocks > 0.0 && !*p_code)
    out.AddComment("L1 tracked on P-code and C/A: all written as C/A");
  if (!have_height) out.AddComment("antenna height not known (no station file)");
  out.AddComment("event markers and station changes are not in a .gpb");
  return station;
}

// The ephemeris file: the one given (which must be there), else the one
// beside the .gpb when there is one. Without any: no navigation file, the
// week from the options. Its values are read as the raw record held them
// (single precision where the record has it), so the navigation file is
// the one a conversion of the raw data writes.
Status TakeEphemerisFile(const std::string& epp, bool given, rinex::ObservationExport& out) {
  if (std::FILE* probe = std::fopen(epp.c_str(), "r")) {
    std::fclose(probe);
    const Result<std::vector<gnss::BroadcastEphemeris>> read = ReadEphemerisFile(epp);
    if (!read.Ok()) return Status::Failed("Error: " + read.Message(), read.Reason());
    for (const gnss::BroadcastEphemeris& eph : *read) out.Ephemeris(eph);
    return {};
  }
  if (!given) return {};
  return Status::Failed("Error: File " + epp + " not found", std::strerror(ENOENT));
}

struct GpbEpoch {
  EpochRecord epoch{};
  std::vector<ObservationRecord> observations;
};

// Per PRN: the epoch number where the satellite was last seen, its phase
// minus code (cycles, marker removed) and lock time there.
struct Track {
  std::int64_t epoch = -2;  // never seen
  double phase_minus_code = 0.0;
  std::uint8_t lock_time = 0;
};

double PhaseMinusCode(const ObservationRecord& o) { return o.l1_phase - o.l1_pseudorange / gnss::kL1Wavelength; }

const ObservationRecord* Find(const GpbEpoch& epoch, std::uint8_t prn) {
  for (const ObservationRecord& o : epoch.observations)
    if (o.prn == prn) return &o;
  return nullptr;
}

// The satellites of the epochs in turn, their slips recovered against each
// satellite's previous epoch or, at its first, the next one.
class SlipRecovery {
 public:
  explicit SlipRecovery(bool p_code) : p_code_(p_code), tracks_(256) {}

  // next: the epoch after current, null at the end of the file.
  const std::vector<ExportSatellite>& Satellites(const GpbEpoch& current, const GpbEpoch* next) {
    satellites_.clear();
    for (const ObservationRecord& o : current.observations)
      if (o.l1_pseudorange != 0.0) satellites_.push_back(Satellite(o, next));
    ++number_;
    return satellites_;
  }

 private:
  ExportSatellite Satellite(const ObservationRecord& o, const GpbEpoch* next) {
    Track& track = tracks_[o.prn];
    const bool adjacent = track.epoch == number_ - 1;
    double phase = o.l1_phase;
    bool marker = false;
    if (adjacent) {
      marker = PhaseMinusCode(o) - track.phase_minus_code > kMarkerThreshold;
    } else if (const ObservationRecord* later = next != nullptr ? Find(*next, o.prn) : nullptr) {
      marker = PhaseMinusCode(o) - PhaseMinusCode(*later) > kMarkerThreshold;
    }
    if (marker) phase -= kSlipMarker;
    ExportSatellite s;
    s.prn = o.prn;
    s.p_code = p_code_;
    s.l1_code = o.l1_pseudorange;
    s.l1_phase = phase;
    s.l2 = o.l2_pseudorange != 0.0;
    s.l2_code = o.l2_pseudorange;
    s.l2_phase = o.l2_phase;
    s.doppler = o.l1_third;
    s.slip = marker || (adjacent && o.lock_time < track.lock_time);
    track.epoch = number_;
    track.phase_minus_code = phase - o.l1_pseudorange / gnss::kL1Wavelength;
    track.lock_time = o.lock_time;
    return s;
  }

  bool p_code_;
  std::vector<Track> tracks_;
  std::vector<ExportSatellite> satellites_;
  std::int64_t number_ = 0;
};

// The position of the first epoch, when it has one, for the header.
void TakePosition(rinex::StationFacts& station, const EpochRecord& first) {
  station.has_position = first.latitude != 0.0 || first.longitude != 0.0;
  station.latitude = first.latitude;
  station.longitude = first.longitude;
  station.height = first.height;
}

rinex::ExportEpoch ExportEpochOf(const EpochRecord& record, const std::vector<ExportSatellite>& satellites) {
  rinex::ExportEpoch epoch;
  const double clock_seconds = record.clock_offset / kSpeedOfLight;
  epoch.receiver_time = record.corrected_epoch_time + clock_seconds;
  epoch.clock_offset = clock_seconds;
  epoch.kinematic = (record.epoch_flags & kKinematicFlag) != 0;
  epoch.satellites = satellites.data();
  epoch.count = static_cast<int>(satellites.size());
  return epoch;
}

// Every epoch of the file through the export, which takes the station with
// the first; stops at the export's first failure. Refused, with the
// reader's text, when the file cannot be read.
Status ExportEpochs(MeasurementFile* file, rinex::StationFacts station, bool p_code, rinex::ObservationExport& out) {
  const std::size_t channels = file->header.channel_count;
  GpbEpoch current, next;
  // 0 an epoch read, -1 the end of the file, 1 a failure (in failure).
  Status failure;
  auto read = [&](GpbEpoch& e) {
    e.observations.resize(channels);
    const Result<bool> got = ReadGpbEpoch(file, &e.epoch, e.observations.data());
    if (!got.Ok()) failure = got.Status();
    if (!got.Ok()) return 1;
    if (!*got) return -1;
    e.observations.resize(e.epoch.measurement_count);
    return 0;
  };
  int state = read(current);
  if (state > 0) return failure;
  bool first = true;
  SlipRecovery slips(p_code);
  while (state == 0) {
    const int next_state = read(next);
    if (next_state > 0) return failure;
    if (first) {
      TakePosition(station, current.epoch);
      out.SetStation(station);
      first = false;
    }
    out.Epoch(ExportEpochOf(current.epoch, slips.Satellites(current, next_state == 0 ? &next : nullptr)));
    if (!out.Failure().Ok()) break;
    std::swap(current, next);
    state = next_state;
  }
  return {};
}

}  // namespace

Status WriteRinexFromGpb(const std::string& gpb_path, const std::string& epp_path, const RinexOptions& options,
                         const std::string& output_dir, RinexOutputs* outputs) {
  if (Status checked = CheckRinexOptions(options); !checked.Ok()) return checked;
  try {
    const std::string base = WithoutExtension(gpb_path);
    RinexOptions used = options;
    if (used.fallback_name.empty()) used.fallback_name = BaseName(base);
    rinex::ObservationExport out(used, output_dir);
    const std::string epp = epp_path.empty() ? base + ".epp" : epp_path;
    for (const std::string& input : {gpb_path, epp, base + ".sum", base + ".sta"}) out.AddInput(input);

    bool p_code = false;
    const rinex::StationFacts station = ReadStationFiles(base, out, &p_code);
    if (Status read = TakeEphemerisFile(epp, !epp_path.empty(), out); !read.Ok()) return read;

    const Result<MeasurementFile*> file = OpenGpb(gpb_path.c_str(), kReadBuffer);
    if (!file.Ok()) return file.Status();
    std::unique_ptr<MeasurementFile, int (*)(MeasurementFile*)> closer(*file, CloseMeasurementFile);
    if (Status exported = ExportEpochs(*file, station, p_code, out); !exported.Ok()) return exported;
    out.Finish(outputs);
    return out.Failure();
  } catch (const std::exception&) {
    return Status::Failed("Error: Not enough memory for the RINEX export");
  }
}

}  // namespace morvelin
