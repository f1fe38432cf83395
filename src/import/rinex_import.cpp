#include "import/rinex_import.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>

#include "base/gnss_constants.h"
#include "gnss/ephemeris_record.h"
#include "gnss/geodesy.h"
#include "gnss/orbit.h"
#include "gnss/time.h"

namespace morvelin::import {

namespace {

constexpr std::uint8_t kLossOfLock = 0x01;  // LLI bit 0
constexpr int kChannels = kMeasurementChannels;

const ObservationValue* Value(const RinexEpoch& epoch, const SatelliteValues& s, int column) {
  if (column < 0) return nullptr;
  const ObservationValue& v = epoch.values[s.first + static_cast<std::size_t>(column)];
  return v.present ? &v : nullptr;
}

// The ephemeris of prn whose toe lies nearest to t (seconds of week), or null.
const gnss::BroadcastEphemeris* Nearest(const std::vector<gnss::BroadcastEphemeris>& all, int prn, double t) {
  const gnss::BroadcastEphemeris* best = nullptr;
  double distance = std::numeric_limits<double>::infinity();
  for (const gnss::BroadcastEphemeris& e : all) {
    if (e.prn != prn) continue;
    const double d = std::fabs(gnss::WrapHalfWeek(t - e.toe));
    if (d < distance) distance = d, best = &e;
  }
  return best;
}

}  // namespace

Status RinexImport::Open(const std::string& observation, const std::vector<std::string>& navigation, bool lenient) {
  for (const std::string& path : navigation) {
    LineReader lines;
    if (Status opened = lines.Open(path); !opened) return opened;
    if (Status read = ReadNavigation(lines, lenient, ephemerides_, counts_.navigation); !read) return read;
  }
  if (Status opened = observations_.Open(observation, lenient); !opened) return opened;
  return Start();
}

Status RinexImport::OpenMemory(std::string_view observation, std::string_view navigation, bool lenient) {
  if (!navigation.empty()) {
    LineReader lines;
    lines.OpenMemory(navigation, "memory.nav");
    if (Status read = ReadNavigation(lines, lenient, ephemerides_, counts_.navigation); !read) return read;
  }
  if (Status opened = observations_.OpenMemory(observation, "memory.obs", lenient); !opened) return opened;
  return Start();
}

// The first epoch is read before the conversion starts: its week and day
// name the session.
Status RinexImport::Start() {
  marker_ = observations_.Header().marker_name;
  antenna_height_ = observations_.Header().antenna_height;
  has_first_ = observations_.Next(first_);
  if (!observations_.Failure().Ok()) return observations_.Failure();
  return {};
}

std::string RinexImport::HostName() const {
  std::string name;
  for (char c : marker_) {
    if (name.size() == 4) break;
    if (std::isalnum(static_cast<unsigned char>(c)) != 0) name += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  if (name.empty()) name = "RINX";
  while (name.size() < 4) name += '_';
  int day = 1;
  if (has_first_) day = gnss::DateOf({first_.week, first_.receiver_ms / 1000.0}).day_of_year;
  char text[16];
  std::snprintf(text, sizeof text, "%03d0.dat", day);
  return name + text;
}

std::int64_t RinexImport::Read(std::uint8_t* out, std::size_t size) {
  std::size_t given = 0;
  while (given < size) {
    std::vector<std::uint8_t>& bytes = writer_.Bytes();
    if (offset_ == bytes.size()) {
      bytes.clear();
      offset_ = 0;
      if (!Produce()) break;
      continue;
    }
    const std::size_t n = std::min(size - given, bytes.size() - offset_);
    std::memcpy(out + given, bytes.data() + offset_, n);
    offset_ += n;
    given += n;
  }
  if (given == 0 && !failure_.Ok()) return -1;
  return static_cast<std::int64_t>(given);
}

// The records of the next step: the session's start, then one epoch.
bool RinexImport::Produce() {
  if (ended_) return false;
  if (!started_) {
    started_ = true;
    WriteSessionStart();
    return true;
  }
  if (has_first_) {
    has_first_ = false;
    WriteEpoch(first_);
    return true;
  }
  if (observations_.Next(epoch_)) {
    WriteEpoch(epoch_);
    return true;
  }
  ended_ = true;
  failure_ = observations_.Failure();
  return false;
}

// What a receiver records before its first epoch: station name, receiver
// type, antenna height, position, motion mode, a station entry, and the
// ephemerides it holds.
void RinexImport::WriteSessionStart() {
  const ObservationHeader& header = observations_.Header();
  writer_.Write<StationNameRecord>({TextOf<5>(marker_)});
  const bool dual = std::any_of(header.columns.l2_code.begin(), header.columns.l2_code.end(), [](int c) { return c >= 0; });
  writer_.Write<ReceiverTypeRecord>({static_cast<std::uint8_t>(dual ? 4 : 1)});
  writer_.Write<AntennaHeightRecord>({antenna_height_});
  writer_.Write<MotionModeRecord>({}, station_sub_record::kStatic);
  if (has_first_) {
    char mark[16];
    std::snprintf(mark, sizeof mark, "%6ld", static_cast<long>(first_.receiver_ms / 1000.0));
    writer_.Write<TimeMarkRecord>({TextOf<6>(mark)});
  }
  StationEntry();
  for (const gnss::BroadcastEphemeris& e : ephemerides_) writer_.Write<EphemerisRecord>(gnss::RecordOf(e));
}

// The position record, before the first epoch of observations: the
// antenna's position (the header's marker position with the antenna delta
// above it) and that epoch's receiver clock offset (ms).
void RinexImport::WritePosition(const RinexEpoch& epoch) {
  positioned_ = true;
  const ObservationHeader& header = observations_.Header();
  if (!header.has_position) return;
  const gnss::Ecef marker{header.x, header.y, header.z};
  const gnss::Geodetic g = gnss::ToGeodetic(gnss::OffsetBy(
      marker, gnss::ToGeodetic(marker), {header.antenna_east, header.antenna_north, header.antenna_height}));
  writer_.Write<PositionRecord>({gnss::Degrees(g.latitude) / 180.0, gnss::Degrees(g.longitude) / 180.0, g.height,
                                 epoch.clock_offset * 1000.0});
}

void RinexImport::StationEntry() {
  char height[16];
  std::snprintf(height, sizeof height, "%.3f", antenna_height_);
  writer_.Write<StationEntryRecord>({TextOf<50>("RINEX import"), TextOf<8>(height), TextOf<8>(marker_)});
}

void RinexImport::WriteSpecialEpoch(const RinexEpoch& epoch) {
  if (epoch.new_marker) marker_ = epoch.marker_name;
  if (epoch.new_antenna) antenna_height_ = epoch.antenna_height;
  if (epoch.flag == 5) {
    ++counts_.event_markers;
    writer_.Write<MarkedEventRecord>({++marker_id_, epoch.receiver_ms});
  } else if (epoch.flag == 2) {
    ++counts_.station_entries;
    kinematic_ = true;
    writer_.Write<MotionModeRecord>({}, station_sub_record::kKinematic);
  } else if (epoch.flag == 3) {
    ++counts_.station_entries;
    if (kinematic_) writer_.Write<MotionModeRecord>({}, station_sub_record::kStatic);
    kinematic_ = false;
    StationEntry();
  }
}

// One satellite's block as a receiver reports it, or false when it has no
// L1 code. Order of preference: docs/import.md.
bool RinexImport::MakeBlock(const RinexEpoch& epoch, const SatelliteValues& s, SatelliteMeasurement& b) {
  const ObservationColumns& c = observations_.Header().columns;
  const ObservationValue* ca = Value(epoch, s, c.Of(Observable::kL1CaCode));
  const ObservationValue* p = Value(epoch, s, c.Of(Observable::kL1PCode));
  if (ca == nullptr && p == nullptr) {
    ++counts_.without_l1_code;
    return false;
  }
  if (ca != nullptr && p != nullptr) ++counts_.second_l1_code;
  const bool pcode = ca == nullptr;
  const ObservationValue* phase = Value(epoch, s, c.Of(pcode ? Observable::kL1PPhase : Observable::kL1CaPhase));
  if (phase == nullptr) phase = Value(epoch, s, c.Of(pcode ? Observable::kL1CaPhase : Observable::kL1PPhase));
  const ObservationValue* doppler = Value(epoch, s, c.Of(Observable::kDoppler));
  b = SatelliteMeasurement{};
  b.prn = s.prn;
  b.pseudorange = pcode ? p->value : ca->value;
  b.f2 = pcode ? satellite_flag::kPCode : 0;
  std::uint8_t lli = 0;
  if (phase != nullptr) {
    b.phase = phase->value;
    b.f1 |= satellite_flag::kPhaseValid;
    lli |= phase->lli;
  }
  // The third flag byte says nothing RINEX carries: it stays 0.
  if (doppler != nullptr) b.third = doppler->value;
  for (int g = 0; g < kL2Groups; ++g) {
    const ObservationValue* code = Value(epoch, s, c.l2_code[g]);
    if (code == nullptr) continue;
    b.f1 |= satellite_flag::kDualFrequency | satellite_flag::kFullL2;
    b.l2_code_offset = code->value - b.pseudorange;
    if (const ObservationValue* l2 = Value(epoch, s, c.l2_phase[g]); l2 != nullptr && phase != nullptr) {
      b.l2_phase = l2->value;
      lli |= l2->lli;
    }
    break;
  }
  // A loss of lock at the first phase after a blank one is the one the
  // blank phase already reset the lock time for: not a slip of its own.
  bool& blank_before = phase_blank_[s.prn];
  if ((lli & kLossOfLock) != 0 && phase != nullptr && !blank_before) b.f1 |= satellite_flag::kCycleSlip;
  blank_before = phase == nullptr;
  return true;
}

// More satellites than channels: the highest by elevation stay (by the
// navigation data and the header's position), else the first in the file.
void RinexImport::KeepHighest(const RinexEpoch& epoch, std::vector<SatelliteMeasurement>& blocks) {
  const std::size_t keep = static_cast<std::size_t>(kChannels);
  counts_.left_out += static_cast<std::int64_t>(blocks.size() - keep);
  const ObservationHeader& header = observations_.Header();
  if (!header.has_position || ephemerides_.empty()) {
    blocks.resize(keep);
    return;
  }
  const gnss::Ecef receiver{header.x, header.y, header.z};
  const gnss::Geodetic at = gnss::ToGeodetic(receiver);
  const double t = epoch.receiver_ms / 1000.0;
  std::vector<std::pair<double, std::size_t>> order;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const gnss::BroadcastEphemeris* e = Nearest(ephemerides_, blocks[i].prn, t);
    const double elevation = e == nullptr ? -10.0 : gnss::LookAt(at, receiver, gnss::SatelliteAt(*e, t).position).elevation;
    order.emplace_back(-elevation, i);
  }
  std::stable_sort(order.begin(), order.end());
  order.resize(keep);
  std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  std::vector<SatelliteMeasurement> kept;
  for (const auto& o : order) kept.push_back(blocks[o.second]);
  blocks.swap(kept);
}

void RinexImport::WriteEpoch(const RinexEpoch& epoch) {
  ++counts_.epochs;
  if (epoch.flag >= 2 && epoch.flag <= 5) return WriteSpecialEpoch(epoch);
  if (epoch.flag == 6) return;
  blocks_.clear();
  for (const SatelliteValues& s : epoch.satellites) {
    SatelliteMeasurement block;
    if (MakeBlock(epoch, s, block)) blocks_.push_back(block);
  }
  if (blocks_.size() > static_cast<std::size_t>(kChannels)) KeepHighest(epoch, blocks_);
  if (!positioned_) WritePosition(epoch);
  // The tags of a file whose clock offset was applied are corrected: the
  // receiver's own time is the tag plus the offset.
  const double clock_ms = epoch.clock_offset * 1000.0;
  const double receiver_ms = observations_.Header().clock_applied ? epoch.receiver_ms + clock_ms : epoch.receiver_ms;
  writer_.Measurement(receiver_ms, clock_ms, blocks_);
}

std::string ImportOutputBase(const std::string& observation, const std::string& dir, const std::string& name) {
  namespace fs = std::filesystem;
  const fs::path obs(observation);
  std::string stem = name;
  if (stem.empty()) {
    fs::path file = obs.filename();
    if (file.extension() == ".gz" || file.extension() == ".GZ") file = file.stem();
    stem = file.stem().string();
  }
  fs::path folder = !dir.empty() ? fs::path(dir) : obs.parent_path();
  if (folder.empty()) folder = ".";
  return (folder / stem).string();
}

ConversionOutcome ConvertImport(RinexImport& source, const std::string& observation, ConversionRequest request) {
  request.input = GeneratedInput{[&source](std::uint8_t* out, std::size_t size) { return source.Read(out, size); },
                                 observation};
  request.host_name = source.HostName();
  ConversionOutcome outcome = Convert(request);
  if (!source.Failure().Ok()) {
    outcome.result = ConversionResult::kFailed;
    outcome.failure = source.Failure().Message();
    outcome.reason = source.Failure().Reason();
  }
  return outcome;
}

}  // namespace morvelin::import
