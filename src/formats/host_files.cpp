#include "formats/host_files.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "base/message.h"
#include "base/text.h"
#include "base/text_builder.h"
#include "formats/ephemeris_file.h"
#include "formats/ephemeris_reader.h"
#include "formats/gpb_writer.h"
#include "formats/station_file.h"
#include "formats/summary_file.h"

namespace morvelin {

namespace {

constexpr std::uint8_t kReceiverTypeSse = 3;
constexpr float kCreationParameter = 1.0f;
// The buffer size the .gpb header records; the writes themselves go out in
// blocks of kGpbWriteBlock, which no host sees.
constexpr std::uint16_t kGpbBufferSize = 8192;
constexpr std::size_t kGpbWriteBlock = 1 << 20;
// Outputs kept in memory take small blocks, written on this thread.
constexpr std::size_t kMemoryWriteBlock = 1 << 14;
constexpr std::uint8_t kChannelCount = 12;
constexpr const char* kEphemerisHeader = "$EPHREC Ver6.02 MORVELIN \n";
static_assert(std::string_view(kEphemerisHeader).starts_with(kEphemerisFileMark));

}  // namespace

std::string CreateFailure(int index, const std::string& path) {
  switch (index) {
    case 0:
      return PathMessage("Error: Unable to open ", path, " for writing");
    case 3:
      return PathMessage("Error: File ", path, " not able to be opened");
    default:
      return PathMessage("Error: File ", path, " not found ");
  }
}

HostFileSink::~HostFileSink() { Abandon(); }

namespace {

// A file that cannot be created: the host's text and the system's reason.
Status CreateFailed(int index, const std::string& path, const std::string& reason) {
  return Status::Failed(CreateFailure(index, path), reason.empty() ? std::strerror(EACCES) : reason);
}

Result<std::unique_ptr<OutputTarget>> OpenOutput(OutputSet* set, const std::string& path, bool text) {
  if (set == nullptr) return OpenFileTarget(path, text);
  return set->Open(set->WritePath(path), text);
}

}  // namespace

Status HostFileSink::Open(const OutputPaths& paths, int& failed_output, OutputSet* set) {
  failed_output = 0;
  Result<GpbHeader> header = MakeGpbHeader(paths.gpb_header_name.c_str(), kReceiverTypeSse, kCreationParameter,
                                           kGpbBufferSize, kChannelCount);
  if (!header.Ok()) return set == nullptr ? header.Status() : CreateFailed(0, paths.gpb, header.Reason());
  gpb_header_ = *header;
  Result<std::unique_ptr<OutputTarget>> gpb = OpenOutput(set, paths.gpb, false);
  if (!gpb.Ok()) return CreateFailed(0, paths.gpb, gpb.Reason());
  gpb_ = std::move(*gpb);
  if (!gpb_->Write(&gpb_header_, sizeof gpb_header_)) {
    const int error = gpb_->Error();
    return WriteFailure(paths.gpb, error != 0 ? error : EIO);
  }
  const bool on_disk = set == nullptr || !set->InMemory();
  if (!gpb_out_.Attach(gpb_.get(), on_disk ? kGpbWriteBlock : kMemoryWriteBlock, on_disk, on_disk))
    return Status::Failed("Error: Not enough memory in buffer");
  TextFile* files[] = {&epp_, &sum_, &sta_};
  const std::string* names[] = {&paths.epp, &paths.sum, &paths.sta};
  for (int i = 0; i < 3; ++i) {
    failed_output = i + 1;
    Result<std::unique_ptr<OutputTarget>> file = OpenOutput(set, *names[i], true);
    if (!file.Ok()) return CreateFailed(i + 1, *names[i], file.Reason());
    files[i]->Open(std::move(*file), names[i]->c_str());
  }
  epp_.Write(kEphemerisHeader);
  failed_output = -1;
  return {};
}

void HostFileSink::OnEpoch(const EpochEvent& event) {
  if (gpb_ == nullptr || !failure_.Ok()) return;
  failure_ = AppendGpbEpoch(gpb_out_, gpb_header_, *event.epoch, event.observations);
  if (!failure_.Ok()) gpb_failed_ = true;
}

void HostFileSink::OnEphemeris(const EphemerisEvent& event) { WriteGpsEphBlock(epp_, *event.eph); }

void HostFileSink::OnStationLine(const StationLineEvent& event) {
  FixedText<kStationLineCapacity> line;
  FormatStationLine(line, event.time, event.point_name, event.antenna_height, event.description);
  sta_.Write(line.View());
}

void HostFileSink::OnSummaryText(std::string_view text) { sum_.Write(text); }

void HostFileSink::OnEnd(const RunSummary& summary) { WriteSummaryBlock(sum_, summary); }

const Status& HostFileSink::Failure() const {
  if (!failure_.Ok()) return failure_;
  // A text file's failed write shows only as its flag: name the first.
  for (const TextFile* file : {&epp_, &sum_, &sta_}) {
    if (file->Failed()) {
      failure_ = WriteFailure(file->Path(), file->Error());
      break;
    }
  }
  return failure_;
}

Status HostFileSink::CloseMeasurementFile() {
  if (gpb_ == nullptr) return {};
  // The buffered epochs go to the file, then the file is closed.
  const bool flushed = gpb_out_.Flush();
  int error = gpb_out_.Error();
  const bool closed = gpb_->Close();
  if (error == 0) error = gpb_->Error();
  gpb_.reset();
  if (flushed && closed) return {};
  return WriteFailure(TextUntilNul(gpb_header_.file_name), error);
}

Status HostFileSink::Finish() {
  // Failures of the records were seen after each record; those of the
  // end-of-run lines show when the files are put out and closed.
  if (!failure_.Ok()) {
    Abandon();
    return failure_;
  }
  failure_ = CloseMeasurementFile();
  if (!failure_.Ok()) {
    Abandon();
    return failure_;
  }
  for (TextFile* file : {&sum_, &epp_, &sta_}) {
    if (!file->IsOpen()) continue;
    const bool failed = file->Failed();
    if ((!file->Close() || failed) && failure_.Ok()) failure_ = WriteFailure(file->Path(), file->Error());
  }
  return failure_;
}

void HostFileSink::Abandon() {
  (void)CloseMeasurementFile();
  for (TextFile* file : {&sum_, &epp_, &sta_}) file->Close();
}

}  // namespace morvelin
