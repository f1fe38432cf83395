// The raw data file as the record reader sees it: a forward byte stream
// read in large blocks into a buffer of its own (or straight from memory),
// 64-bit positions, relative forward skips, and end of input told apart
// from a read error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <span>

namespace morvelin {

class InputStream {
 public:
  // Large blocks keep the system calls few; the host never sees this size.
  static constexpr std::size_t kBufferSize = 1 << 20;

  InputStream() = default;
  InputStream(const InputStream&) = delete;
  InputStream& operator=(const InputStream&) = delete;
  ~InputStream() { Close(); }

  // Opens path for binary reading. False when it cannot be opened or names
  // a directory.
  bool Open(const char* path);
  // As Open, but a regular file is read through a window of a memory
  // mapping that slides along it: no copy of the bytes, nothing to wait for.
  // Only for a caller whose SIGBUS handler calls RecoverMappedInputFault (a
  // file cut short by another program while it is read). Other files, and
  // Windows, are read as Open reads them.
  bool OpenMapped(const char* path);
  // Reads from a stream the caller opened (binary) and keeps open.
  void Attach(std::FILE* stream);
  // Reads the bytes of a buffer the caller keeps alive while they are read.
  void AttachMemory(std::span<const std::uint8_t> bytes);
  void Close();
  bool IsOpen() const { return file_ != nullptr || in_memory_ || mapped_; }

  // Total length in bytes, or -1 when it cannot be measured.
  std::int64_t Length();

  // The next byte, or -1 at the end of the input or on a read error.
  int ReadByte() {
    if (next_ < end_) return data_[next_++];
    return Refill() ? data_[next_++] : -1;
  }

  // Reads up to count bytes into out; returns how many arrived.
  std::size_t Read(std::uint8_t* out, std::size_t count) {
    if (count <= end_ - next_) {
      std::memcpy(out, data_ + next_, count);
      next_ += count;
      return count;
    }
    return ReadAcrossBlocks(out, count);
  }

  // The next count bytes (at most kScratchSize) in one piece: straight from
  // the buffer when they lie in it, else gathered into a scratch area.
  // Null when the input ends first (the bytes that were there are consumed).
  static constexpr std::size_t kScratchSize = 256;
  const std::uint8_t* Take(std::size_t count) {
    if (count <= end_ - next_) {
      const std::uint8_t* bytes = data_ + next_;
      next_ += count;
      return bytes;
    }
    if (count > kScratchSize) return nullptr;
    return ReadAcrossBlocks(scratch_, count) == count ? scratch_ : nullptr;
  }

  // The next count bytes if the buffer holds them already, else null; none
  // is consumed. Consume(count) then moves past at most that many.
  const std::uint8_t* Peek(std::size_t count) const { return count <= end_ - next_ ? data_ + next_ : nullptr; }
  void Consume(std::size_t count) { next_ += count <= end_ - next_ ? count : end_ - next_; }

  // Moves forward to the next byte equal to value (not consumed), or to the
  // end of the input; returns how many bytes were passed over.
  std::int64_t SkipUntil(std::uint8_t value) {
    if (next_ < end_ && data_[next_] == value) return 0;  // the usual case: right there
    return SkipOver(value);
  }

  // Moves forward by count bytes (count >= 0) without reading them.
  // Moving past the end is allowed: the next read finds the end.
  bool Skip(std::int64_t count);

  // Byte offset of the next byte to be read.
  std::int64_t Position() const { return buffer_start_ + static_cast<std::int64_t>(next_); }

  bool ReadFailed() const { return read_failed_; }
  // A mapped file became shorter while it was read: some of its bytes were
  // read as zeros (ReadFailed is true too).
  bool CutWhileRead() const { return cut_while_read_; }

 private:
  bool Refill();
  std::int64_t SkipOver(std::uint8_t value);
  bool MapWindow();
  void UnmapWindow();
  void CloseMapping();
  void PageIn(void* left_behind, std::size_t left_size, std::size_t from);
  void WaitForPager();
  void PagerLoop();
  void StopPager();
  bool RefillFromReader();
  std::size_t ReadAcrossBlocks(std::uint8_t* out, std::size_t count);
  bool AllocateBuffer();
  bool DropForward(std::int64_t count);
  void ReaderLoop();
  void StopReader();

  std::FILE* file_ = nullptr;
  bool owned_ = false;
  bool in_memory_ = false;
  std::span<const std::uint8_t> memory_;
  std::unique_ptr<std::uint8_t[]> buffer_;  // kBufferSize bytes (two blocks with the reader thread)
  std::int64_t length_ = -1;                // of a file opened by path, measured before any read

  // A file opened by path is read ahead by a second thread into two blocks,
  // so that the decoding never waits for the read of the next block.
  bool read_ahead_ = false;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t block_size_[2] = {0, 0};
  bool block_full_[2] = {false, false};
  bool reader_failed_ = false;
  bool reader_ended_ = false;  // the block that said the end was handed out
  bool stopping_ = false;
  int consuming_ = -1;  // the block data_ points into, or -1
  int next_block_ = 0;
  const std::uint8_t* data_ = nullptr;      // the current block: in buffer_ or in memory_
  std::size_t next_ = 0;  // index of the next byte in data_
  std::size_t end_ = 0;   // bytes valid in data_
  std::int64_t buffer_start_ = 0;  // input offset of data_[0]
  std::uint8_t scratch_[kScratchSize];
  bool read_failed_ = false;

  // A file read through a mapping: its descriptor, the window mapped now
  // and the slot that lets the bus-error handler find it.
  bool mapped_ = false;
  int descriptor_ = -1;
  void* window_ = nullptr;
  std::size_t window_size_ = 0;
  int window_slot_ = -1;
  bool cut_while_read_ = false;

  // A mapped file longer than one window has a page-in thread: while this
  // thread decodes the start of a window, that one reads a byte of each page
  // of the rest of it, then unmaps the window left behind, so that the
  // decoding neither takes the page faults nor waits for the unmapping.
  // One request at a time, under mutex_.
  std::thread pager_;
  bool pager_tried_ = false;  // a thread was asked for (it may have been refused)
  bool pager_stopping_ = false;
  const std::uint8_t* page_in_window_ = nullptr;  // the window of the request; null: none
  std::size_t page_in_from_ = 0;  // offsets in it of the pages asked for
  std::size_t page_in_to_ = 0;
  void* left_behind_ = nullptr;   // the window to unmap then, or null
  std::size_t left_size_ = 0;
};

}  // namespace morvelin
