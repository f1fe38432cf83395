// A text output file of a run (.epp, .sum, .sta): opened "w" in text mode,
// so each "\n" reaches the disk as the platform's line end. Write failures
// are remembered, so that the run can end with a failure naming the file
// instead of reporting success over a cut file.
#pragma once

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "morvelin/morvelin.h"

namespace morvelin {

class TextFile {
 public:
  TextFile() = default;
  TextFile(const TextFile&) = delete;
  TextFile& operator=(const TextFile&) = delete;
  ~TextFile() { Close(); }

  // Creates or empties the file. False when it cannot be opened. shown:
  // the name its texts give it (the file's own path when null).
  bool Open(const char* path, const char* shown = nullptr);
  bool IsOpen() const { return stream_ != nullptr; }

  void Write(std::string_view text) {
    if (stream_ != nullptr && !text.empty() && std::fwrite(text.data(), 1, text.size(), stream_) != text.size())
      MarkFailed(errno);
  }

  // Puts out what is buffered. False when this or any earlier write failed.
  bool Flush();
  // Closes the file. False when this or any earlier write failed.
  bool Close();

  bool Failed() const { return failed_; }
  // The system's error of the first failure (errno), or 0.
  int Error() const { return error_; }
  const char* Path() const { return path_; }

 private:
  std::FILE* stream_ = nullptr;
  void MarkFailed(int error) {
    if (!failed_) error_ = error != 0 ? error : EIO;
    failed_ = true;
  }

  bool failed_ = false;
  int error_ = 0;
  char path_[MORVELIN_PATH_SIZE] = {};
};

}  // namespace morvelin
