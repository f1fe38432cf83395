// A raw data file opened by its path. A second thread reads it ahead into
// two blocks, so that the decoding never waits for the read of the next
// block; without a thread to be had, the blocks are read on this one.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "framing/stream_source.h"

namespace morvelin {

class FileSource final : public StreamSource {
 public:
  // Opens path for binary reading. Null when it cannot be opened (errno
  // says why) or names a directory.
  static std::unique_ptr<FileSource> Open(const char* path);
  ~FileSource() override;

  // As measured when the file was opened.
  std::int64_t Length() override { return length_; }

 private:
  explicit FileSource(std::FILE* file);

  bool NextWindow() override;
  // Read ahead, the bytes are read and dropped: the file cannot seek under
  // the reader thread.
  bool SkipPastWindow(std::int64_t count) override {
    return read_ahead_ ? DropForward(count) : StreamSource::SkipPastWindow(count);
  }
  void ReaderLoop();

  std::int64_t length_ = -1;
  bool read_ahead_ = false;  // false once no thread could be had
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t block_size_[2] = {0, 0};
  bool block_full_[2] = {false, false};
  bool reader_failed_ = false;
  bool reader_ended_ = false;  // the block that said the end was handed out
  bool stopping_ = false;
  int consuming_ = -1;  // the block the window lies in, or -1
  int next_block_ = 0;
};

}  // namespace morvelin
