#include "records/measurement.h"

#include <cstdint>
#include <cstring>
#include <span>

#include "base/byte_reader.h"
#include "base/gnss_constants.h"
#include "base/message.h"
#include "base/text_builder.h"
#include "framing/record_layouts.h"

namespace morvelin {

namespace {

constexpr double kSlipCycles = 10000.0;        // marks a slip in the L1 phase
// Two epochs further apart than this are taken to lie across a week's end.
constexpr double kWeekCrossingInterval = 304800.0;
constexpr double kLockCap = 255.0;
constexpr double kGridPerSecond = 50.0;  // epochs sit on a 0.02 s grid
constexpr double kGridHalfStep = 0.01;
constexpr std::uint8_t kFourOrMoreSatellites = 0x01;

constexpr const char* kTooManyChannels = "Error: Too many channels--could be a data problem";

bool PrnInRange(const SatelliteMeasurement& block) { return block.prn >= 1 && block.prn <= kMaxPrn; }

// The satellite blocks of one record, read before any of them is acted on,
// so that a record cut short by the end of the input leaves no trace beyond
// its own count: no message, counter or lock change from half a record.
struct SatelliteBlocks {
  SatelliteMeasurement* blocks = nullptr;  // kEpochChannels of them
  int count = 0;               // blocks held (the epoch is not skipped)
  std::int32_t singles = 0;    // single-frequency blocks read while skipping
  bool complete = false;       // every block the record promised arrived
};

constexpr std::size_t kSingleBlockSize = SatelliteBlockLayout::kSize;  // satellite header and L1 block
constexpr std::size_t kL2BlockSize = L2BlockLayout::kSize;
constexpr std::size_t kLongestBlockSize = kSingleBlockSize + kL2BlockSize;

// The satellite header and L1 block (kSingleBlockSize bytes at bytes); the
// L2 fields are zero.
inline void ParseSingleBlock(const std::uint8_t* bytes, SatelliteMeasurement& block) {
  LoadFields<SatelliteBlockLayout>(bytes, block);
  block.l2_phase = 0.0;
  block.l2_code_offset = 0.0;
}

// The L2 block (kL2BlockSize bytes at bytes) of a dual-frequency block.
inline void ParseL2Block(const std::uint8_t* bytes, SatelliteMeasurement& block) {
  LoadFields<L2BlockLayout>(bytes, block);
}

// One satellite block from the input: the header and L1 block in one piece,
// then the L2 block when it is dual frequency. False when the input ends
// first.
inline bool ReadBlock(RecordInput& input, SatelliteMeasurement& block) {
  const std::uint8_t* bytes = input.Take(kSingleBlockSize);
  if (bytes == nullptr) return false;
  // Parsed into a local: the next Take may move the input past these bytes.
  SatelliteMeasurement read;
  ParseSingleBlock(bytes, read);
  if (read.DualFrequency()) {
    const std::uint8_t* l2 = input.Take(kL2BlockSize);
    if (l2 == nullptr) return false;
    ParseL2Block(l2, read);
  }
  block = read;
  return true;
}

// Reads the count blocks of a record. A skipped epoch (too many blocks, or a
// time off the grid) is read to its end and only its single-frequency blocks
// are tallied. Otherwise the blocks are kept, and reading stops right after a
// dual-frequency block whose PRN is out of range: the rest of the record is
// left to the reader's resynchronisation.
SatelliteBlocks ReadSatelliteBlocks(RecordInput& input, int count, bool skip, SatelliteMeasurement* blocks) {
  SatelliteBlocks result;
  result.blocks = blocks;
  if (skip) {
    for (int k = 0; k < count; ++k) {
      SatelliteMeasurement block;
      if (!ReadBlock(input, block)) return result;
      if (!block.DualFrequency()) ++result.singles;
    }
    result.complete = true;
    return result;
  }
  for (int k = 0; k < count && k < kEpochChannels; ++k) {
    SatelliteMeasurement& block = blocks[k];
    if (!ReadBlock(input, block)) return result;
    result.count = k + 1;
    if (block.DualFrequency() && !PrnInRange(block)) break;
  }
  result.complete = true;
  return result;
}

// trunc((t + 0.01) x 50) / 50 with the cut to a 32-bit integer. False when
// the product is NaN or beyond the 32-bit range (damaged data): such a time
// has no place on the grid.
bool RoundToGrid(double seconds, double& rounded) {
  const double steps = (seconds + kGridHalfStep) * kGridPerSecond;
  if (!(steps > static_cast<double>(INT32_MIN) - 1.0 && steps < static_cast<double>(INT32_MAX) + 1.0)) return false;
  rounded = static_cast<double>(static_cast<std::int32_t>(steps)) / kGridPerSecond;
  return true;
}

// Whole seconds of lock for the observation record. A lock made negative by a
// receiver time that stepped back is no lock at all (0), not its low 8 bits.
std::uint8_t LockTime(double seconds) {
  if (!(seconds > 0.0)) return 0;
  if (seconds > kLockCap) seconds = kLockCap;
  return static_cast<std::uint8_t>(static_cast<int>(seconds) & 0xFF);
}

// The rare cases' texts, kept out of the loop over the satellites.
[[gnu::noinline]] void ReportSlip(DecodeContext& context, int prn, double time) {
  MeasurementState& state = context.state.measurement;
  ++state.slip_count;
  FixedText<kMessageSize> line;
  line.Str("PRN: ").Int(prn).Str("  L1 Cycle Slip: # ").Int(state.slip_count).Str(" at ");
  line.Fixed(time, 2).Str(" \n");
  context.events.SummaryText(line.View());

  FixedText<kMessageSize> message;
  message.Str("PRN: ").Int(prn).Str(", L1 Cycle Slip: # ").Int(state.slip_count);
  context.events.Message(time, message.View());
}

[[gnu::noinline]] void ReportInvalidPhase(DecodeContext& context, int prn, bool dual, double time) {
  std::int32_t& invalid = context.state.measurement.counters.l1_invalid;
  ++invalid;
  FixedText<kMessageSize> message;
  if (dual)
    message.Str("PRN: ").Int(prn).Str(" Phase invalid: #").Int(invalid);
  else
    message.Str("PRN ").Int(prn).Str(", Phase invalid: #").Int(invalid).Str(" ");
  context.events.Message(time, message.View());
}

// Storing an epoch's blocks into its slots: the flag counts are kept here
// (in registers) and added to the run's once the epoch is done.
struct EpochStore {
  DecodeContext& context;
  double time;
  double interval;
  FlagCounters tally;
  std::int32_t observations = 0;
  bool empty_slots = false;  // some slot has no observation (a zero pseudorange)

