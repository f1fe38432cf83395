#include "base/helper_thread.h"

#include <system_error>
#include <utility>

namespace morvelin {

bool HelperThread::Give(std::function<void()> work) {
  if (!thread_.joinable()) {
    try {
      thread_ = std::thread([this] { Loop(); });
    } catch (const std::system_error&) {
      return false;
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work_ = std::move(work);
    busy_ = true;
  }
  changed_.notify_all();
  return true;
}

std::exception_ptr HelperThread::Wait() {
  if (!thread_.joinable()) return nullptr;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  return std::exchange(failure_, nullptr);
}

void HelperThread::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || stopping_; });
    if (!busy_) return;
    std::function<void()> work = std::move(work_);
    lock.unlock();
    std::exception_ptr failure;
    try {
      work();
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    failure_ = failure;
    busy_ = false;
    changed_.notify_all();
  }
}

HelperThread::~HelperThread() {
  if (!thread_.joinable()) return;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

}  // namespace morvelin
