// A text output file of a run (.epp, .sum, .sta) over an output target
// opened in text mode, so each "\n" reaches a disk file as the platform's
// line end. Write failures are remembered, so that the run can end with a
// failure naming the file instead of reporting success over a cut file.
#pragma once

#include <memory>
#include <string_view>

#include "morvelin/morvelin.h"
#include "morvelin/output_set.h"

namespace morvelin {

class TextFile {
 public:
  TextFile() = default;
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;
  ~TextFile() { Close(); }

  // Writes to target from now on. shown: the name its texts give it.
  void Open(std::unique_ptr<OutputTarget> target, const char* shown);
  bool IsOpen() const { return target_ != nullptr; }

  void Write(std::string_view text) {
    if (target_ != nullptr && !text.empty() && !target_->Write(text.data(), text.size())) failed_ = true;
  }

  // Closes the file (putting out what is buffered). False when this or any
  // earlier write failed.
  bool Close();

  bool Failed() const { return failed_; }
  // The system's error of the first failure (errno), or 0.
  int Error() const { return target_ != nullptr && target_->Error() != 0 ? target_->Error() : error_; }
  const char* Path() const { return path_; }

 private:
  std::unique_ptr<OutputTarget> target_;
  bool failed_ = false;
  int error_ = 0;
  char path_[MORVELIN_PATH_SIZE] = {};
};

}  // namespace morvelin
