#include "framing/stream_source.h"

#include <new>

#include "base/file_io.h"

namespace morvelin {

StreamSource::StreamSource(std::FILE* stream, std::size_t block_count)
    : stream_(stream), buffer_(new (std::nothrow) std::uint8_t[block_count * kBlockSize]) {
  if (!buffer_) Fail();
}

std::int64_t StreamSource::Length() {
  const std::int64_t here = Tell(stream_);
  if (here < 0 || SeekEnd(stream_) != 0) return -1;
  const std::int64_t length = Tell(stream_);
  if (SeekAbsolute(stream_, here) != 0) Fail();
  return length;
}

bool StreamSource::NextWindow() {
  const std::size_t got = std::fread(Block(0), 1, kBlockSize, stream_);
  if (got == 0) {
    if (std::ferror(stream_) != 0) Fail();
    return false;
  }
  SetWindow(Block(0), got);
  return true;
}

bool StreamSource::SkipPastWindow(std::int64_t count) {
  const std::int64_t target = Position() + count;
  if (SeekAbsolute(stream_, target) != 0) return DropForward(count);
  MoveTo(target);
  return true;
}

}  // namespace morvelin
