// Any bytes as a raw data file, converted in memory by the re-entrant
// converter with every sink attached: the host's four files, RINEX, the
// quality report and a counting sink, every output kept in memory. The
// conversion must end, read nothing outside its buffers, open no file,
// name its files only in its folder, and report counts that agree with
// what the sinks received and with the files written. It fails only as
// the RINEX sink may (no GPS week to be found in the data).
#include <atomic>
#include <cstdio>
#include <memory>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "morvelin/converter.h"
#include "morvelin/qc.h"
#include "morvelin/rinex.h"

namespace {


class CountingSink final : public morvelin::ConversionSink {
 public:
  void OnEpoch(const morvelin::EpochEvent& event) override {
    ++epochs;
    observations += static_cast<std::int64_t>(event.observations.size());
    MORVELIN_FUZZ_CHECK(event.epoch != nullptr && event.session != nullptr);
    MORVELIN_FUZZ_CHECK(event.observations.size() == event.epoch->measurement_count);
  }
  void OnEphemeris(const morvelin::EphemerisEvent& event) override {
    ++ephemerides;
    MORVELIN_FUZZ_CHECK(event.eph != nullptr);
  }
  void OnStationLine(const morvelin::StationLineEvent& event) override {
    ++station_lines;
    // Names and descriptions are written as stored, line feeds and all:
    // the file's size is what C's printf makes of each line.
    const int length = std::snprintf(nullptr, 0, "STA:  *  %.1f  * %.*s  *  %.3f  *  %.*s  * \n", event.time,
                                     static_cast<int>(event.point_name.size()), event.point_name.data(),
                                     event.antenna_height, static_cast<int>(event.description.size()),
                                     event.description.data());
    MORVELIN_FUZZ_CHECK(length > 0);
    station_bytes += length;
  }
  void OnEventMarker(const morvelin::EventMarkerEvent& event) override {
    if (event.counted) ++events;
  }
  void OnEnd(const morvelin::RunSummary&) override { ++ends; }
  morvelin::Status Finish() override {
    ++finishes;
    return {};
  }

  std::int32_t epochs = 0, ephemerides = 0, station_lines = 0, events = 0, ends = 0, finishes = 0;
  std::int64_t observations = 0;
  std::int64_t station_bytes = 0;
};

// Raises the abort flag after a number of measurement records.
class StoppingObserver final : public morvelin::ConversionObserver {
 public:
  StoppingObserver(std::atomic<std::int32_t>& abort, int stop_after) : abort_(abort), stop_after_(stop_after) {}
  void OnReceiverTime(double) override {
    if (stop_after_ > 0 && --stop_after_ == 0) abort_.fetch_add(1);
  }
  void OnMessage(double, const char* text, bool) override { MORVELIN_FUZZ_CHECK(text != nullptr); }

