#include "formats/host_files.h"

#include <cerrno>
#include <cstring>

#include "base/message.h"
#include "base/text.h"
#include "base/text_builder.h"
#include "formats/ephemeris_file.h"
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
constexpr std::uint8_t kChannelCount = 12;
constexpr const char* kEphemerisHeader = "$EPHREC Ver6.02 MORVELIN \n";

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

HostFileSink::~HostFileSink() {
  if (gpb_ != nullptr) {
    std::string ignored;
    CloseGpb(gpb_, ignored);
  }
}

bool HostFileSink::Open(const OutputPaths& paths, std::string& failure, int& failed_output,
                        const OutputPaths* write_paths) {
  const OutputPaths& write = write_paths != nullptr ? *write_paths : paths;
  failed_output = 0;
  gpb_ = CreateGpb(write.gpb.c_str(), paths.gpb_header_name.c_str(), kReceiverTypeSse, kCreationParameter,
                   kGpbBufferSize, kChannelCount, failure, true);
  if (gpb_ == nullptr) {
    if (write_paths != nullptr) failure = CreateFailure(0, paths.gpb);
    return false;
  }
  if (!gpb_out_.Attach(gpb_->stream, kGpbWriteBlock, true, true)) {
    failure = "Error: Not enough memory in buffer";
    return false;
  }
  failed_output = 1;
  if (!epp_.Open(write.epp.c_str(), paths.epp.c_str())) {
    failure = CreateFailure(1, paths.epp);
    return false;
  }
  epp_.Write(kEphemerisHeader);
  failed_output = 2;
  if (!sum_.Open(write.sum.c_str(), paths.sum.c_str())) {
    failure = CreateFailure(2, paths.sum);
    return false;
  }
  failed_output = 3;
  if (!sta_.Open(write.sta.c_str(), paths.sta.c_str())) {
    failure = CreateFailure(3, paths.sta);
    return false;
  }
  failed_output = -1;
  return true;
}

void HostFileSink::OnEpoch(const EpochEvent& event) {
  if (gpb_ == nullptr || !failure_.empty()) return;
  if (!AppendGpbEpoch(gpb_out_, *gpb_, *event.epoch, event.observations, failure_)) gpb_failed_ = true;
}

void HostFileSink::OnEphemeris(const EphemerisEvent& event) { WriteGpsEphBlock(epp_, *event.eph); }

void HostFileSink::OnStationLine(const StationLineEvent& event) {
  FixedText<kStationLineCapacity> line;
  FormatStationLine(line, event.time, event.point_name, event.antenna_height, event.description);
  sta_.Write(line.View());
}

void HostFileSink::OnSummaryText(std::string_view text) { sum_.Write(text); }

void HostFileSink::OnEnd(const RunSummary& summary) { WriteSummaryBlock(sum_, summary); }

std::string_view HostFileSink::Failure() const {
  if (!failure_.empty()) return failure_;
  // A text file's failed write shows only as its flag: name the first.
  for (const TextFile* file : {&epp_, &sum_, &sta_}) {
    if (file->Failed()) {
      failure_ = PathMessage("Error: Unable to write to ", file->Path(), "");
      return failure_;
    }
  }
  return {};
}

std::string_view HostFileSink::Reason() const {
  int error = gpb_out_.Error();
  if (error == 0) error = gpb_error_;
  for (const TextFile* file : {&epp_, &sum_, &sta_})
    if (error == 0 && file->Failed()) error = file->Error();
  if (error == 0) return {};
  const char* text = std::strerror(error);
  return text != nullptr ? std::string_view(text) : std::string_view();
}

bool HostFileSink::Finish() {
  // Failures of the records were seen after each record; those of the
  // end-of-run lines show when the files are put out and closed.
  if (!failure_.empty()) {
    Abandon();
    return false;
  }
  errno = 0;
  if (gpb_ != nullptr && (!gpb_out_.Flush() || !FlushGpb(*gpb_, failure_))) {
    if (gpb_error_ == 0) gpb_error_ = errno;
    if (failure_.empty()) failure_ = PathMessage("Error: Unable to write to ", TextUntilNul(gpb_->header.file_name));
    Abandon();
    return false;
  }
  bool ok = true;
  if (gpb_ != nullptr) {
    errno = 0;
    ok = CloseGpb(gpb_, failure_);
    if (!ok && gpb_error_ == 0) gpb_error_ = errno;
    gpb_ = nullptr;
  }
  for (TextFile* file : {&sum_, &epp_, &sta_}) {
    if (!file->IsOpen()) continue;
    const bool failed = file->Failed();
    if (!file->Close() || failed) {
      if (ok) failure_ = PathMessage("Error: Unable to write to ", file->Path(), "");
      ok = false;
    }
  }
  return ok;
}

void HostFileSink::Abandon() {
  std::string ignored;
  if (gpb_ != nullptr) {
    gpb_out_.Flush();
    FlushGpb(*gpb_, ignored);
    CloseGpb(gpb_, ignored);
    gpb_ = nullptr;
  }
  for (TextFile* file : {&epp_, &sum_, &sta_}) file->Flush();
  for (TextFile* file : {&sum_, &epp_, &sta_}) file->Close();
}

}  // namespace morvelin
