#include "rinex/record_batch.h"

#include <algorithm>
#include <cstring>
#include <exception>

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
  Slot& slot = Filling();
  slot.reserved_from = slot.records.size();
  slot.records.resize(slot.reserved_from + static_cast<std::size_t>(std::clamp(count, 0, kEpochRecords)));
  return slot.records.data() + slot.reserved_from;
}

void RecordBatch::Commit(const EpochLine& line) {
  Slot& slot = Filling();
  const int count = std::clamp(line.count, 0, static_cast<int>(slot.records.size() - slot.reserved_from));
  slot.records.resize(slot.reserved_from + static_cast<std::size_t>(count));
  Epoch& epoch = slot.epochs.emplace_back();
  epoch.line = line;
  epoch.line.count = count;
  if (line.prns != nullptr) std::copy(line.prns, line.prns + count, epoch.prns.begin());
  epoch.first_record = slot.reserved_from;
  slot.reserved_from = slot.records.size();
}

void RecordBatch::FormatRange(const Slot& slot, std::size_t from, std::size_t to, Text& out) {
  // Each epoch's text is made straight into the chunk's text, in the room
  // its longest form needs.
  out.Clear();
  for (std::size_t e = from; e < to; ++e) {
    const Epoch& epoch = slot.epochs[e];
    EpochLine line = epoch.line;
    if (line.prns != nullptr) line.prns = epoch.prns.data();
    const std::size_t room = kEpochLineRoom + static_cast<std::size_t>(line.count) * kSatelliteRecordRoom;
    char* const begin = out.Room(room);
    TextBuilder text(begin, kEpochLineRoom);
    FormatEpochLine(text, slot.version, line);
    char* end = begin + text.Size();
    for (int i = 0; i < line.count; ++i)
      end = FormatSatelliteRecord(end, slot.version, slot.layout,
                                  slot.records[epoch.first_record + static_cast<std::size_t>(i)]);
    out.Grow(static_cast<std::size_t>(end - begin));
  }
}

void RecordBatch::FormatChunks(Slot& slot) {
  // The last chunk takes any epochs beyond the batch's size.
  const std::size_t chunks = slot.Chunks(), size = slot.epochs.size();
  for (std::size_t c = slot.next_chunk.fetch_add(1); c < chunks; c = slot.next_chunk.fetch_add(1)) {
    const std::size_t from = c * kChunkEpochs, to = c + 1 == chunks ? size : from + kChunkEpochs;
    FormatRange(slot, from, to, slot.texts[c]);
  }
}

RecordBatch::Slot& RecordBatch::Begin(RinexVersion version, const ObservationLayout& layout) {
  // The pieces handed out before are done with; the text of the slot
  // passed on before comes first.
  pieces_.clear();
  Slot& filled = Filling();
  filled.version = version, filled.layout = layout;
  filled.next_chunk.store(0);
  if (passed_) {
    passed_ = false;
    Complete(slots_[1 - filling_]);
  }
  return filled;
}

void RecordBatch::AddPieces(const Slot& slot) {
  for (std::size_t c = 0; c < slot.Chunks(); ++c) pieces_.push_back(slot.texts[c].View());
}

const std::vector<std::string_view>& RecordBatch::PassOn(RinexVersion version, const ObservationLayout& layout) {
  Slot& filled = Begin(version, layout);
  if (threaded_ && Hand(filled)) {
    passed_ = true;
    filling_ = 1 - filling_;
    Reset(Filling());  // its text stays for the pieces
    return pieces_;
  }
  FormatChunks(filled);
  AddPieces(filled);
  Reset(filled);
  return pieces_;
}

const std::vector<std::string_view>& RecordBatch::Finish(RinexVersion version, const ObservationLayout& layout) {
  Slot& filled = Begin(version, layout);
  if (!filled.epochs.empty()) {
    if (threaded_ && Hand(filled)) {
      Complete(filled);
    } else {
      FormatChunks(filled);
      AddPieces(filled);
    }
  }
  Reset(slots_[0]), Reset(slots_[1]);
  return pieces_;
}

bool RecordBatch::Hand(Slot& slot) {
  if (helper_.Give([&slot] { FormatChunks(slot); })) return true;
  threaded_ = false;  // no thread to be had: every batch formatted here
  return false;
}

void RecordBatch::Complete(Slot& slot) {
  std::exception_ptr failure;
  try {
    FormatChunks(slot);
  } catch (...) {
    failure = std::current_exception();
  }
  // The helper reads the records and writes its chunks' text: it lets the slot go first.
  if (std::exception_ptr helper_failure = helper_.Wait(); !failure) failure = helper_failure;
  if (failure) std::rethrow_exception(failure);
  AddPieces(slot);
}

void RecordBatch::Reset(Slot& slot) {
  slot.epochs.clear();
  slot.records.clear();
  slot.reserved_from = 0;
}

void RecordBatch::Clear() {
  helper_.Wait();  // a failure there was reported already, or is of no more use
  Reset(slots_[0]), Reset(slots_[1]);
  passed_ = false;
  pieces_.clear();
}

}  // namespace morvelin::rinex
