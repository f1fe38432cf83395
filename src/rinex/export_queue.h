// Hands the RINEX export's work to a thread of its own in blocks, in the
// order it came, so that formatting and writing the text run beside the
// reading of the raw data and the host's files. Without a thread (a run
// kept in memory, or none to be had) each step runs at once in the
// caller's thread. Either way the export sees the same calls in the same
// order, so the files are the same byte for byte.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "morvelin/status.h"
#include "rinex/observation_export.h"

namespace morvelin::rinex {

class ExportQueue {
 public:
  using Call = std::function<void(ObservationExport&)>;
  // Steps handed over at a time: about 1 MB of satellites at 12 an epoch.
  static constexpr std::size_t kBlockSteps = 1024;

  ExportQueue(ObservationExport& target, bool threaded);
  ExportQueue(const ExportQueue&) = delete;
  ExportQueue& operator=(const ExportQueue&) = delete;
  ~ExportQueue();

  // An epoch in two steps: room for its count satellites, filled in place
  // (each starts as a default one), then FilledEpoch queues the epoch with
  // them, its own satellites and count unused. Nothing is queued between.
  ExportSatellite* SatelliteRoom(std::size_t count);
  void FilledEpoch(const ExportEpoch& epoch);
  // Any other call on the export, in its place among the epochs.
  void Then(Call call);
  // Runs what is queued and ends the thread: the export is the caller's
  // again. The queue takes nothing after it.
  void Drain();

  // The export's first failure as last seen (when a block was handed
  // over), or the queue's own (no memory for a block on the thread).
  const Status& Failure() const;
  // Whether the export had written the observation header when last seen.
  bool HeaderWritten() const;

 private:
  struct Step {
    double time = 0.0;
    double clock_offset = 0.0;
    std::uint32_t first = 0;  // into satellites
    std::int32_t count = 0;
    bool kinematic = false;
    std::int32_t call = -1;  // into calls: not an epoch
  };
  struct Block {
    std::vector<Step> steps;
    std::vector<ExportSatellite> satellites;
    std::vector<Call> calls;
    void Clear() {
      steps.clear();
      satellites.clear();
      calls.clear();
    }
  };

  void Queued();
  void Run(Block& block);
  void HandOver();
  void Work();

  ObservationExport& export_;
  bool threaded_ = false;
  Block filling_;  // the caller's
  std::size_t room_first_ = 0;  // the satellites SatelliteRoom gave out start here

  std::mutex mutex_;
  std::condition_variable changed_;
  Block handed_;  // the thread's while busy_
  bool busy_ = false;
  bool stop_ = false;
  Status seen_failure_;   // the thread's view, taken under the mutex
  bool seen_header_ = false;
  Status failure_;        // the caller's copy of it
  bool header_written_ = false;
  std::thread thread_;
};

}  // namespace morvelin::rinex
