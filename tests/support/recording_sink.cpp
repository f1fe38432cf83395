#include "support/recording_sink.h"

#include <cstdio>
#include <string_view>

namespace morvelin::test {

namespace {

std::string Format(const char* format, double a, double b = 0.0, double c = 0.0) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

class Observer : public ConversionObserver {
 public:
  explicit Observer(std::vector<std::string>& messages) : messages_(messages) {}
  void OnMessage(double time, const char* text, bool) override {
    messages_.push_back(Format("%.3f ", time) + text);
  }

 private:
  std::vector<std::string>& messages_;
};

}  // namespace

void RecordingSink::OnEpoch(const EpochEvent& event) {
  std::string line = "epoch" + Format(" %.3f rx %.4f clock %.6f", event.epoch->epoch_time, event.receiver_time,
                                      event.clock_offset);
  for (const ObservationRecord& observation : event.observations)
    line += Format(" | %.0f lock %.0f L1 %.3f", observation.prn, observation.lock_time, observation.l1_phase);
  for (const SatelliteMeasurement& satellite : event.satellites)
    line += Format(" # %.0f f1 %.0f phase %.3f", satellite.prn, satellite.f1, satellite.phase);
  lines.push_back(line);
}

void RecordingSink::OnEphemeris(const EphemerisEvent& event) {
  lines.push_back(Format("ephemeris prn %.0f toe %.0f bytes %.0f", event.eph->prn, event.eph->toe,
                         static_cast<double>(event.payload.size())));
}

void RecordingSink::OnIonosphere(const IonosphereEvent& event) {
  std::string line = Format("ionosphere %.0f bytes", event.payload_length);
  if (event.has_coefficients)
    for (const double* set : {event.alpha, event.beta})
      line += Format(" %g %g", set[0], set[1]) + Format(" %g %g", set[2], set[3]);
  lines.push_back(line);
}

void RecordingSink::OnStationLine(const StationLineEvent& event) {
  lines.push_back("station " + std::string(event.point_name) + Format(" %.1f %.3f ", event.time, event.antenna_height) +
                  std::string(event.description));
}

void RecordingSink::OnSummaryText(std::string_view text) { lines.push_back("summary " + std::string(text)); }

void RecordingSink::OnEventMarker(const EventMarkerEvent& event) {
  lines.push_back(Format("marker %.0f id %.0f time %.3f", event.sub_record, event.id, event.time) +
                  (event.counted ? " counted" : ""));
}

void RecordingSink::OnEnd(const RunSummary& summary) {
  end = summary;
  end.session = nullptr;
  end.day_text = {};
  station_name = std::string(summary.session->station_name);
  lines.push_back("end " + std::string(summary.session->station_name) +
                  Format(" records %.0f observations %.0f", summary.measurement_records, summary.total_observations));
}

MemoryConversion ConvertInMemory(const Bytes& bytes, bool kinematic) {
  MemoryConversion result;
  RecordingSink sink;
  Observer observer(result.messages);
  ConversionRequest request;
  request.input = MemoryInput{bytes, "MEMORY.dat"};
  request.host_files = false;
  request.kinematic = kinematic;
  request.sinks.push_back(&sink);
  request.observer = &observer;
  result.outcome = Convert(request);
  result.events = std::move(sink.lines);
  result.end = sink.end;
  return result;
}

}  // namespace morvelin::test