  // Slot k from block: the observables, then lock growth, cycle slip, phase
  // validity and lock time, in that order, and the flag counts. False when a
  // dual-frequency PRN out of range drops the epoch.
  [[gnu::always_inline]] bool Store(int k, const SatelliteMeasurement& block) {
    MeasurementState& state = context.state.measurement;
    ObservationRecord& slot = state.epoch_set.observations[k];
    const bool dual = block.DualFrequency();
    ++observations;
    tally.l1_and_l2 += dual;
    tally.l1_only += !dual;

    if (!PrnInRange(block)) {
      // Out of range, a single-frequency block is only left out (its slot
      // keeps a zero pseudorange); a dual-frequency one drops the whole epoch.
      slot = ObservationRecord{};
      slot.prn = block.prn;
      empty_slots = true;
      return !dual;
    }
    // Everything is worked out before the slot is written: its byte-wide
    // fields would otherwise make the compiler read the block again.
    double l1_pseudorange = block.pseudorange;
    double l1_phase = block.phase;
    double& lock = state.lock_seconds[block.prn];
    double held = lock + interval;
    if (block.CycleSlip()) [[unlikely]] {
      ReportSlip(context, block.prn, time);
      l1_phase += kSlipCycles;
      held = 0.0;
    }
    if (!block.PhaseValid()) [[unlikely]] {
      ReportInvalidPhase(context, block.prn, dual, time);
      l1_pseudorange = 0.0;  // removes the slot before writing
      held = 0.0;
    }
    lock = held;
    const bool pcode = block.PCode();
    const bool full_l2 = dual && block.FullL2();
    tally.l1_pcode += pcode;
    tally.l1_ca += dual || !pcode;
    tally.full_l2 += full_l2;
    tally.l2_squared += dual && !full_l2;
    tally.f3_valid += (block.f3 & satellite_flag::kF3Valid) != 0;
    empty_slots |= l1_pseudorange == 0.0;

    const double l2_phase = full_l2 ? block.l2_phase : 0.0;
    // The L2 code arrives as an offset from L1, taken after any change the
    // phase check made to L1.
    const double l2_pseudorange = full_l2 ? l1_pseudorange + block.l2_code_offset : 0.0;
    const double third = block.third;
    const std::uint8_t prn = block.prn;
    slot.record_size = 0;
    slot.prn = prn;
    slot.lock_time = LockTime(held);
    slot.l1_pseudorange = l1_pseudorange;
    slot.l1_phase = l1_phase;
    slot.l1_third = third;
    slot.l2_pseudorange = l2_pseudorange;
    slot.l2_phase = l2_phase;
    return true;
  }

