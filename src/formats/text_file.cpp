#include "formats/text_file.h"

#include <cerrno>
#include <cstring>

namespace morvelin {

void TextFile::Open(std::unique_ptr<OutputTarget> target, const char* shown) {
  Close();
  failed_ = false;
  error_ = 0;
  std::size_t length = std::strlen(shown);
  if (length >= sizeof path_) length = sizeof path_ - 1;
  std::memcpy(path_, shown, length);
  path_[length] = '\0';
  target_ = std::move(target);
}

bool TextFile::Close() {
  if (target_ != nullptr) {
    if (!target_->Close()) failed_ = true;
    if (failed_) error_ = target_->Error() != 0 ? target_->Error() : EIO;
    target_.reset();
  }
  return !failed_;
}

}  // namespace morvelin
