#include "rinex/record_batch.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>

#include "base/text_builder.h"

namespace morvelin::rinex {

namespace {

// Room for an epoch line: 2.11 lists its satellites, twelve to a line of 80.
constexpr std::size_t kEpochLineRoom = 96 * (RecordBatch::kEpochRecords / 12 + 1);

}  // namespace

char* RecordBatch::Text::Room(std::size_t size) {
  if (capacity_ - size_ < size) {
    const std::size_t capacity = std::max(capacity_ * 2, size_ + size);
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data), capacity_ = capacity;
  }
  return data_.get() + size_;
}

SatelliteRecord* RecordBatch::Reserve(int count) {
  reserved_from_ = records_.size();
  records_.resize(reserved_from_ + static_cast<std::size_t>(std::clamp(count, 0, kEpochRecords)));
  return records_.data() + reserved_from_;
}

void RecordBatch::Commit(const EpochLine& line) {
  const int count = std::clamp(line.count, 0, static_cast<int>(records_.size() - reserved_from_));
  records_.resize(reserved_from_ + static_cast<std::size_t>(count));
  Epoch& epoch = epochs_.emplace_back();
  epoch.line = line;
  epoch.line.count = count;
  if (line.prns != nullptr) std::copy(line.prns, line.prns + count, epoch.prns.begin());
  epoch.first_record = reserved_from_;
  reserved_from_ = records_.size();
}

void RecordBatch::FormatRange(std::size_t from, std::size_t to, RinexVersion version,
                              const ObservationLayout& layout, Text& out) const {
  // Each epoch's text is made straight into the batch's text, in the room
  // its longest form needs.
  out.Clear();
  for (std::size_t e = from; e < to; ++e) {
    const Epoch& epoch = epochs_[e];
    EpochLine line = epoch.line;
    if (line.prns != nullptr) line.prns = epoch.prns.data();
    const std::size_t room = kEpochLineRoom + static_cast<std::size_t>(line.count) * kSatelliteRecordRoom;
    char* const begin = out.Room(room);
    TextBuilder text(begin, kEpochLineRoom);
    FormatEpochLine(text, version, line);
    char* end = begin + text.Size();
    for (int i = 0; i < line.count; ++i)
      end = FormatSatelliteRecord(end, version, layout, records_[epoch.first_record + static_cast<std::size_t>(i)]);
    out.Grow(static_cast<std::size_t>(end - begin));
  }
}

std::array<std::string_view, 2> RecordBatch::Format(RinexVersion version, const ObservationLayout& layout) {
  const std::size_t end = epochs_.size(), half = threaded_ ? end / 2 : end;
  const bool helped = half < end && StartSecondHalf(half, end, version, layout);
  try {
    FormatRange(0, half, version, layout, text_[0]);
  } catch (...) {
    if (helped) {
      // The helper reads the records: it finishes before they can go.
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return !half_given_; });
      half_failure_ = nullptr;
    }
    throw;
  }
  if (helped) {
    FinishSecondHalf();
  } else {
    FormatRange(half, end, version, layout, text_[1]);
  }
  Clear();
  return {text_[0].View(), text_[1].View()};
}

bool RecordBatch::StartSecondHalf(std::size_t from, std::size_t to, RinexVersion version,
                                  const ObservationLayout& layout) {
  if (!helper_.joinable()) {
    try {
      helper_ = std::thread([this] { HelperLoop(); });
    } catch (const std::system_error&) {
      threaded_ = false;  // no thread to be had: every batch formatted here
      return false;
    }
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    half_ = Half{from, to, version, &layout};
    half_given_ = true;
  }
  changed_.notify_all();
  return true;
}

void RecordBatch::FinishSecondHalf() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !half_given_; });
  if (half_failure_) {
    std::exception_ptr failure = std::exchange(half_failure_, nullptr);
    lock.unlock();
    Clear();
    std::rethrow_exception(failure);
  }
}

void RecordBatch::HelperLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return half_given_ || stopping_; });
    if (!half_given_) return;
    const Half half = half_;
    lock.unlock();
    std::exception_ptr failure;
    try {
      FormatRange(half.from, half.to, half.version, *half.layout, text_[1]);
    } catch (...) {
      failure = std::current_exception();  // no memory for its text
    }
    lock.lock();
    half_failure_ = failure;
    half_given_ = false;
    changed_.notify_all();
  }
}

RecordBatch::~RecordBatch() {
  if (!helper_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  helper_.join();
}

void RecordBatch::Clear() {
  epochs_.clear();
  records_.clear();
  reserved_from_ = 0;
}

}  // namespace morvelin::rinex