  void AddCounts() const {
    MeasurementState& state = context.state.measurement;
    FlagCounters& counters = state.counters;
    state.total_observations += observations;
    counters.l1_only += tally.l1_only;
    counters.l1_and_l2 += tally.l1_and_l2;
    counters.l1_pcode += tally.l1_pcode;
    counters.l1_ca += tally.l1_ca;
    counters.full_l2 += tally.full_l2;
    counters.l2_squared += tally.l2_squared;
    counters.f3_valid += tally.f3_valid;
  }
};

// The blocks read before (ReadSatelliteBlocks) into the slots. False when
// the epoch is dropped.
bool StoreBlocks(EpochStore& store, const SatelliteBlocks& blocks) {
  bool stored = true;
  for (int k = 0; k < blocks.count && stored; ++k) stored = store.Store(k, blocks.blocks[k]);
  store.AddCounts();
  return stored;
}

// The usual case, where the longest the record's blocks can be already lies
// in the input: each block is parsed in place and stored at once (no cut can
// leave half a record behind), and reading stops, as ReadSatelliteBlocks
// does, right after a dual-frequency block whose PRN is out of range. The
// blocks parsed are kept for the epoch event. False when the epoch is
// dropped; count blocks is how many were parsed.
bool DecodeBlocksInPlace(EpochStore& store, RecordInput& input, const std::uint8_t* bytes, int count,
                         SatelliteMeasurement* blocks, int& parsed) {
  std::size_t used = 0;
  bool stored = true;
  int k = 0;
  while (k < count && stored) {
    // Parsed into a local, stored from it, then kept: the compiler keeps it
    // in registers.
    SatelliteMeasurement block;
    ParseSingleBlock(bytes + used, block);
    used += kSingleBlockSize;
    if (block.DualFrequency()) {
      ParseL2Block(bytes + used, block);
      used += kL2BlockSize;
    }
    stored = store.Store(k, block);
    blocks[k] = block;
    ++k;
  }
  input.Consume(used);
  store.AddCounts();
  parsed = k;
  return stored;
}

// Moves the slots with an observation up, in order, over those without.
void RemoveEmptySlots(EpochObservationSet& set) {
  int kept = 0;
  for (int k = 0; k < set.epoch.measurement_count && k < kEpochChannels; ++k) {
    if (set.observations[k].l1_pseudorange == 0.0) continue;
    if (kept != k) set.observations[kept] = set.observations[k];
    ++kept;
  }
  set.epoch.measurement_count = static_cast<std::uint8_t>(kept);
}

}  // namespace

void DecodeMeasurementRecord(DecodeContext& context) {
  MeasurementState& state = context.state.measurement;
  StationState& station = context.state.station;
  EpochObservationSet& set = state.epoch_set;
  std::memset(static_cast<void*>(&set.epoch), 0, sizeof set.epoch);

  std::uint8_t fixed[MeasurementRecord::kSize];
  const std::size_t arrived = context.input.Read(fixed, sizeof fixed);
  const bool first = state.measurement_epoch_count == 0;
  ++state.measurement_epoch_count;
  // A record cut inside its receiver time carries no time at all: it is
  // counted, and every time keeps the value it had.
  if (arrived < MeasurementRecord::kReceiverTime.End()) {
    state.cut_record = true;
    return;
  }

  const double received_time = LoadLittle<double>(fixed + MeasurementRecord::kReceiverTime.offset) / 1000.0;
  station.current_time = received_time;
  context.events.ReceiverTime(received_time);
  if (first) state.start_time = received_time;

  double epoch_time = 0.0;
  const bool on_grid = RoundToGrid(received_time, epoch_time);
  if (on_grid) state.end_time = epoch_time;
  MeasurementRecord fixed_part;
  if (!ReadFields<MeasurementRecord>(std::span<const std::uint8_t>(fixed, arrived), fixed_part)) {
    state.cut_record = true;
    return;
  }

  const double clock_ms = fixed_part.clock_offset_ms;
  const std::uint8_t count = fixed_part.satellite_count;
  const double clock_seconds = clock_ms / 1000.0;

  EpochRecord& epoch = set.epoch;
  epoch.measurement_count = count;
  epoch.latitude = station.latitude;
  epoch.longitude = station.longitude;
  epoch.height = static_cast<float>(station.height);

  const bool too_many = count > kEpochChannels;
  if (too_many) context.events.ConstantMessage(-1.0, kTooManyChannels);
  epoch.epoch_flags = static_cast<std::uint8_t>((count >= 4 ? kFourOrMoreSatellites : 0) |
                                                (station.motion_mode & 0xFF));
  epoch.corrected_epoch_time = received_time - clock_seconds;
  epoch.epoch_time = epoch_time;

  // An epoch that is skipped anyway is read to its end; its blocks only count.
  const bool skip = too_many || !on_grid;
  double interval = 0.0;
  EpochStore store{context, epoch_time, 0.0, {}};
  int stored_blocks = 0;
  bool stored = false;
  const std::uint8_t* in_place =
      skip ? nullptr : context.input.Peek(static_cast<std::size_t>(count) * kLongestBlockSize);
  if (in_place != nullptr) {
    EpochInterval(epoch_time, state.previous_epoch_time, &interval);
    store.interval = interval;
    stored = DecodeBlocksInPlace(store, context.input, in_place, count, state.satellites, stored_blocks);
  } else {
    const SatelliteBlocks blocks = ReadSatelliteBlocks(context.input, count, skip, state.satellites);
    // The rest of a cut record never arrived: nothing of it is used.
    if (!blocks.complete) {
      state.cut_record = true;
      return;
    }
    if (skip) {
      state.counters.l1_only += blocks.singles;
      state.total_observations += blocks.singles;
      ++state.dropped_epochs;
      return;
    }
    EpochInterval(epoch_time, state.previous_epoch_time, &interval);
    store.interval = interval;
    stored = StoreBlocks(store, blocks);
    stored_blocks = blocks.count;
  }
  if (!stored) {
    ++state.dropped_epochs;
    return;
  }

  state.previous_epoch_time = epoch_time;
  if (epoch_time > kSecondsPerWeek) {
    ++state.dropped_epochs;
    return;
  }

  if (store.empty_slots) RemoveEmptySlots(set);
  epoch.clock_offset = clock_seconds * kSpeedOfLight;
  const SessionInfo session = CurrentSession(station);
  EpochEvent event;
  event.epoch = &set.epoch;
  event.observations = std::span<const ObservationRecord>(set.observations, set.epoch.measurement_count);
  event.receiver_time = received_time;
  event.clock_offset = clock_seconds;
  event.satellites = std::span<const SatelliteMeasurement>(state.satellites, static_cast<std::size_t>(stored_blocks));
  event.session = &session;
  context.events.Epoch(event);
}

void EpochInterval(double current, double previous, double* interval) {
  double value = previous <= 0.0 ? 0.0 : current - previous;
  if (value > kWeekCrossingInterval || value < -kWeekCrossingInterval) value += kSecondsPerWeek;
  *interval = value;
}

}  // namespace morvelin
