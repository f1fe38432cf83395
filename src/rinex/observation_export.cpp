#include "rinex/observation_export.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <optional>
#include <utility>

#include "base/file_io.h"
#include "base/text_builder.h"
#include "gnss/geodesy.h"
#include "gnss/time.h"
#include "rinex/file_names.h"
#include "rinex/observation_header.h"
#include "rinex/rinex_time.h"

namespace morvelin::rinex {

namespace {

// A day as YYYY-MM-DD, for the messages.
TextBuilder& Day(TextBuilder& text, int year, int month, int day) {
  text.Int(year, 4).Char('-').Int(month, 2, TextBuilder::Pad::kZeros).Char('-');
  return text.Int(day, 2, TextBuilder::Pad::kZeros);
}

constexpr int kEventFlag = 5;
constexpr int kStartMovingFlag = 2;
constexpr int kNewSiteFlag = 3;

// MARKER TYPE (3.04) of a static start, and of a kinematic one: RINEX's
// NON_GEODETIC is an Earth-fixed monument too; a moving receiver on land
// is a GROUND_CRAFT.
constexpr const char* kStaticMarkerType = "GEODETIC";
constexpr const char* kMovingMarkerType = "GROUND_CRAFT";

const std::string& Either(const std::string& given, const std::string& otherwise) {
  return given.empty() ? otherwise : given;
}

constexpr std::string_view kWeekUnknown =
    "Error: RINEX export needs the GPS week: the data hold no ephemeris to take it from; "
    "give the week (--week N) or the date of the first epoch (--date YYYY-MM-DD)";

// The observation types of a file: those of the first epoch's satellites
// (C/A when it has none), with the Doppler when asked for.
ObservationTypes TypesOf(const ExportEpoch& first, bool doppler) {
  ObservationTypes types;
  types.doppler = doppler;
  for (int i = 0; i < first.count; ++i) {
    const ExportSatellite& s = first.satellites[i];
    if (s.prn < 1 || s.prn > kMaxPrn || s.l1_code == 0.0) continue;
    (s.p_code ? types.l1_p : types.l1_ca) = true;
    if (s.l2) types.l2 = true;
  }
  if (!types.l1_p && !types.l1_ca) types.l1_ca = true;
  return types;
}

}  // namespace

struct ObservationExport::Pending {
  enum class Kind { kEpoch, kEvent, kStation } kind = Kind::kEpoch;
  ExportEpoch epoch;
  std::vector<ExportSatellite> satellites;
  double time = 0.0;
  std::string name;
  double antenna_height = 0.0;
};

ObservationExport::ObservationExport(const RinexOptions& options, std::string output_dir, OutputSet* set)
    : options_(options), output_dir_(std::move(output_dir)), set_(set), version_(options.version),
      selection_(options), batch_(set == nullptr || !set->InMemory()) {
  if (set_ == nullptr) {
    own_set_ = std::make_unique<OutputSet>(options_.fallback_name.empty() ? "RINEX" : options_.fallback_name);
    set_ = own_set_.get();
  }
  creation_date_ = ProgramDate();
}

ObservationExport::~ObservationExport() = default;

std::string ObservationExport::DataStationName() const {
  return station_.marker_name.empty() ? options_.fallback_name : station_.marker_name;
}

std::string ObservationExport::StationName() const { return Either(options_.header.marker_name, DataStationName()); }

std::string ObservationExport::ProgramDate() const {
  if (!options_.creation_time.empty()) return options_.creation_time;
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#if defined(_WIN32)
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  FixedText<32> text;
  text.Int(utc.tm_year + 1900, 4).Int(utc.tm_mon + 1, 2, TextBuilder::Pad::kZeros);
  text.Int(utc.tm_mday, 2, TextBuilder::Pad::kZeros).Char(' ');
  text.Int(utc.tm_hour, 2, TextBuilder::Pad::kZeros).Int(utc.tm_min, 2, TextBuilder::Pad::kZeros);
  text.Int(utc.tm_sec, 2, TextBuilder::Pad::kZeros).Str(" UTC");
  return std::string(text.View());
}

void ObservationExport::CheckFile(const OutputFile& file) {
  if (file.Failed()) Fail(file.Failure());
}

bool ObservationExport::OpenTemporary(OutputFile& file, const char* kind, const std::string& shown) {
  // Named after the input, so that a run killed midway has its leftover
  // removed by the next run of the same input.
  const std::string stem = (options_.fallback_name.empty() ? std::string("rinex") : options_.fallback_name) + kind;
  const Result<std::string> temporary = set_->Temporary(output_dir_, stem);
  if (!temporary.Ok()) {
    FailWithReason(temporary.Status());
    return false;
  }
  if (file.Open(*set_, *temporary, Compressed(shown), options_.gzip)) return true;
  CheckFile(file);
  return false;
}

bool ObservationExport::Place(const OutputFile& file, FileKind kind, const CivilTime& start, double period,
                              double interval, std::string& final_path, bool fixed_session, char first_session) {
  const std::string station = StationName();
  // An earlier run's observation file of that name is replaced only when it
  // holds this session (a run of the same data again); ours is read once,
  // when a file is found there.
  std::optional<std::string> ours;
  const auto another_session = [&](const std::string& path) {
    if (kind != FileKind::kObservation || set_->InMemory() || !PathExists(path.c_str())) return false;
    if (!ours) ours = SessionIdentity(file.Path());
    return HoldsAnotherSession(path, *ours);
  };
  Status bound;
  if (options_.long_names && version_ == RinexVersion::k304) {
    final_path = JoinPath(output_dir_, Compressed(LongName(station, start, period, interval, kind)));
    bound = another_session(final_path) ? AnotherSessionThere(final_path) : set_->Bind(file.Path(), final_path);
    if (bound.Ok()) return true;
  } else {
    const char first = first_session != 0 ? first_session : SessionCharacter(start, period);
    bool tried = false;
    for (char session = first; session != 0; session = fixed_session ? 0 : NextSessionCharacter(session, first)) {
      final_path = JoinPath(output_dir_, Compressed(ShortName(station, start, kind, session)));
      if (!fixed_session && set_->Taken(final_path)) continue;
      const bool theirs = another_session(final_path);
      if (!fixed_session && theirs) continue;
      tried = true;
      if (theirs) {
        bound = AnotherSessionThere(final_path);
        break;
      }
      bound = set_->Bind(file.Path(), final_path);
      if (bound.Ok()) {
        if (kind == FileKind::kObservation) observation_session_ = session;
        return true;
      }
      if (!set_->Taken(final_path)) break;  // refused for a reason of its own, not taken meanwhile
    }
    if (!tried)
      bound = Status::Failed("Error: No free RINEX file name for " + final_path,
                             "every session character of the day is taken");
  }
  FailWithReason(bound);
  return false;
}

Status ObservationExport::AnotherSessionThere(const std::string& path) {
  return Status::Failed("Error: " + path + " holds another session's observations: give another folder (-d) or "
                        "marker name (--marker-name)",
                        "its marker, receiver, antenna, position or first epoch differ; it is left as it is");
}

bool ObservationExport::ResolveWeek(double first_seconds) {
  if (week_known_) return true;
  if (options_.week) {
    week_ = *options_.week;
  } else if (options_.date) {
    if (!WeekOfGivenDate(first_seconds)) return false;
  } else if (const gnss::BroadcastEphemeris* eph = navigation_.First()) {
    WeekOfEphemeris(*eph, first_seconds);
  } else {
    return false;
  }
  previous_seconds_ = first_seconds;
  week_known_ = true;
  return true;
}

bool ObservationExport::WeekOfGivenDate(double first_seconds) {
  const RinexDate& date = *options_.date;
  if (!WeekOfDate(date, &week_)) {
    Fail("Error: RINEX export: the date of the first epoch is before the start of GPS time");
    return false;
  }
  const CivilTime first = CivilFromGps(week_, first_seconds);
  if (first.year == date.year && first.month == date.month && first.day == date.day) return true;
  // The seconds of week say the day of the week; the date only the week.
  FixedText<256> text;
  Day(text.Str("Error: --date "), date.year, date.month, date.day);
  text.Str(" is not the date of the first epoch: its time of week (").Fixed(first_seconds, 3);
  Day(text.Str(" s) puts it on "), first.year, first.month, first.day).Str(" in GPS week ").Int(week_);
  Fail(std::string(text.View()));
  date_refused_ = true;
  return false;
}

void ObservationExport::WeekOfEphemeris(const gnss::BroadcastEphemeris& eph, double first_seconds) {
  week_ = WeekNearEphemeris(eph.week, eph.toe, first_seconds);
  if (eph.week != 0) return;
  const CivilTime first = CivilFromGps(week_, first_seconds);
  FixedText<256> text;
  Day(text.Str("Warning: the ephemerides say GPS week 0: the RINEX files are dated "), first.year, first.month,
      first.day);
  text.Str("; give the week (--week N) or the date of the first epoch (--date YYYY-MM-DD)");
  warnings_.emplace_back(text.View());
}

void ObservationExport::Ephemeris(const gnss::BroadcastEphemeris& eph) {
  navigation_.Add(eph);
  if (!week_known_ && !pending_.empty()) {
    for (const Pending& item : pending_) {
      if (item.kind != Pending::Kind::kEpoch) continue;
      if (ResolveWeek(item.epoch.receiver_time)) ReplayPending();
      break;
    }
  }
}

void ObservationExport::Ionosphere(const RinexIonosphere* coefficients, std::int32_t payload_length) {
  if (coefficients == nullptr || !IonosphereFits(*coefficients)) {
    if (!ionosphere_note_.empty()) return;
    FixedText<64> note;
    if (coefficients == nullptr)
      note.Str("ionosphere record ignored: ").Int(payload_length).Str(" bytes, not 64");
    else
      note.Str("ionosphere record ignored: values beyond D12.4");
    ionosphere_note_.assign(note.View());
    return;
  }
  if (!data_ionosphere_) data_ionosphere_ = *coefficients;
}

void ObservationExport::ReplayPending() {
  std::vector<Pending> items;
  items.swap(pending_);
  for (Pending& item : items) {
    switch (item.kind) {
      case Pending::Kind::kEpoch:
        item.epoch.satellites = item.satellites.data();
        WriteEpoch(item.epoch);
        break;
      case Pending::Kind::kEvent:
        WriteEvent(item.time);
        break;
      case Pending::Kind::kStation:
        StationEntry(item.name, item.antenna_height);
        break;
    }
  }
}

void ObservationExport::Epoch(const ExportEpoch& epoch) {
  if (!failure_.Ok()) return;
  if (!week_known_ && !ResolveWeek(epoch.receiver_time)) {
    if (!failure_.Ok()) return;
    std::size_t epochs = 0;
    for (const Pending& item : pending_) epochs += item.kind == Pending::Kind::kEpoch ? 1u : 0u;
    if (epochs >= kPendingLimit) {
      Fail(std::string(kWeekUnknown));
      pending_.clear();
      return;
    }
    Pending item;
    item.epoch = epoch;
    item.satellites.assign(epoch.satellites, epoch.satellites + (epoch.count > 0 ? epoch.count : 0));
    pending_.push_back(std::move(item));
    return;
  }
  if (!pending_.empty()) ReplayPending();
  WriteEpoch(epoch);
}

void ObservationExport::EventMarker(double seconds_of_week) {
  if (!failure_.Ok()) return;
  if (!header_written_) {
    Pending item;
    item.kind = Pending::Kind::kEvent;
    item.time = seconds_of_week;
    pending_.push_back(std::move(item));
    return;
  }
  WriteEvent(seconds_of_week);
}

void ObservationExport::StationEntry(std::string_view point_name, double antenna_height) {
  if (!failure_.Ok()) return;
  if (!header_written_) {
    // Entries before the first epoch describe the occupation the header
    // names; only those that wait behind held epochs are kept for later.
    if (pending_.empty()) return;
    Pending item;
    item.kind = Pending::Kind::kStation;
    item.name.assign(point_name);
    item.antenna_height = antenna_height;
    pending_.push_back(std::move(item));
    return;
  }
  // Takes effect at the next epoch, so that the entries a run reports at
  // its end, after the last epoch, change nothing.
  occupation_pending_ = true;
  pending_marker_.assign(point_name.empty() ? std::string_view(current_marker_) : point_name);
  pending_antenna_height_ = antenna_height;
}

bool ObservationExport::StartObservationFile(const ExportEpoch& first) {
  const ObservationTypes types = TypesOf(first, options_.doppler);
  layout_ = MakeLayout(version_, types);
  first_time_ = CivilFromTicks(first_ticks_);
  file_period_ = selection_.PeriodOf(first_ticks_);
  file_step_ticks_ = 0, file_epochs_ = 0;
  if (!header_written_) {
    run_first_ticks_ = first_ticks_, run_first_time_ = first_time_;
    current_marker_ = DataStationName();
    current_antenna_height_ = station_.antenna_height;
  } else if (occupation_pending_ && !first.kinematic) {
    // The next file of a split starts with the occupation of its first epoch.
    current_marker_ = pending_marker_, current_antenna_height_ = pending_antenna_height_;
  }
  occupation_pending_ = false;
  kinematic_ = first.kinematic;
  if (!OpenObservationFile()) return false;
  const HeaderPositions positions = WriteObservationHeader(observation_file_, MakeHeader(first, types));
  interval_position_ = positions.interval;
  last_obs_position_ = positions.last_obs;
  observation_file_.EndRewritablePart();
  header_written_ = true;
  if (kinematic_) WriteFlagLine(kStartMovingFlag, first_time_);
  CheckFile(observation_file_);
  return failure_.Ok();
}

bool ObservationExport::OpenObservationFile() {
  const std::string station = StationName();
  const std::string name = options_.long_names && version_ == RinexVersion::k304
                               ? LongName(station, first_time_, 0.0, 0.0, FileKind::kObservation)
                               : ShortName(station, first_time_, FileKind::kObservation);
  return OpenTemporary(observation_file_, ".obs", JoinPath(output_dir_, name));
}

ObservationHeader ObservationExport::MakeHeader(const ExportEpoch& first, const ObservationTypes& types) const {
  const RinexHeaderFields& given = options_.header;
  ObservationHeader header;
  header.version = version_;
  header.program = ProgramLine{options_.program, options_.run_by, creation_date_};
  header.comments = comments_;
  header.marker_name = Either(given.marker_name, current_marker_.empty() ? std::string("UNKNOWN") : current_marker_);
  header.marker_number = given.marker_number;
  header.marker_type = Either(given.marker_type, first.kinematic ? kMovingMarkerType : kStaticMarkerType);
  header.observer = given.observer, header.agency = given.agency;
  header.receiver_number = given.receiver_number;
  header.receiver_type = Either(given.receiver_type, station_.receiver_type);
  header.receiver_version = given.receiver_version;
  header.antenna_number = given.antenna_number, header.antenna_type = given.antenna_type;
  header.antenna_height = current_antenna_height_;
  if (given.antenna_delta) {
    header.antenna_height = (*given.antenna_delta)[0];
    header.antenna_east = (*given.antenna_delta)[1], header.antenna_north = (*given.antenna_delta)[2];
  }
  if (given.approx_position) {
    header.position = {(*given.approx_position)[0], (*given.approx_position)[1], (*given.approx_position)[2]};
  } else if (station_.has_position) {
    // The receiver's position is its antenna's; the header gives the
    // marker's, the antenna delta below it.
    const gnss::Geodetic antenna{gnss::Radians(station_.latitude), gnss::Radians(station_.longitude), station_.height};
    header.position = gnss::OffsetBy(gnss::ToEcef(antenna), antenna,
                                     {-header.antenna_east, -header.antenna_north, -header.antenna_height});
  }
  header.layout = layout_;
  header.l2 = types.l2;
  header.first_time = first_time_;
  return header;
}

void ObservationExport::WriteFlagLine(int flag, const CivilTime& time) {
  FixedText<128> line;
  FormatEpochLine(line, version_, EpochLine{time, flag, 0, nullptr, false, 0.0});
  FlushRecords();
  observation_file_.Write(line.View());
}

void ObservationExport::WriteOccupationRecords(int flag, const CivilTime& time) {
  FixedText<512> text;
  FormatEpochLine(text, version_, EpochLine{time, flag, 2, nullptr, false, 0.0});
  HeaderRecord(text, current_marker_, "MARKER NAME");
  AntennaDeltaRecord(text, current_antenna_height_);
  FlushRecords();
  observation_file_.Write(text.View());
}

void ObservationExport::WriteEvent(double seconds_of_week) {
  // An event before the first epoch has no file to go to yet (and after a
  // failure none to go to at all): writing it hit a buffer not yet made.
  if (!observation_file_.IsOpen() || !failure_.Ok()) return;
  const std::int32_t week = FollowWeek(week_, previous_seconds_, seconds_of_week);
  const std::int64_t ticks = GpsTicks(week, seconds_of_week);
  if (!selection_.InWindow(ticks)) return;
  WriteFlagLine(kEventFlag, CivilFromTicks(ticks));
  CheckFile(observation_file_);
}

void ObservationExport::WriteEpoch(const ExportEpoch& epoch) {
  if (!failure_.Ok()) return;
  const double seconds = epoch.receiver_time;
  if (epochs_seen_ > 0) week_ = FollowWeek(week_, previous_seconds_, seconds);
  previous_seconds_ = seconds;
  const std::int64_t ticks = GpsTicks(week_, seconds);
  // A time tag going back or repeated says nothing of the data's step.
  const bool data_gap = (epochs_seen_ == 0 || ticks > last_input_ticks_) && TakeStep(ticks);
  ++epochs_seen_;
  ++epoch_number_;
  bool written = selection_.Keeps(ticks);
  if (written && epochs_written_ > 0 && ticks <= last_ticks_) {
    // A time tag going back or repeated (a damaged or reset receiver
    // clock): left out, its losses of lock carried to the next written.
    written = false;
    ++epochs_not_forward_;
  }
  TrackLock(epoch, data_gap, written);
  if (!written) return;
  if (observation_file_.IsOpen() && selection_.PeriodOf(ticks) != file_period_) {
    FinishObservationFile();
    if (!failure_.Ok()) return;
  }
  if (!observation_file_.IsOpen()) {
    first_ticks_ = ticks;
    if (!StartObservationFile(epoch)) return;
  }
  TakeWrittenStep(ticks);
  const CivilTime time = CivilFromTicks(ticks);
  FollowMotion(epoch.kinematic, time);

  // The records laid out in place in the batch (zeroing a full epoch's
  // worth on the stack cost more than filling them).
  std::uint8_t prns[kEpochRecords];
  const int count = MakeRecords(epoch, batch_.Reserve(epoch.count), prns);
  batch_.Commit(EpochLine{time, 0, count, prns, true, epoch.clock_offset});
  if (batch_.Full()) {
    for (std::string_view text : batch_.PassOn(version_, layout_)) observation_file_.Write(text);
  }
  last_ticks_ = ticks;
  ++epochs_written_, ++file_epochs_;
  if (observation_file_.Failed()) CheckFile(observation_file_);
}

bool ObservationExport::TakeStep(std::int64_t ticks) {
  const std::int64_t step = ticks - last_input_ticks_;
  last_input_ticks_ = ticks;
  if (epochs_seen_ == 0) return false;
  if (step > 0 && (input_step_ticks_ == 0 || step < input_step_ticks_)) input_step_ticks_ = step;
  return input_step_ticks_ > 0 && step > input_step_ticks_ + input_step_ticks_ / 2;
}

void ObservationExport::TakeWrittenStep(std::int64_t ticks) {
  if (file_epochs_ == 0 && epochs_written_ == 0) return;
  const std::int64_t step = ticks - last_ticks_;
  if (step <= 0) return;
  if (written_step_ticks_ == 0 || step < written_step_ticks_) written_step_ticks_ = step;
  if (file_epochs_ > 0 && (file_step_ticks_ == 0 || step < file_step_ticks_)) file_step_ticks_ = step;
}

void ObservationExport::TrackLock(const ExportEpoch& epoch, bool data_gap, bool written) {
  for (int i = 0; i < epoch.count; ++i) {
    const ExportSatellite& s = epoch.satellites[i];
    if (s.prn < 1 || s.prn > kMaxPrn || s.l1_code == 0.0) continue;
    std::int64_t& last = last_phase_epoch_[s.prn];
    const bool lost = s.slip || (last != 0 && (last != epoch_number_ - 1 || data_gap));
    if (s.phase_valid) last = epoch_number_;
    if (written) {
      lost_[s.prn] = lost || carried_lost_[s.prn];
      carried_lost_[s.prn] = false;
    } else if (lost) {
      carried_lost_[s.prn] = true;
    }
  }
}

void ObservationExport::FollowMotion(bool kinematic, const CivilTime& time) {
  if (kinematic != kinematic_) {
    kinematic_ = kinematic;
    if (kinematic_) {
      WriteFlagLine(kStartMovingFlag, time);
    } else {
      if (occupation_pending_) current_marker_ = pending_marker_, current_antenna_height_ = pending_antenna_height_;
      WriteOccupationRecords(kNewSiteFlag, time);
    }
    occupation_pending_ = false;
  } else if (occupation_pending_) {
    occupation_pending_ = false;
    if (!kinematic_ && (pending_marker_ != current_marker_ || pending_antenna_height_ != current_antenna_height_)) {
      current_marker_ = pending_marker_;
      current_antenna_height_ = pending_antenna_height_;
      WriteOccupationRecords(kNewSiteFlag, time);
    }
  }
}

int ObservationExport::MakeRecords(const ExportEpoch& epoch, SatelliteRecord* records, std::uint8_t* prns) {
  int count = 0;
  for (int i = 0; i < epoch.count && count < kEpochRecords; ++i) {
    const ExportSatellite& s = epoch.satellites[i];
    if (s.prn < 1 || s.prn > kMaxPrn || s.l1_code == 0.0) continue;
    MakeRecord(s, records[count]);  // in place: a copy of a record stalls on its byte flags
    prns[count] = s.prn;
    ++count;
  }
  return count;
}

void ObservationExport::MakeRecord(const ExportSatellite& s, SatelliteRecord& r) {
  r.prn = s.prn;
  const bool lost = lost_[s.prn];
  Put(r, s.p_code ? Signal::kL1PCode : Signal::kL1CaCode, s.l1_code, false);
  if (s.phase_valid) PutPhase(r, s.p_code ? Signal::kL1PPhase : Signal::kL1CaPhase, s.l1_phase, lost);
  if (options_.doppler) Put(r, s.p_code ? Signal::kL1PDoppler : Signal::kL1CaDoppler, s.doppler, false);
  if (s.l2) {
    Put(r, Signal::kL2Code, s.l2_code, false);
    if (s.phase_valid) PutPhase(r, Signal::kL2Phase, s.l2_phase, lost);
  }
}

void ObservationExport::PutPhase(SatelliteRecord& record, Signal signal, double value, bool lost) {
  // A phase too wide for its field is clipped into it by whole 10^9 cycles,
  // with its loss-of-lock indicator set.
  constexpr double kPhaseClip = 1e9;
  if (std::isfinite(value) && !(value < kLargestObservationValue && value > kSmallestObservationValue)) {
    value = std::fmod(value, kPhaseClip);
    if (!(value > kSmallestObservationValue)) value += kPhaseClip;
    lost = true;
  }
  Put(record, signal, value, lost);
}

void ObservationExport::Put(SatelliteRecord& record, Signal signal, double value, bool lost) {
  const auto index = static_cast<std::size_t>(signal);
  if (layout_.column[index] < 0) {
    ++unlisted_signals_;
    return;
  }
  record.value[index] = value;
  record.present[index] = true;
  record.lli[index] = lost ? 1 : 0;
  ++signals_written_;
}

void ObservationExport::FlushRecords() {
  if (batch_.Empty()) return;
  for (std::string_view text : batch_.Finish(version_, layout_)) observation_file_.Write(text);
}

bool ObservationExport::Finish(RinexOutputs* outputs) {
  if (failure_.Ok() && !pending_.empty()) {
    bool epochs = false;
    for (const Pending& item : pending_) epochs = epochs || item.kind == Pending::Kind::kEpoch;
    if (epochs) Fail(std::string(kWeekUnknown));
  }
  if (outputs != nullptr) outputs->date_refused = date_refused_;
  if (!failure_.Ok()) {
    Discard();
    return false;
  }
  WarnOfEpochsLeftOut();
  RinexOutputs result;
  result.warnings = warnings_;
  if (observation_file_.IsOpen()) FinishObservationFile();
  result.observation_files = observation_files_;
  if (!observation_files_.empty()) result.observation_path = observation_files_.front().path;
  if (failure_.Ok() && !navigation_.Empty()) WriteNavigationFile(result);
  if (failure_.Ok() && own_set_ != nullptr) CommitOwnSet();
  if (!failure_.Ok()) {
    Discard();
    return false;
  }
  result.epochs = epochs_written_;
  result.signals = signals_written_;
  if (outputs != nullptr) *outputs = result;
  return true;
}

void ObservationExport::WarnOfEpochsLeftOut() {
  if (epochs_not_forward_ > 0) {
    FixedText<256> text;
    text.Str("Warning: ").Int(epochs_not_forward_).Str(epochs_not_forward_ == 1 ? " epoch" : " epochs");
    text.Str(" not later than the epoch written before left out of the RINEX observation file");
    warnings_.emplace_back(text.View());
  }
  if (epochs_seen_ > 0 && epochs_written_ == 0) {
    FixedText<256> text;
    text.Str("Warning: none of the ").Int(epochs_seen_).Str(epochs_seen_ == 1 ? " epoch" : " epochs");
    text.Str(" is in the time window or on the interval asked for: no RINEX observation file written");
    warnings_.emplace_back(text.View());
  }
}

void ObservationExport::FinishObservationFile() {
  FlushRecords();
  FixedText<256> line;
  const double interval = file_step_ticks_ > 0 ? selection_.HeaderInterval(file_step_ticks_) : 0.0;
  if (interval > 0.0) {
    IntervalRecord(line, interval);
    observation_file_.Patch(interval_position_, line.View());
  }
  line.Clear();
  TimeOfObservationRecord(line, CivilFromTicks(last_ticks_), "TIME OF LAST OBS");
  observation_file_.Patch(last_obs_position_, line.View());
  observation_file_.Close();
  CheckFile(observation_file_);
  if (!failure_.Ok()) return;
  RinexObservationFile placed;
  placed.epochs = file_epochs_;
  // A file of a split is named after its hour or day, whatever its first epoch.
  const bool placed_ok =
      selection_.Splits()
          ? Place(observation_file_, FileKind::kObservation, CivilFromTicks(selection_.PeriodStart(file_period_)),
                  selection_.PeriodSeconds(), interval, placed.path, true)
          : Place(observation_file_, FileKind::kObservation, first_time_,
                  static_cast<double>(last_ticks_ - first_ticks_) / static_cast<double>(kTicksPerSecond) + interval,
                  interval, placed.path);
  if (placed_ok) observation_files_.push_back(std::move(placed));
}

void ObservationExport::WriteNavigationFile(RinexOutputs& result) {
  // Without epochs the file starts at the first ephemeris' time of clock.
  const gnss::BroadcastEphemeris* first = navigation_.First();
  const bool dated = options_.week || options_.date;
  if (dated && header_written_) {
    navigation_.Redate(run_first_ticks_);
  } else if (dated) {
    std::int32_t week = options_.week.value_or(0);
    if (options_.date && !WeekOfDate(*options_.date, &week)) week = 0;
    navigation_.Redate(GpsTicks(week, static_cast<double>(first->toe)));
  }
  const CivilTime start = header_written_ ? run_first_time_ : CivilFromGps(first->week, static_cast<double>(first->toc));
  const double period = header_written_ ? static_cast<double>(last_ticks_ - run_first_ticks_ + written_step_ticks_) /
                                              static_cast<double>(kTicksPerSecond)
                                        : 0.0;
  OutputFile navigation_file;
  if (!OpenTemporary(navigation_file, ".nav",
                     JoinPath(output_dir_, ShortName(StationName(), start, FileKind::kNavigation))))
    return;
  result.ephemerides =
      static_cast<std::int64_t>(navigation_.Write(navigation_file, version_, MakeNavigationHeader(start)));
  navigation_file.Close();
  CheckFile(navigation_file);
  // The navigation file takes its observation file's name where it can.
  const char session = selection_.Splits() ? 0 : observation_session_;
  if (failure_.Ok())
    Place(navigation_file, FileKind::kNavigation, start, period, 0.0, result.navigation_path, false, session);
}

NavigationHeader ObservationExport::MakeNavigationHeader(const CivilTime& start) const {
  NavigationHeader header;
  header.program = ProgramLine{options_.program, options_.run_by, creation_date_};
  header.leap_seconds = gnss::GpsMinusUtc(gnss::GpsDayOfDate(start.year, start.month, start.day));
  if (options_.ionosphere && IonosphereFits(*options_.ionosphere)) {
    header.ionosphere = options_.ionosphere;
    const std::string_view source = options_.ionosphere_source;
    header.comments.push_back("ionosphere parameters from " +
                              std::string(source.empty() ? std::string_view("the options") : source));
  } else {
    if (!ionosphere_note_.empty()) header.comments.push_back(ionosphere_note_);
    header.ionosphere = data_ionosphere_;
    if (!data_ionosphere_) header.comments.emplace_back("no ionosphere parameters in the data");
  }
  return header;
}

void ObservationExport::CommitOwnSet() {
  if (const Status committed = own_set_->Commit(); !committed.Ok()) FailWithReason(committed);
}

void ObservationExport::Discard() {
  batch_.Clear();
  observation_file_.Discard();
  if (own_set_ != nullptr) own_set_->Discard();
}

}  // namespace morvelin::rinex
