// The RINEX export as a sink of the converter's events: the observation
// file grows epoch by epoch in the same pass as the host's files.
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "gnss/ephemeris_record.h"
#include "morvelin/gpb.h"
#include "morvelin/rinex.h"
#include "rinex/export_queue.h"
#include "rinex/observation_export.h"

namespace morvelin {

namespace {

constexpr std::int32_t kKinematicMode = 2;

class RinexSink final : public ConversionSink {
 public:
  RinexSink(const RinexOptions& options, const std::string& output_dir, RinexOutputs* outputs, OutputSet* set)
      : export_(options, output_dir, set), queue_(export_, set == nullptr || !set->InMemory()), outputs_(outputs) {}

  void OnEpoch(const EpochEvent& event) override {
    if (event.session != nullptr && !queue_.HeaderWritten()) TakeSession(*event.session);
    // Filled in place in the queue: a copy through the stack, or of a
    // whole epoch into the queue, costs more than the rest.
    rinex::ExportSatellite* s = queue_.SatelliteRoom(event.satellites.size());
    for (const SatelliteMeasurement& m : event.satellites) {
      s->prn = m.prn;
      s->p_code = m.PCode();
      s->l1_code = m.pseudorange;
      s->phase_valid = m.PhaseValid();
      s->l1_phase = m.phase;
      s->l2 = m.DualFrequency() && m.FullL2();
      s->l2_code = m.pseudorange + m.l2_code_offset;
      s->l2_phase = m.l2_phase;
      s->slip = m.CycleSlip();
      s->doppler = m.third;  // this receiver family's L1 Doppler, Hz, with the sign RINEX gives it
      ++s;
    }
    rinex::ExportEpoch epoch;
    epoch.receiver_time = event.receiver_time;
    epoch.clock_offset = event.clock_offset;
    epoch.kinematic = event.session != nullptr && event.session->motion_mode == kKinematicMode;
    queue_.FilledEpoch(epoch);
  }

  void OnEphemeris(const EphemerisEvent& event) override {
    if (event.eph == nullptr) return;
    queue_.Then([eph = gnss::FromGpsEph(*event.eph)](rinex::ObservationExport& out) { out.Ephemeris(eph); });
  }

  void OnIonosphere(const IonosphereEvent& event) override {
    // Copied: the event's values are valid during the call only, and the
    // export runs on its own thread.
    std::optional<RinexIonosphere> coefficients;
    if (event.has_coefficients) {
      coefficients.emplace();
      for (std::size_t i = 0; i < coefficients->alpha.size(); ++i) {
        coefficients->alpha[i] = event.alpha[i];
        coefficients->beta[i] = event.beta[i];
      }
    }
    queue_.Then([coefficients, length = event.payload_length](rinex::ObservationExport& out) {
      out.Ionosphere(coefficients ? &*coefficients : nullptr, length);
    });
  }

  void OnStationLine(const StationLineEvent& event) override {
    queue_.Then([name = std::string(event.point_name), height = event.antenna_height](rinex::ObservationExport& out) {
      out.StationEntry(name, height);
    });
  }

  void OnEventMarker(const EventMarkerEvent& event) override {
    if (!event.counted || !event.has_time) return;
    queue_.Then([time = event.time](rinex::ObservationExport& out) { out.EventMarker(time); });
  }

  void OnEnd(const RunSummary& summary) override {
    if (summary.session != nullptr && !queue_.HeaderWritten()) TakeSession(*summary.session);
  }

  Status Finish() override {
    if (!finished_) {
      finished_ = true;
      queue_.Drain();
      // A block the export's thread could not take: nothing it wrote is kept.
      if (!queue_.Failure().Ok() && export_.Failure().Ok()) {
        export_.Discard();
        return queue_.Failure();
      }
      export_.Finish(outputs_);
    }
    return queue_.Failure();
  }

  const Status& Failure() const override { return queue_.Failure(); }

 private:
  void TakeSession(const SessionInfo& session) {
    rinex::StationFacts facts;
    facts.marker_name.assign(session.station_name);
    while (!facts.marker_name.empty() && facts.marker_name.back() == ' ') facts.marker_name.pop_back();
    facts.receiver_type = ReceiverTypeName(session.receiver_type);
    facts.antenna_height = session.antenna_height;
    facts.has_position = session.latitude != 0.0 || session.longitude != 0.0 || session.height != 0.0;
    facts.latitude = session.latitude;
    facts.longitude = session.longitude;
    facts.height = session.height;
    // Taken while the header is not written: the latest before it counts.
    queue_.Then([facts = std::move(facts)](rinex::ObservationExport& out) {
      if (!out.HeaderWritten()) out.SetStation(facts);
    });
  }

  rinex::ObservationExport export_;
  rinex::ExportQueue queue_;
  RinexOutputs* outputs_;
  bool finished_ = false;
};

}  // namespace

Result<std::unique_ptr<ConversionSink>> MakeRinexSink(const RinexOptions& options, const std::string& output_dir,
                                                      RinexOutputs* outputs, OutputSet* set) {
  if (options.week && (*options.week < 0 || *options.week > 9999))
    return Status::Failed("Error: RINEX export: the GPS week must be 0-9999");
  if (Status checked = CheckRinexOptions(options); !checked.Ok()) return checked;
  try {
    // The folder is checked now, before the run reads its first record.
    const std::string folder = output_dir.empty() ? "." : output_dir;
    std::error_code code;
    if ((set == nullptr || !set->InMemory()) && !std::filesystem::is_directory(folder, code)) {
      const std::string reason = code ? code.message() : std::string("Not a directory");
      return Status::Failed("Error: Unable to create the RINEX files in " + folder + " (" + reason + ")", reason);
    }
    return std::unique_ptr<ConversionSink>(std::make_unique<RinexSink>(options, output_dir, outputs, set));
  } catch (const std::exception&) {
    return Status::Failed("Error: Not enough memory for the RINEX export");
  }
}

bool ParseRinexVersion(std::string_view text, RinexVersion* version) {
  if (text == "3.04" || text == "3") {
    *version = RinexVersion::k304;
    return true;
  }
  if (text == "2.11" || text == "2") {
    *version = RinexVersion::k211;
    return true;
  }
  return false;
}

bool ParseRinexDate(std::string_view text, RinexDate* date) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  auto number = [&text](std::size_t at, std::size_t length, int* out) {
    int value = 0;
    for (std::size_t i = at; i < at + length; ++i) {
      if (text[i] < '0' || text[i] > '9') return false;
      value = value * 10 + (text[i] - '0');
    }
    *out = value;
    return true;
  };
  RinexDate d;
  if (!number(0, 4, &d.year) || !number(5, 2, &d.month) || !number(8, 2, &d.day)) return false;
  if (d.month < 1 || d.month > 12 || d.day < 1) return false;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  const int days = kDays[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
  if (d.day > days) return false;
  if (d.year < 1980 || (d.year == 1980 && d.month == 1 && d.day < 6)) return false;
  *date = d;
  return true;
}

}  // namespace morvelin
