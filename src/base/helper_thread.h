// A second thread kept for a whole run, that does one piece of work at a
// time beside its owner: Give hands it the work, Wait returns once the
// work is done, with the failure it threw. Owner and helper share the
// work's parts through the owner's own means (an atomic count of parts
// taken, each part done by whichever thread takes it); after Wait the
// owner may read what the helper wrote. Starting a thread for each piece
// of work instead cost kernel time at every start and end.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace morvelin {

class HelperThread {
 public:
  HelperThread() = default;
  HelperThread(const HelperThread&) = delete;
  HelperThread& operator=(const HelperThread&) = delete;
  // Waits for the work given, then ends the thread.
  ~HelperThread();

  // Hands work to the thread, started the first time; false when no
  // thread can be had (the owner does the work itself). One piece of work
  // at a time: the owner waits for one before it gives the next.
  bool Give(std::function<void()> work);
  // Waits until the work given is done (at once when none is); the
  // exception it threw, if any, is handed back here.
  std::exception_ptr Wait();

 private:
  void Loop();

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> work_;
  bool busy_ = false;  // work given and not done yet
  bool stopping_ = false;
  std::exception_ptr failure_;
};

}  // namespace morvelin
