#include "framing/file_source.h"

#include <cerrno>
#include <new>

#include "base/file_io.h"

namespace morvelin {

std::unique_ptr<FileSource> FileSource::Open(const char* path) {
  if (IsDirectory(path)) return nullptr;
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return nullptr;
  std::unique_ptr<FileSource> source(new (std::nothrow) FileSource(file));
  if (source == nullptr || !source->HasBuffer()) {
    if (source == nullptr) std::fclose(file);
    source.reset();
    errno = ENOMEM;
    return nullptr;
  }
  // The stream is read in blocks into the source's buffer; a second buffer
  // below it would only copy the bytes twice.
  std::setvbuf(file, nullptr, _IONBF, 0);
  source->length_ = source->StreamSource::Length();
  // The reader thread starts with the first read.
  source->read_ahead_ = !source->ReadFailed();
  return source;
}

FileSource::FileSource(std::FILE* file) : StreamSource(file, 2) {}

FileSource::~FileSource() {
  if (reader_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      changed_.notify_all();
    }
    reader_.join();
  }
  std::fclose(Stream());
}

void FileSource::ReaderLoop() {
  std::size_t block = 0;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || !block_full_[block]; });
      if (stopping_) return;
    }
    const std::size_t got = std::fread(Block(block), 1, kBlockSize, Stream());
    const bool failed = got == 0 && std::ferror(Stream()) != 0;
    std::lock_guard<std::mutex> lock(mutex_);
    block_size_[block] = got;
    block_full_[block] = true;
    reader_failed_ = failed;
    changed_.notify_all();
    if (got == 0) return;  // the end of the file (or a read error): nothing more to read
    block ^= 1;
  }
}

bool FileSource::NextWindow() {
  if (!read_ahead_) return StreamSource::NextWindow();
  if (reader_ended_) return false;
  if (!reader_.joinable()) {
    try {
      reader_ = std::thread(&FileSource::ReaderLoop, this);
    } catch (...) {
      read_ahead_ = false;  // no thread to be had: read on this one
      return StreamSource::NextWindow();
    }
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (consuming_ >= 0) {
    // The block just used goes back to the reader.
    block_full_[consuming_] = false;
    changed_.notify_all();
  }
  const int block = next_block_;
  changed_.wait(lock, [&] { return block_full_[block]; });
  consuming_ = block;
  next_block_ = block ^ 1;
  if (block_size_[block] == 0) {
    reader_ended_ = true;
    if (reader_failed_) Fail();
    return false;
  }
  SetWindow(Block(static_cast<std::size_t>(block)), block_size_[block]);
  return true;
}

}  // namespace morvelin
