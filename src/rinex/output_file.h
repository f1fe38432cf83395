// A RINEX output file: a large buffer of its own in front of an output
// target (a temporary of the run's output set, on disk or in memory), every
// write checked, and lines of the header patched in place at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/buffered_writer.h"
#include "morvelin/output_set.h"

namespace morvelin::rinex {

class OutputFile {
 public:
  // Large blocks for a file on disk; a string in memory takes small ones
  // as well, without the cost of a large buffer per file.
  static constexpr std::size_t kFileBuffer = 1u << 20;
  static constexpr std::size_t kMemoryBuffer = 1u << 14;

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Opens a temporary of set (made by set.Temporary), in text mode: lines
  // end as the platform's text files do. False with Failure() set. shown:
  // the name the texts give it (path itself when empty).
  // gzip: the file is written gzip-compressed (what it gives back is what
  // was written).
  bool Open(OutputSet& set, const std::string& path, const std::string& shown = std::string(), bool gzip = false);
  bool IsOpen() const { return target_ != nullptr; }
  const std::string& Path() const { return path_; }

  void Write(std::string_view text) {
    if (!writer_.Write(text.data(), text.size())) Fail("write to", writer_.Error());
  }
  // The position of the next byte written (puts out the buffer), -1
  // after a failure. A position to Patch later.
  std::int64_t Position();
  // Overwrites text at a position taken with Position() (same length as
  // what was written there).
  bool Patch(std::int64_t position, std::string_view text);
  // The bytes written so far are the only ones Patch may still overwrite
  // (a compressed file compresses what follows as it comes).
  void EndRewritablePart();
  // Puts everything out and closes the file. False with Failure() set.
  bool Close();
  // Closes and removes the file, as after a failed run (it is a temporary
  // of the run's own set).
  void Discard();

  bool Failed() const { return !failure_.Ok(); }
  // The first failure: its text and the system's reason ("No space left
  // on device"), when known.
  const Status& Failure() const { return failure_; }

 private:
  bool Flush();
  void Fail(const char* what);
  void Fail(const char* what, int error);

  std::unique_ptr<OutputTarget> target_;
  OutputSet* set_ = nullptr;
  // On disk, full blocks are written by a thread of the writer's own, so
  // that the formatting goes on while the system copies the text.
  BufferedWriter writer_;
  std::string path_;   // the file written
  std::string shown_;  // its name in the texts
  Status failure_;
};

}  // namespace morvelin::rinex
