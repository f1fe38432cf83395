// The raw data as the record reader sees it: a forward byte stream read
// through a window of bytes (a block read into a buffer, a piece of a
// mapping, or memory itself), 64-bit positions, forward skips, and end of
// input told apart from a read error.
//
// Each kind of input is a subclass that says how the next window is had
// (MemorySource, StreamSource, FileSource, and a mapped file through
// OpenMappedFile). Everything read within a window is inline and not
// virtual; only moving to the next window is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace morvelin {

class ByteSource {
 public:
  ByteSource() = default;
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;
  virtual ~ByteSource() = default;

  // Total length in bytes, or -1 when it cannot be measured.
  virtual std::int64_t Length() = 0;

  // Bytes of the current window not read yet (more may follow it).
  std::size_t Available() const { return end_ - next_; }

  // The next byte, or -1 at the end of the input or on a read error.
  int ReadByte() {
    if (next_ < end_) return data_[next_++];
    return Refill() ? data_[next_++] : -1;
  }

  // Reads up to count bytes into out; returns how many arrived.
  std::size_t Read(std::uint8_t* out, std::size_t count) {
    if (count <= Available()) {
      std::memcpy(out, data_ + next_, count);
      next_ += count;
      return count;
    }
    return ReadAcrossWindows(out, count);
  }

  // The next count bytes (at most kScratchSize) in one piece: straight from
  // the window when they lie in it, else gathered into a scratch area.
  // Null when the input ends first (the bytes that were there are consumed).
  static constexpr std::size_t kScratchSize = 256;
  const std::uint8_t* Take(std::size_t count) {
    if (count <= Available()) {
      const std::uint8_t* bytes = data_ + next_;
      next_ += count;
      return bytes;
    }
    if (count > kScratchSize) return nullptr;
    return ReadAcrossWindows(scratch_, count) == count ? scratch_ : nullptr;
  }

  // The next count bytes if the window holds them already, else null; none
  // is consumed. Consume(count) then moves past at most that many.
  const std::uint8_t* Peek(std::size_t count) const { return count <= Available() ? data_ + next_ : nullptr; }
  void Consume(std::size_t count) { next_ += count <= Available() ? count : Available(); }

  // Moves forward to the next byte equal to value (not consumed), or to the
  // end of the input; returns how many bytes were passed over.
  std::int64_t SkipUntil(std::uint8_t value) {
    if (next_ < end_ && data_[next_] == value) return 0;  // the usual case: right there
    return SkipOver(value);
  }

  // Moves forward by count bytes (count >= 0) without reading them.
  // Moving past the end is allowed: the next read finds the end.
  bool Skip(std::int64_t count) {
    if (count <= 0) return true;
    if (count <= static_cast<std::int64_t>(Available())) {
      next_ += static_cast<std::size_t>(count);
      return true;
    }
    return SkipPastWindow(count);
  }

  // Byte offset of the next byte to be read.
  std::int64_t Position() const { return window_start_ + static_cast<std::int64_t>(next_); }

  bool ReadFailed() const { return read_failed_; }
  // The file became shorter while it was read: some of its bytes were read
  // as zeros (ReadFailed is true too).
  virtual bool CutWhileRead() const { return false; }

 protected:
  // Makes the window start at WindowStart(): SetWindow with its bytes and
  // true, or false at the end of the input (after Fail on a read error).
  virtual bool NextWindow() = 0;
  // Skip beyond the current window (count is more than Available()). This
  // reads and drops the bytes; a source that can move there cheaply says so.
  virtual bool SkipPastWindow(std::int64_t count) { return DropForward(count); }

  std::int64_t WindowStart() const { return window_start_; }
  void SetWindow(const std::uint8_t* data, std::size_t size) {
    data_ = data;
    next_ = 0;
    end_ = size;
  }
  // The next window starts at target, a position ahead.
  void MoveTo(std::int64_t target) {
    window_start_ = target;
    next_ = end_ = 0;
  }
  void Fail() { read_failed_ = true; }
  bool DropForward(std::int64_t count);

 private:
  bool Refill();
  std::size_t ReadAcrossWindows(std::uint8_t* out, std::size_t count);
  std::int64_t SkipOver(std::uint8_t value);

  const std::uint8_t* data_ = nullptr;  // the current window
  std::size_t next_ = 0;                // index of the next byte in data_
  std::size_t end_ = 0;                 // bytes valid in data_
  std::int64_t window_start_ = 0;       // input offset of data_[0]
  bool read_failed_ = false;
  std::uint8_t scratch_[kScratchSize];
};

}  // namespace morvelin
