#include "rinex/export_queue.h"

#include <exception>
#include <system_error>
#include <utility>

namespace morvelin::rinex {

namespace {

const char kNoMemory[] = "Error: Not enough memory for the RINEX export";

}  // namespace

ExportQueue::ExportQueue(ObservationExport& target, bool threaded) : export_(target) {
  if (!threaded) return;
  try {
    filling_.steps.reserve(kBlockSteps);
    thread_ = std::thread([this] { Work(); });
    threaded_ = true;
  } catch (const std::exception&) {
    // No thread to be had: every step runs in the caller's thread.
  }
}

ExportQueue::~ExportQueue() {
  // Not drained: what is still queued is dropped, as the run was.
  if (!threaded_) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

ExportSatellite* ExportQueue::SatelliteRoom(std::size_t count) {
  room_first_ = filling_.satellites.size();
  filling_.satellites.resize(room_first_ + count);
  return filling_.satellites.data() + room_first_;
}

void ExportQueue::FilledEpoch(const ExportEpoch& epoch) {
  Step step;
  step.time = epoch.receiver_time;
  step.clock_offset = epoch.clock_offset;
  step.kinematic = epoch.kinematic;
  step.first = static_cast<std::uint32_t>(room_first_);
  step.count = static_cast<std::int32_t>(filling_.satellites.size() - room_first_);
  filling_.steps.push_back(step);
  Queued();
}

void ExportQueue::Then(Call call) {
  Step step;
  step.call = static_cast<std::int32_t>(filling_.calls.size());
  filling_.calls.push_back(std::move(call));
  filling_.steps.push_back(step);
  Queued();
}

void ExportQueue::Queued() {
  if (!threaded_) {
    Run(filling_);
    filling_.Clear();
  } else if (filling_.steps.size() >= kBlockSteps) {
    HandOver();
  }
}

void ExportQueue::Run(Block& block) {
  for (const Step& step : block.steps) {
    if (step.call >= 0) {
      block.calls[static_cast<std::size_t>(step.call)](export_);
      continue;
    }
    ExportEpoch epoch;
    epoch.receiver_time = step.time;
    epoch.clock_offset = step.clock_offset;
    epoch.kinematic = step.kinematic;
    epoch.satellites = block.satellites.data() + step.first;
    epoch.count = step.count;
    export_.Epoch(epoch);
  }
}

void ExportQueue::HandOver() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !busy_; });
  failure_ = seen_failure_;
  header_written_ = seen_header_;
  std::swap(filling_, handed_);
  busy_ = true;
  lock.unlock();
  changed_.notify_all();
  filling_.Clear();
}

void ExportQueue::Work() {
  bool fed = true;  // after a block failed for want of memory, the export is fed no more
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return busy_ || stop_; });
    if (!busy_) return;
    lock.unlock();
    Status failure;
    try {
      if (fed) Run(handed_);
      failure = export_.Failure();
    } catch (const std::exception&) {
      fed = false;
      failure = Status::Failed(kNoMemory);
    }
    handed_.Clear();
    lock.lock();
    if (seen_failure_.Ok()) seen_failure_ = std::move(failure);
    seen_header_ = export_.HeaderWritten();
    busy_ = false;
    changed_.notify_all();
  }
}

void ExportQueue::Drain() {
  if (!threaded_) return;
  if (!filling_.steps.empty()) HandOver();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
  threaded_ = false;
  failure_ = seen_failure_;
  header_written_ = seen_header_;
}

const Status& ExportQueue::Failure() const { return thread_.joinable() || !failure_.Ok() ? failure_ : export_.Failure(); }

bool ExportQueue::HeaderWritten() const { return thread_.joinable() ? header_written_ : export_.HeaderWritten(); }

}  // namespace morvelin::rinex
