// Epochs of an observation file whose records are laid out but whose text
// is not made yet. Formatting the text is the export's largest cost, and
// the records are plain values, so it runs beside the laying out: a full
// batch is passed on to a helper thread (started with the first batch and
// kept for the run) while the next one fills, and the thread that passes
// it takes the chunks still left when it comes back for the text. The
// texts are handed out in order, so the file is the same byte for byte.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "base/helper_thread.h"
#include "rinex/observation_format.h"

namespace morvelin::rinex {

class RecordBatch {
 public:
  static constexpr std::size_t kEpochs = 512;       // epochs a batch holds
  static constexpr std::size_t kChunkEpochs = 64;   // epochs formatted by one thread at a time
  static constexpr int kEpochRecords = 64;          // records an epoch holds, at most

  // threaded: whether a helper thread may format; without, all is formatted here.
  explicit RecordBatch(bool threaded) : threaded_(threaded) {}

  // Room for an epoch's records, at most kEpochRecords, each holding no
  // value: filled in place, then Commit takes the epoch with the first
  // line.count of them (the rest are dropped).
  SatelliteRecord* Reserve(int count);
  void Commit(const EpochLine& line);
  bool Full() const { return Filling().epochs.size() >= kEpochs; }
  // No epoch held, filled or passed on.
  bool Empty() const { return Filling().epochs.empty() && !passed_; }
  // The epochs filled go on to be formatted; returns the text of those
  // passed on before, to be written now (nothing the first time, and all
  // of them at once without a helper). Valid until the next call.
  const std::vector<std::string_view>& PassOn(RinexVersion version, const ObservationLayout& layout);
  // The text of every epoch held, those passed on and those filled since,
  // in order; valid until the next call. The batch is empty after it.
  const std::vector<std::string_view>& Finish(RinexVersion version, const ObservationLayout& layout);
  // Drops every epoch held.
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
  // The epochs of one batch, their records and, once formatted, their text
  // in chunks of kChunkEpochs, each made by whichever thread took it.
  struct Slot {
    std::vector<Epoch> epochs;
    std::vector<SatelliteRecord> records;
    std::size_t reserved_from = 0;  // the records Reserve gave out start here
    RinexVersion version{};
    ObservationLayout layout;
    std::array<Text, kEpochs / kChunkEpochs> texts;
    std::atomic<std::size_t> next_chunk{0};
    std::size_t Chunks() const { return std::min((epochs.size() + kChunkEpochs - 1) / kChunkEpochs, texts.size()); }
  };

  Slot& Filling() { return slots_[filling_]; }
  const Slot& Filling() const { return slots_[filling_]; }
  // Takes the slot's chunks not taken yet, one at a time, and formats them.
  static void FormatChunks(Slot& slot);
  static void FormatRange(const Slot& slot, std::size_t from, std::size_t to, Text& out);
  // Starts PassOn and Finish: the filled slot, to be formatted with version
  // and layout, after the text of the one passed on before is complete.
  Slot& Begin(RinexVersion version, const ObservationLayout& layout);
  void AddPieces(const Slot& slot);
  // Hands the filled slot to the helper (false: there is none to be had).
  bool Hand(Slot& slot);
  // Formats what is left of the passed slot, waits for the helper to let
  // it go and adds its text to the pieces; a chunk's failure (for want of
  // memory) is thrown.
  void Complete(Slot& slot);
  void Reset(Slot& slot);

  bool threaded_ = false;
  std::array<Slot, 2> slots_;
  std::size_t filling_ = 0;
  bool passed_ = false;  // the other slot is passed on, its text not handed out
  std::vector<std::string_view> pieces_;
  HelperThread helper_;  // last: it stops before the slots go
};

}  // namespace morvelin::rinex
