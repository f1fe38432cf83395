#include "framing/byte_source.h"

#include <algorithm>

namespace morvelin {

bool ByteSource::Refill() {
  window_start_ += static_cast<std::int64_t>(end_);
  next_ = end_ = 0;
  return !read_failed_ && NextWindow();
}

std::size_t ByteSource::ReadAcrossWindows(std::uint8_t* out, std::size_t count) {
  std::size_t done = 0;
  while (done < count) {
    if (next_ == end_ && !Refill()) break;
    std::size_t chunk = end_ - next_;
    if (chunk > count - done) chunk = count - done;
    std::memcpy(out + done, data_ + next_, chunk);
    next_ += chunk;
    done += chunk;
  }
  return done;
}

std::int64_t ByteSource::SkipOver(std::uint8_t value) {
  std::int64_t skipped = 0;
  for (;;) {
    if (next_ == end_ && !Refill()) return skipped;
    const void* found = std::memchr(data_ + next_, value, end_ - next_);
    if (found != nullptr) {
      const auto at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data_);
      skipped += static_cast<std::int64_t>(at - next_);
      next_ = at;
      return skipped;
    }
    skipped += static_cast<std::int64_t>(end_ - next_);
    next_ = end_;
  }
}

bool ByteSource::DropForward(std::int64_t count) {
  std::int64_t left = count - static_cast<std::int64_t>(Available());
  next_ = end_;
  while (left > 0) {
    if (!Refill()) {
      // Past the end: the position says how far the skip reached.
      window_start_ += left;
      return !read_failed_;
    }
    const auto take = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(end_)));
    next_ = take;
    left -= static_cast<std::int64_t>(take);
  }
  return true;
}

}  // namespace morvelin
