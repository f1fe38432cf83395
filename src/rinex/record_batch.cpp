#include "rinex/record_batch.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>

#include "base/text_builder.h"

namespace morvelin::rinex {

namespace {

// An epoch's text is made in a fixed buffer and moved on in pieces of
// about this size (an epoch of many satellites is longer than the buffer).
constexpr std::size_t kPiece = 6144;

}  // namespace

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
                              const ObservationLayout& layout, std::string& out) const {
  out.clear();
  FixedText<8192> text;
  for (std::size_t e = from; e < to; ++e) {
    const Epoch& epoch = epochs_[e];
    EpochLine line = epoch.line;
    if (line.prns != nullptr) line.prns = epoch.prns.data();
    text.Clear();
    FormatEpochLine(text, version, line);
    for (int i = 0; i < line.count; ++i) {
      FormatSatelliteRecord(text, version, layout, records_[epoch.first_record + static_cast<std::size_t>(i)]);
      if (text.Size() > kPiece) {
        out.append(text.View());
        text.Clear();
      }
    }
    out.append(text.View());
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
  return {text_[0], text_[1]};
}

void RecordBatch::Clear() {
  epochs_.clear();
  records_.clear();
  reserved_from_ = 0;
}

}  // namespace morvelin::rinex
