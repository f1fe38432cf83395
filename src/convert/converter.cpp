// One conversion: opens the input and the outputs, drives the record reader
// to the end of the input (or until the abort flag is raised), reports the
// end of the run and closes everything. The conversion is the decoders'
// events interface: it hands each event to every sink and counts what the
// host is told.
#include "morvelin/converter.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <variant>

#include "base/file_io.h"
#include "base/message.h"
#include "base/text.h"
#include "base/text_builder.h"
#include "convert/output_paths.h"
#include "convert/record_reader.h"
#include "formats/host_files.h"
#include "formats/summary_file.h"
#include "framing/file_source.h"
#include "framing/generated_source.h"
#include "framing/mapped_file_source.h"
#include "framing/memory_source.h"
#include "framing/stream_source.h"
#include "records/decoder.h"
#include "records/measurement.h"
#include "records/station.h"

namespace morvelin {

namespace {

class Conversion final : public DecodeEvents {
 public:
  explicit Conversion(const ConversionRequest& request) : request_(request) {}

  ConversionOutcome Run();

  void Epoch(const EpochEvent& event) override {
    for (ConversionSink* sink : sinks_) sink->OnEpoch(event);
    // An epoch the measurement file could not take was not written.
    if (host_files_ == nullptr || !host_files_->MeasurementFileFailed()) ++outcome_.counts.epochs;
  }
  void Ephemeris(const EphemerisEvent& event) override {
    ++outcome_.counts.ephemerides;
    for (ConversionSink* sink : sinks_) sink->OnEphemeris(event);
  }
  void Ionosphere(const IonosphereEvent& event) override {
    for (ConversionSink* sink : sinks_) sink->OnIonosphere(event);
  }
  void StationLine(const StationLineEvent& event) override {
    for (ConversionSink* sink : sinks_) sink->OnStationLine(event);
    ++outcome_.counts.station_lines;
  }
  void SummaryText(std::string_view text) override {
    for (ConversionSink* sink : sinks_) sink->OnSummaryText(text);
  }
  void EventMarker(const EventMarkerEvent& event) override {
    for (ConversionSink* sink : sinks_) sink->OnEventMarker(event);
    if (event.counted) ++outcome_.counts.events;
  }
  void Message(double time, std::string_view text) override {
    if (request_.observer == nullptr) return;
    // The observer is handed a NUL-terminated copy, cut as the host's text is.
    const std::size_t length = text.size() < kMessageSize - 1 ? text.size() : kMessageSize - 1;
    std::memcpy(message_, text.data(), length);
    message_[length] = '\0';
    request_.observer->OnMessage(time, message_, false);
  }
  void ConstantMessage(double time, const char* text) override {
    if (request_.observer != nullptr) request_.observer->OnMessage(time, text, true);
  }
  void ReceiverTime(double time) override {
    outcome_.saw_receiver_time = true;
    outcome_.last_receiver_time = time;
    if (request_.observer != nullptr) request_.observer->OnReceiverTime(time);
  }

 private:
  bool OpenInput();
  bool AbortRequested() const {
    return request_.abort != nullptr && request_.abort->load(std::memory_order_relaxed) != 0;
  }
  // The first failure of any sink, or null; its reason goes to the outcome.
  const Status* SinkFailure() {
    for (const ConversionSink* sink : sinks_) {
      const Status& failure = sink->Failure();
      if (!failure.Ok()) {
        if (outcome_.reason.empty()) outcome_.reason = failure.Reason();
        return &failure;
      }
    }
    return nullptr;
  }
  Status OpenHostFiles(OutputPlan& plan);
  ConversionOutcome Fail(std::string_view failure) {
    outcome_.result = ConversionResult::kFailed;
    outcome_.failure.assign(failure);
    if (host_files_ != nullptr) host_files_->Abandon();
    for (ConversionSink* sink : sinks_)
      if (sink != host_files_) (void)sink->Finish();
    input_.reset();
    return Finish();
  }
  ConversionOutcome Finish() {
    outcome_.measurement_records = state_.measurement.measurement_epoch_count;
    outcome_.damage.skipped_bytes = reader_.skipped_bytes;
    outcome_.damage.invalid_types = reader_.invalid_types;
    outcome_.damage.dropped_epochs = state_.measurement.dropped_epochs;
    outcome_.damage.cut_record = outcome_.damage.cut_record || reader_.cut_header || state_.measurement.cut_record;
    return outcome_;
  }
  RunSummary Summary(const SessionInfo& session, std::string_view day_name) const;