 private:
  std::atomic<std::int32_t>& abort_;
  int stop_after_;
};

std::size_t CountOf(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
  return count;
}

// A file the run wrote, or empty.
std::string FileOf(const morvelin::MemoryOutputs& memory, const std::string& path) {
  const std::string* bytes = memory.Find(path);
  return bytes != nullptr ? *bytes : std::string();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int descriptors = morvelin::fuzz::OpenDescriptors();

  // The input's length picks the options, so every byte stays raw data.
  std::atomic<std::int32_t> abort{0};
  StoppingObserver observer(abort, size % 13 == 5 ? 1 + (size % 7) : 0);
  CountingSink counter;
  morvelin::MemoryOutputs memory;
  morvelin::OutputSet set("SITE3450", nullptr, &memory);
  morvelin::ConversionRequest request;
  request.input = morvelin::MemoryInput{std::span<const std::uint8_t>(data, size), "SITE3450.dat"};
  request.host_name = "SITE3450.dat";
  request.output_base = "SITE3450";
  request.output_set = &set;
  request.kinematic = (size & 1) != 0;
  request.sinks.push_back(&counter);
  morvelin::RinexOptions rinex_options;
  rinex_options.version = (size & 2) != 0 ? morvelin::RinexVersion::k211 : morvelin::RinexVersion::k304;
  rinex_options.long_names = (size & 4) != 0;
  rinex_options.creation_time = "20240101 000000 UTC";
  morvelin::RinexOutputs rinex_outputs;
  auto made = morvelin::MakeRinexSink(rinex_options, "", &rinex_outputs, &set);
  MORVELIN_FUZZ_CHECK(made.Ok());
  std::unique_ptr<morvelin::ConversionSink> rinex = std::move(*made);
  request.sinks.push_back(rinex.get());
  std::unique_ptr<morvelin::QcSink> quality = morvelin::MakeQcSink(morvelin::QcOptions{});
  MORVELIN_FUZZ_CHECK(quality != nullptr);
  request.sinks.push_back(quality.get());
  request.observer = &observer;
  request.abort = &abort;

  const morvelin::ConversionOutcome outcome = morvelin::Convert(request);

  const bool done = outcome.result == morvelin::ConversionResult::kDone;
  MORVELIN_FUZZ_CHECK(done || (!rinex->Failure().Ok() && outcome.failure == rinex->Failure().Message()));
  MORVELIN_FUZZ_CHECK(!done || outcome.stopped == (abort.load() != 0));
  // A sink may fail as late as when it is finished, after the end of the run.
  MORVELIN_FUZZ_CHECK(counter.ends == (done ? 1 : counter.ends) && counter.ends <= 1 && counter.finishes == 1);
  MORVELIN_FUZZ_CHECK(outcome.counts.epochs == counter.epochs);
  MORVELIN_FUZZ_CHECK(outcome.counts.ephemerides == counter.ephemerides);
  MORVELIN_FUZZ_CHECK(outcome.counts.station_lines == counter.station_lines);
  MORVELIN_FUZZ_CHECK(outcome.counts.events == counter.events);
  MORVELIN_FUZZ_CHECK(morvelin::fuzz::OpenDescriptors() == descriptors);

  // Everything written is put into place, even by a run that failed: its
  // files must still hold what was counted.
  MORVELIN_FUZZ_CHECK(set.Commit().Ok());
  // RINEX files are named from the data: they must land in the folder.
  std::size_t files = 4;
  for (const std::string* path : {&rinex_outputs.observation_path, &rinex_outputs.navigation_path}) {
    if (path->empty()) continue;
    MORVELIN_FUZZ_CHECK(path->find_first_of("/\\") == std::string::npos);
    MORVELIN_FUZZ_CHECK(memory.Find(*path) != nullptr);
    ++files;
  }
  MORVELIN_FUZZ_CHECK(memory.Files().size() == files);  // nothing astray
  if (done) {
    const morvelin::QcReport report = quality->Report();
    // One of the report's three forms a run, chosen by the length.
    const std::string form = size % 3 == 0   ? morvelin::QcReportSvg(report)
                             : size % 3 == 1 ? morvelin::QcReportJson(report)
                                             : morvelin::QcReportText(report);
    MORVELIN_FUZZ_CHECK(!form.empty());
  }

  // The files hold what was counted: every epoch and observation record in
  // the .gpb, one block per ephemeris, every station line whole.
  const std::string gpb = FileOf(memory, "SITE3450.gpb");
  MORVELIN_FUZZ_CHECK(static_cast<std::int64_t>(gpb.size()) ==
                      202 + 68 * static_cast<std::int64_t>(counter.epochs) + 44 * counter.observations);
  const std::string epp = FileOf(memory, "SITE3450.epp");
  MORVELIN_FUZZ_CHECK(CountOf(epp, "GpsEph") == static_cast<std::size_t>(counter.ephemerides));
  const std::string sta = FileOf(memory, "SITE3450.sta");
  MORVELIN_FUZZ_CHECK(static_cast<std::int64_t>(sta.size()) == counter.station_bytes);
  const std::string sum = FileOf(memory, "SITE3450.sum");
  MORVELIN_FUZZ_CHECK(!done || !sum.empty());
  return 0;
}
