#include "base/buffered_writer.h"

#include <cerrno>
#include <new>

#include "base/file_io.h"

namespace morvelin {

namespace {
constexpr std::int64_t kReserveStep = std::int64_t{32} << 20;
}  // namespace

bool BufferedWriter::Attach(OutputTarget* target, std::size_t capacity, bool background, bool reserve) {
  Stop();
  target_ = target;
  used_ = 0;
  failed_ = false;
  error_ = 0;
  reserve_ = reserve && target != nullptr;
  written_ = reserved_ = reserve_ ? target->Position() : 0;
  if (written_ < 0) reserve_ = false;
  const std::size_t blocks = background ? 2 : 1;
  buffers_.reset(new (std::nothrow) unsigned char[capacity * blocks]);
  capacity_ = buffers_ ? capacity : 0;
  filling_ = buffers_.get();
  background_ = background && buffers_ != nullptr;
  if (background_) {
    try {
      stopping_ = false;
      writer_ = std::thread(&BufferedWriter::WriterLoop, this);
    } catch (...) {
      background_ = false;  // no thread to be had: the writes stay on this one
    }
  }
  return buffers_ != nullptr;
}

void BufferedWriter::WriterLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return pending_ != nullptr || stopping_; });
    if (pending_ == nullptr) return;
    unsigned char* block = pending_;
    const std::size_t size = pending_size_;
    lock.unlock();
    const bool ok = WriteOut(block, size);
    lock.lock();
    if (!ok) failed_ = true;
    pending_ = nullptr;
    changed_.notify_all();
  }
}

bool BufferedWriter::WaitIdle() {
  if (!background_) return !failed_;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return pending_ == nullptr; });
  return !failed_;
}

void BufferedWriter::Stop() {
  if (writer_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
      changed_.notify_all();
    }
    writer_.join();
  }
  background_ = false;
}

bool BufferedWriter::Drain() {
  const std::size_t size = used_;
  used_ = 0;
  if (size == 0) return !failed_;
  if (!background_) {
    if (!WriteOut(filling_, size)) failed_ = true;
    return !failed_;
  }
  // The writer takes this block; the other one fills meanwhile.
  if (!WaitIdle()) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = filling_;
    pending_size_ = size;
    changed_.notify_all();
  }
  filling_ = filling_ == buffers_.get() ? buffers_.get() + capacity_ : buffers_.get();
  return true;
}

bool BufferedWriter::WriteThrough(const void* data, std::size_t size) {
  if (!Drain()) return false;
  if (size <= capacity_) {
    std::memcpy(filling_, data, size);
    used_ = size;
    return true;
  }
  if (!WaitIdle()) return false;
  if (!WriteOut(data, size)) failed_ = true;
  return !failed_;
}

bool BufferedWriter::WriteOut(const void* data, std::size_t size) {
  if (target_ == nullptr) return false;
  if (reserve_) {
    written_ += static_cast<std::int64_t>(size);
    if (written_ > reserved_) {
      if (target_->Reserve(reserved_, written_ - reserved_ + kReserveStep)) {
        reserved_ = written_ + kReserveStep;
      } else {
        // No room to reserve (or no such call): what a partial reservation
        // took is given back, and the writes go on as they come.
        target_->ReleaseReserved();
        reserve_ = false;
      }
    }
  }
  if (target_->Write(data, size)) return true;
  // Kept for the failure's text; read once the writes are waited for.
  if (error_ == 0) error_ = target_->Error() != 0 ? target_->Error() : EIO;
  return false;
}

bool BufferedWriter::Flush() {
  const bool drained = Drain();
  const bool written = WaitIdle();
  Stop();
  if (reserved_ > 0 && target_ != nullptr) target_->ReleaseReserved();
  reserve_ = false;
  reserved_ = 0;
  return drained && written && target_ != nullptr;
}

}  // namespace morvelin
