#include "rinex/record_batch.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

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
  std::thread second;
  std::exception_ptr second_failure;  // no memory for its text: thrown here
  if (half < end) {
    try {
      second = std::thread([&] {
        try {
          FormatRange(half, end, version, layout, text_[1]);
        } catch (...) {
          second_failure = std::current_exception();
        }
      });
    } catch (const std::system_error&) {
      // No thread to be had: both halves here.
    }
  }
  try {
    FormatRange(0, half, version, layout, text_[0]);
  } catch (...) {
    if (second.joinable()) second.join();
    throw;
  }
  if (second.joinable()) {
    second.join();
  } else {
    FormatRange(half, end, version, layout, text_[1]);
  }
  Clear();
  if (second_failure) std::rethrow_exception(second_failure);
  return {text_[0].View(), text_[1].View()};
}

void RecordBatch::Clear() {
  epochs_.clear();
  records_.clear();
  reserved_from_ = 0;
}

}  // namespace morvelin::rinex
