// A text output file of a run (.epp, .sum, .sta): opened "w" in text mode,
// so each "\n" reaches the disk as the platform's line end. Write failures
// are remembered, so that the run can end with a failure naming the file
// instead of reporting success over a cut file.
#pragma once

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

  // Creates or empties the file. False when it cannot be opened.
  bool Open(const char* path);
  bool IsOpen() const { return stream_ != nullptr; }

  void Write(std::string_view text) {
    if (stream_ != nullptr && !text.empty() &&
        std::fwrite(text.data(), 1, text.size(), stream_) != text.size())
      failed_ = true;
  }

  // Puts out what is buffered. False when this or any earlier write failed.
  bool Flush();
  // Closes the file. False when this or any earlier write failed.
  bool Close();

  bool Failed() const { return failed_; }
  const char* Path() const { return path_; }

 private:
  std::FILE* stream_ = nullptr;
  bool failed_ = false;
  char path_[MORVELIN_PATH_SIZE] = {};
};

}  // namespace morvelin
