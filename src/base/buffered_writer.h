// A write buffer of its own in front of an output target: appends are a
// memcpy, and the target gets the bytes in large blocks. With a background writer,
// a full block is handed to a second thread that writes it while the next
// block fills, so the decoding never waits for the disk. The caller checks
// the result of each write and of Flush: a failure shows at the first call
// after the block that failed.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "morvelin/output_set.h"

namespace morvelin {

class BufferedWriter {
 public:
  BufferedWriter() = default;
  BufferedWriter(const BufferedWriter&) = delete;
  BufferedWriter& operator=(const BufferedWriter&) = delete;
  ~BufferedWriter() { Stop(); }

  // Writes to target (not owned) in blocks of capacity bytes; background:
  // by a second thread. reserve: disk space is reserved ahead of the writes
  // in large steps (a long file written fast: its blocks are then allocated
  // a few times per run instead of once per page), and what is left over is
  // given back by Flush. False when the buffers cannot be had.
  bool Attach(OutputTarget* target, std::size_t capacity, bool background = false, bool reserve = false);

  bool Write(const void* data, std::size_t size) {
    if (size <= capacity_ - used_) {
      std::memcpy(filling_ + used_, data, size);
      used_ += size;
      return true;
    }
    return WriteThrough(data, size);
  }

  // Room for size bytes (at most the capacity) at the end of the buffer, to
  // be filled by the caller; null when the block before could not be written.
  unsigned char* Append(std::size_t size) {
    if (size > capacity_ - used_ && (!Drain() || size > capacity_)) return nullptr;
    unsigned char* room = filling_ + used_;
    used_ += size;
    return room;
  }

  // Hands everything buffered to the target and waits until it is
  // written. The background writer stops.
  bool Flush();
  // Hands everything buffered to the target and waits until it is
  // written; the background writer stays for what follows. The target may
  // then be used directly until the next write.
  bool Sync() {
    const bool drained = Drain();
    return WaitIdle() && drained;
  }

  // The system's error of the first write that failed (errno), or 0.
  int Error() const { return error_; }

 private:
  bool WriteThrough(const void* data, std::size_t size);
  // Writes size bytes at data to the target, reserving space ahead first.
  bool WriteOut(const void* data, std::size_t size);
  // Sends the filled block on (to the target, or to the writer thread).
  bool Drain();
  // Waits until the writer thread has written its block; false when a block failed.
  bool WaitIdle();
  void Stop();
  void WriterLoop();

  OutputTarget* target_ = nullptr;
  std::unique_ptr<unsigned char[]> buffers_;  // one block, or two with a background writer
  unsigned char* filling_ = nullptr;          // the block being filled
  std::size_t capacity_ = 0;
  std::size_t used_ = 0;

  bool background_ = false;
  std::thread writer_;
  std::mutex mutex_;
  std::condition_variable changed_;
  unsigned char* pending_ = nullptr;  // the block the writer thread writes
  std::size_t pending_size_ = 0;
  bool stopping_ = false;
  bool failed_ = false;
  int error_ = 0;

  // Space reserved ahead (touched by the thread that writes).
  bool reserve_ = false;
  std::int64_t written_ = 0;   // the target's length after the writes so far
  std::int64_t reserved_ = 0;  // reserved up to here
};

}  // namespace morvelin