  const ConversionRequest& request_;
  ConversionOutcome outcome_;
  std::unique_ptr<ByteSource> input_;
  ReaderState reader_;
  DecodeState state_;
  HostFileSink* host_files_ = nullptr;
  std::vector<ConversionSink*> sinks_;
  char message_[kMessageSize] = {};
};

bool Conversion::OpenInput() {
  if (const auto* memory = std::get_if<MemoryInput>(&request_.input)) {
    input_ = std::make_unique<MemorySource>(memory->bytes);
    return true;
  }
  if (const auto* generated = std::get_if<GeneratedInput>(&request_.input)) {
    input_ = std::make_unique<GeneratedSource>(generated->read);
    return true;
  }
  if (const auto* stream = std::get_if<StreamInput>(&request_.input)) {
    if (stream->stream == nullptr) {
      outcome_.reason = std::strerror(EBADF);
      return false;
    }
    input_ = std::make_unique<StreamSource>(stream->stream);
    return true;
  }
  const FileInput& file = std::get<FileInput>(request_.input);
  errno = 0;
  if (IsDirectory(file.path.c_str())) {
    outcome_.reason = std::strerror(EISDIR);
    return false;
  }
  input_ = file.mapped ? OpenMappedFile(file.path.c_str()) : FileSource::Open(file.path.c_str());
  if (input_ != nullptr) return true;
  outcome_.reason = std::strerror(errno != 0 ? errno : ENOENT);
  return false;
}

RunSummary Conversion::Summary(const SessionInfo& session, std::string_view day_name) const {
  const StationState& station = state_.station;
  const MeasurementState& measurement = state_.measurement;
  RunSummary summary;
  summary.day_text = SummaryDayText(day_name);
  summary.measurement_records = measurement.measurement_epoch_count;
  summary.start_time = measurement.start_time;
  summary.end_time = measurement.end_time;
  DegreesToDms(station.latitude, &summary.latitude_degrees, &summary.latitude_minutes, &summary.latitude_seconds);
  DegreesToDms(station.longitude, &summary.longitude_degrees, &summary.longitude_minutes,
               &summary.longitude_seconds);
  summary.latitude_negative = station.latitude < 0.0;
  summary.longitude_negative = station.longitude < 0.0;
  summary.clock_offset = station.clock_offset;
  summary.counters = measurement.counters;
  summary.total_observations = measurement.total_observations;
  summary.session = &session;
  return summary;
}

Status Conversion::OpenHostFiles(OutputPlan& plan) {
  Result<OutputPlan> planned = PlanOutputs(request_);
  if (!planned.Ok()) return planned.Status();
  plan = std::move(*planned);
  const std::string* finals[] = {&plan.paths.gpb, &plan.paths.epp, &plan.paths.sum, &plan.paths.sta};
  for (std::size_t i = 0; i < 4; ++i) outcome_.outputs[i] = *finals[i];
  OutputSet* set = request_.output_set;
  if (set == nullptr) {
    if (Status writable = CheckOutputsWritable(plan.paths, outcome_.failed_output); !writable.Ok()) return writable;
  } else {
    if (const auto* file = std::get_if<FileInput>(&request_.input)) set->AddInput(file->path);
    for (std::size_t i = 0; i < 4; ++i) {
      if (Status claimed = set->Claim(*finals[i]); !claimed.Ok()) {
        outcome_.failed_output = static_cast<int>(i);
        return claimed;
      }
    }
  }
  Status opened = host_files_->Open(plan.paths, outcome_.failed_output, set);
  if (!opened.Ok()) host_files_->Abandon();
  return opened;
}

ConversionOutcome Conversion::Run() {
  if (!OpenInput()) {
    return Fail(PathMessage("Error: File ", InputName(request_.input), " not found"));
  }

  OutputPlan plan;
  std::unique_ptr<HostFileSink> host_files;
  if (request_.host_files) {
    host_files.reset(new (std::nothrow) HostFileSink);
    if (!host_files) return Fail("Error: Not enough memory in header");
    host_files_ = host_files.get();
    if (const Status opened = OpenHostFiles(plan); !opened.Ok()) {
      host_files_ = nullptr;
      outcome_.reason = opened.Reason();
      return Fail(opened.Message());
    }
    sinks_.push_back(host_files_);
  } else {
    plan.day_name = request_.host_name.empty() ? InputName(request_.input) : request_.host_name;
  }
  for (ConversionSink* sink : request_.sinks)
    if (sink != nullptr) sinks_.push_back(sink);

  ByteSource& input = *input_;
  std::int64_t length = input.Length();
  if (length < 0) length = 0;

  RecordInput record_input(input);
  DecodeContext context{record_input, state_, *this};
  state_.station.motion_mode = request_.kinematic ? kKinematicMode : kStaticMode;
  RecordLoop loop{input, context, reader_, request_.observer, length};

  while (!AbortRequested()) {
    if (ReadNextRecord(loop) == PassResult::kEndOfInput) break;
    if (const Status* failure = SinkFailure(); failure != nullptr) return Fail(failure->Message());
  }
  outcome_.stopped = AbortRequested();
  if (input.ReadFailed()) {
    if (input.CutWhileRead()) outcome_.reason = "the file was cut short while it was read";
    return Fail(PathMessage("Error: Unable to read ", plan.day_name));
  }
  // A skip that reached past the end: the last record was cut.
  if (length > 0 && input.Position() > length) outcome_.damage.cut_record = true;

  ReportEndOfRunStationLines(context);
  if (request_.observer != nullptr) request_.observer->OnProgress(length, length);
  const SessionInfo session = CurrentSession(state_.station);
  const RunSummary summary = Summary(session, plan.day_name);
  for (ConversionSink* sink : sinks_) sink->OnEnd(summary);

  for (std::size_t i = 0; i < sinks_.size(); ++i) {
    const Status finished = sinks_[i]->Finish();
    if (!finished.Ok()) {
      if (outcome_.reason.empty()) outcome_.reason = finished.Reason();
      // Each sink is finished once: those before it already were.
      for (std::size_t later = i + 1; later < sinks_.size(); ++later) (void)sinks_[later]->Finish();
      outcome_.result = ConversionResult::kFailed;
      outcome_.failure = finished.Message();
      input_.reset();
      return Finish();
    }
  }
  input_.reset();
  return Finish();
}

}  // namespace

ConversionOutcome Convert(const ConversionRequest& request) {
  try {
    std::unique_ptr<Conversion> conversion(new Conversion(request));
    return conversion->Run();
  } catch (...) {
    ConversionOutcome outcome;
    outcome.result = ConversionResult::kFailed;
    outcome.failure = "Error: Internal failure during the conversion";
    return outcome;
  }
}

}  // namespace morvelin
