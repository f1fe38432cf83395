// The quality report's ways in: a sink on a conversion, and a measurement
// file with its ephemeris file. Both hand the collector the same epochs.
#include <memory>
#include <optional>
#include <vector>

#include "gnss/ephemeris_record.h"
#include "morvelin/gpb.h"
#include "qc/collector.h"
#include "formats/ephemeris_reader.h"

namespace morvelin {

namespace {

using qc::Collector;
using qc::EpochInput;
using qc::Observation;

constexpr double kSlipMarker = 10000.0;  // cycles the measurement file adds to L1 at a flagged slip

void SetPosition(EpochInput& input, const EpochRecord& epoch) {
  input.has_position = epoch.latitude != 0.0 || epoch.longitude != 0.0;
  input.latitude = epoch.latitude;
  input.longitude = epoch.longitude;
  input.height = static_cast<double>(epoch.height);
}

class Sink final : public QcSink {
 public:
  explicit Sink(const QcOptions& options) : collector_(std::make_unique<Collector>(options)) {}

  void OnEpoch(const EpochEvent& event) override {
    if (event.epoch == nullptr) return;
    if (event.session != nullptr && !event.session->station_name.empty())
      collector_->SetStation(event.session->station_name);
    observations_.clear();
    if (!event.satellites.empty()) {
      // The receiver's own blocks, with their flags: the ones the measurement
      // file stores (a valid phase, a code) and nothing else.
      for (const SatelliteMeasurement& s : event.satellites) {
        if (!s.PhaseValid() || s.pseudorange == 0.0) continue;
        // Filled in place: a copy through the stack costs more than the rest.
        Observation& o = observations_.emplace_back();
        o.prn = s.prn;
        o.flagged_slip = s.CycleSlip();
        o.dual = s.DualFrequency() && s.FullL2();
        o.p1 = s.pseudorange;
        o.l1 = s.phase;
        if (o.dual) o.p2 = s.pseudorange + s.l2_code_offset, o.l2 = s.l2_phase;
      }
    } else {
      for (const ObservationRecord& r : event.observations) {
        Observation& o = observations_.emplace_back();
        o.prn = r.prn;
        o.dual = r.l2_pseudorange != 0.0 && r.l2_phase != 0.0;
        o.p1 = r.l1_pseudorange, o.l1 = r.l1_phase, o.p2 = r.l2_pseudorange, o.l2 = r.l2_phase;
      }
    }
    EpochInput input;
    input.time = event.epoch->epoch_time;
    SetPosition(input, *event.epoch);
    input.observations = observations_;
    collector_->AddEpoch(input);
  }

  void OnEphemeris(const EphemerisEvent& event) override {
    if (event.eph != nullptr) collector_->AddEphemeris(gnss::FromGpsEph(*event.eph));
  }

  void OnEventMarker(const EventMarkerEvent& event) override {
    if (event.counted && event.has_time) collector_->AddEvent(event.time);
  }

  void OnEnd(const RunSummary& summary) override {
    if (summary.session != nullptr && !summary.session->station_name.empty())
      collector_->SetStation(summary.session->station_name);
  }

  QcReport Report() override {
    if (!report_) report_ = collector_->Finish();
    return *report_;
  }

 private:
  std::unique_ptr<Collector> collector_;
  std::vector<Observation> observations_;
  std::optional<QcReport> report_;
};

// A flagged slip in a measurement file: the lock time falls to 0 while the
// satellite was tracked at the epoch before and its lock had reached a
// second (the decoder's lock grows by the epoch interval at every epoch).
struct LockFollower {
  double lock = 0.0;
  std::int64_t last_epoch = -2;
};

}  // namespace

std::unique_ptr<QcSink> MakeQcSink(const QcOptions& options) { return std::make_unique<Sink>(options); }

Result<QcReport> BuildQcReportFromFiles(const std::string& gpb_path, const std::string& epp_path,
                                        const QcOptions& options) {
  auto collector = std::make_unique<Collector>(options);
  if (!epp_path.empty()) {
    const Result<std::vector<gnss::BroadcastEphemeris>> ephemerides = ReadEphemerisFile(epp_path);
    if (!ephemerides.Ok()) return ephemerides.Status();
    for (const gnss::BroadcastEphemeris& eph : *ephemerides) collector->AddEphemeris(eph);
  }
  const Result<MeasurementFile*> opened = OpenGpb(gpb_path.c_str(), 16384);
  if (!opened.Ok()) return opened.Status();
  MeasurementFile* file = *opened;
  std::vector<ObservationRecord> records(256);
  std::vector<Observation> observations;
  std::vector<LockFollower> locks(kMaxPrn + 1);
  EpochRecord epoch{};
  double previous_time = 0.0;
  Status status;
  for (std::int64_t index = 0;; ++index) {
    const Result<bool> read = ReadGpbEpoch(file, &epoch, records.data());
    if (!read.Ok()) status = read.Status();
    if (!read.Ok() || !*read) break;
    double interval = index == 0 ? 0.0 : epoch.epoch_time - previous_time;
    if (interval < -kHalfWeek) interval += kSecondsPerWeek;
    previous_time = epoch.epoch_time;
    observations.clear();
    for (int i = 0; i < epoch.measurement_count; ++i) {
      const ObservationRecord& r = records[static_cast<std::size_t>(i)];
      if (r.prn < 1 || r.prn > kMaxPrn || r.l1_pseudorange == 0.0) continue;
      LockFollower& lock = locks[r.prn];
      lock.lock = lock.last_epoch == index - 1 ? lock.lock + interval : 0.0;
      Observation o;
      o.prn = r.prn;
      o.flagged_slip = r.lock_time == 0 && lock.last_epoch == index - 1 && lock.lock >= 1.0 - 1e-9;
      if (o.flagged_slip) lock.lock = 0.0;
      lock.last_epoch = index;
      o.dual = r.l2_pseudorange != 0.0 && r.l2_phase != 0.0;
      o.p1 = r.l1_pseudorange;
      o.l1 = o.flagged_slip ? r.l1_phase - kSlipMarker : r.l1_phase;
      o.p2 = r.l2_pseudorange, o.l2 = r.l2_phase;
      observations.push_back(o);
    }
    EpochInput input;
    input.time = epoch.epoch_time;
    SetPosition(input, epoch);
    input.observations = observations;
    collector->AddEpoch(input);
  }
  CloseMeasurementFile(file);
  if (!status.Ok()) return status;
  return collector->Finish();
}

}  // namespace morvelin
