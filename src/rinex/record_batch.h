// Epochs of an observation file whose records are laid out but whose text
// is not made yet. Formatting the text is the export's largest cost, and
// the records are plain values: a batch is formatted in two halves, the
// second on a helper thread when there is one to be had (started with the
// first batch and kept for the next ones), and the two texts are handed
// out in order, so the file is the same byte for byte.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "rinex/observation_format.h"

namespace morvelin::rinex {

class RecordBatch {
 public:
  static constexpr std::size_t kEpochs = 512;  // epochs a batch holds
  static constexpr int kEpochRecords = 64;     // records an epoch holds, at most

  // threaded: whether a second thread may format; without, all is formatted here.
  explicit RecordBatch(bool threaded) : threaded_(threaded) {}
  RecordBatch(const RecordBatch&) = delete;
  RecordBatch& operator=(const RecordBatch&) = delete;
  ~RecordBatch();

  // Room for an epoch's records, at most kEpochRecords, each holding no
  // value: filled in place, then Commit takes the epoch with the first
  // line.count of them (the rest are dropped).
  SatelliteRecord* Reserve(int count);
  void Commit(const EpochLine& line);
  bool Full() const { return epochs_.size() >= kEpochs; }
  bool Empty() const { return epochs_.empty(); }
  // The text of every epoch held, in two pieces to be written in order;
  // valid until the next call. The batch is empty after it.
  std::array<std::string_view, 2> Format(RinexVersion version, const ObservationLayout& layout);
  void Clear();

 private:
  struct Epoch {
    EpochLine line;
    std::array<std::uint8_t, kEpochRecords> prns{};
    std::size_t first_record = 0;
  };
  // Text made in place: grown by copying what is there, never zeroed.
  class Text {
   public:
    void Clear() { size_ = 0; }
    char* Room(std::size_t size);  // size bytes free at the end
    void Grow(std::size_t size) { size_ += size; }
    std::string_view View() const { return {data_.get(), size_}; }

   private:
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0, capacity_ = 0;
  };
  void FormatRange(std::size_t from, std::size_t to, RinexVersion version, const ObservationLayout& layout,
                   Text& out) const;
  // The second half: handed to the helper (false: no thread to be had),
  // then waited for; its failure for want of memory is thrown here.
  bool StartSecondHalf(std::size_t from, std::size_t to, RinexVersion version, const ObservationLayout& layout);
  void FinishSecondHalf();
  void HelperLoop();

  bool threaded_ = false;
  std::vector<Epoch> epochs_;
  std::vector<SatelliteRecord> records_;
  std::size_t reserved_from_ = 0;  // the records Reserve gave out start here
  std::array<Text, 2> text_;

  // The helper thread and the one half it is given at a time.
  struct Half {
    std::size_t from = 0, to = 0;
    RinexVersion version{};
    const ObservationLayout* layout = nullptr;
  };
  std::thread helper_;
  std::mutex mutex_;
  std::condition_variable changed_;
  Half half_;
  bool half_given_ = false;  // until the helper has formatted it
  bool stopping_ = false;
  std::exception_ptr half_failure_;
};

}  // namespace morvelin::rinex
