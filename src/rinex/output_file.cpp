#include "rinex/output_file.h"

#include <cerrno>
#include <cstring>
#include <new>

#include "base/output_target.h"

namespace morvelin::rinex {

OutputFile::~OutputFile() = default;

void OutputFile::Fail(const char* what) {
  Fail(what, target_ != nullptr && target_->Error() != 0 ? target_->Error() : errno);
}

void OutputFile::Fail(const char* what, int error) {
  if (!failure_.Ok()) return;
  std::string text = std::string("Error: Unable to ") + what + ' ' + shown_;
  std::string reason = error != 0 ? std::strerror(error) : "";
  if (error != 0) text += " (" + reason + ")";
  failure_ = Status::Failed(std::move(text), std::move(reason));
}

bool OutputFile::Open(OutputSet& set, const std::string& path, const std::string& shown, bool gzip) {
  path_ = path;
  shown_ = shown.empty() ? path : shown;
  set_ = &set;
  Result<std::unique_ptr<OutputTarget>> opened = set.Open(path, !gzip);
  if (!opened.Ok()) {
    failure_ = Status::Failed("Error: Unable to create " + shown_ + " (" + opened.Reason() + ")", opened.Reason());
    return false;
  }
  target_ = std::move(*opened);
  if (gzip) {
    target_ = OpenGzipTarget(std::move(target_), true);
    if (target_ == nullptr) {
      failure_ = Status::Failed("Error: Unable to create " + shown_ + " (this build writes no gzip files)");
      return false;
    }
  }
  const bool on_disk = !set.InMemory();
  // On disk, space is reserved ahead in large steps, as for the measurement file.
  if (!writer_.Attach(target_.get(), on_disk ? kFileBuffer : kMemoryBuffer, on_disk, on_disk)) {
    failure_ = Status::Failed("Error: Not enough memory for " + shown_);
    return false;
  }
  return true;
}

void OutputFile::EndRewritablePart() {
  if (target_ == nullptr || !Flush()) return;
  target_->EndRewritablePart();
}

bool OutputFile::Flush() {
  if (target_ == nullptr || !failure_.Ok()) return false;
  if (writer_.Sync()) return true;
  Fail("write to", writer_.Error());
  return false;
}

std::int64_t OutputFile::Position() {
  if (!Flush() && !failure_.Ok()) return -1;
  const std::int64_t position = target_->Position();
  if (position < 0) Fail("find the position in");
  return position;
}

bool OutputFile::Patch(std::int64_t position, std::string_view text) {
  if (!Flush() && !failure_.Ok()) return false;
  errno = 0;
  if (!target_->WriteAt(position, text.data(), text.size())) {
    Fail("write to");
    return false;
  }
  return true;
}

bool OutputFile::Close() {
  if (target_ == nullptr) return failure_.Ok();
  if (!writer_.Flush() && failure_.Ok()) Fail("write to", writer_.Error());
  writer_.Attach(nullptr, 0);
  errno = 0;
  if (!target_->Close()) Fail("write to", target_->Error());
  target_.reset();
  return failure_.Ok();
}

void OutputFile::Discard() {
  // The writer lets go of the target first (what it holds is dropped with the file).
  writer_.Attach(nullptr, 0);
  target_.reset();
  if (set_ != nullptr && !path_.empty()) set_->Drop(path_);
}

}  // namespace morvelin::rinex
