// A RINEX output file: a large buffer of its own in front of a C stream,
// every write checked, and lines of the header patched in place at the end.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace morvelin::rinex {

class OutputFile {
 public:
  static constexpr std::size_t kBufferSize = 1u << 20;

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Creates (or empties) the file, in text mode: lines end as the
  // platform's text files do. False with Failure() set. shown: the name
  // the texts give it (path itself when empty).
  bool Open(const std::string& path, const std::string& shown = std::string());
  bool IsOpen() const { return stream_ != nullptr; }
  const std::string& Path() const { return path_; }

  void Write(std::string_view text) {
    if (text.size() <= kBufferSize - used_) {
      text.copy(buffer_.get() + used_, text.size());
      used_ += text.size();
      return;
    }
    WriteSlow(text);
  }
  // The stream position of the next byte written (puts out the buffer), -1
  // after a failure. A position to Patch later.
  std::int64_t Position();
  // Overwrites text at a position taken with Position() (same length as
  // what was written there).
  bool Patch(std::int64_t position, std::string_view text);
  // Puts everything out and closes the file. False with Failure() set.
  bool Close();
  // Closes and removes the file, as after a failed run (it is a temporary
  // of the run's own).
  void Discard();

  bool Failed() const { return !failure_.empty(); }
  const std::string& Failure() const { return failure_; }
  // The system's reason of the failure ("No space left on device"), or empty.
  const std::string& Reason() const { return reason_; }

 private:
  void WriteSlow(std::string_view text);
  bool Flush();
  void Fail(const char* what);

  std::FILE* stream_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  std::string path_;   // the file written
  std::string shown_;  // its name in the texts
  std::string failure_;
  std::string reason_;
};

}  // namespace morvelin::rinex
