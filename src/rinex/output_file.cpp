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
  capacity_ = set.InMemory() ? kMemoryBuffer : kFileBuffer;
  buffer_.reset(new (std::nothrow) char[capacity_]);
  if (!buffer_) {
    capacity_ = 0;
    failure_ = Status::Failed("Error: Not enough memory for " + shown_);
    return false;
  }
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
  return true;
}

void OutputFile::EndRewritablePart() {
  if (target_ == nullptr || !Flush()) return;
  target_->EndRewritablePart();
}

bool OutputFile::Flush() {
  if (target_ == nullptr || !failure_.Ok()) {
    used_ = 0;
    return false;
  }
  errno = 0;
  const bool ok = used_ == 0 || target_->Write(buffer_.get(), used_);
  used_ = 0;
  if (!ok) Fail("write to");
  return ok;
}

void OutputFile::WriteSlow(std::string_view text) {
  while (!text.empty()) {
    if (used_ == capacity_ && !Flush()) return;
    const std::size_t room = capacity_ - used_;
    const std::size_t part = text.size() < room ? text.size() : room;
    text.copy(buffer_.get() + used_, part);
    used_ += part;
    text.remove_prefix(part);
  }
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
  Flush();
  errno = 0;
  if (!target_->Close()) Fail("write to", target_->Error());
  target_.reset();
  buffer_.reset();
  capacity_ = used_ = 0;
  return failure_.Ok();
}

void OutputFile::Discard() {
  target_.reset();
  buffer_.reset();
  capacity_ = used_ = 0;
  if (set_ != nullptr && !path_.empty()) set_->Drop(path_);
}

}  // namespace morvelin::rinex
