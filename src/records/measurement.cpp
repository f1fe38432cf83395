#include "records/measurement.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <span>

#include "host/library_state.h"
#include "util/byte_reader.h"
#include "util/text_builder.h"

namespace morvelin {

namespace {

// Payload layout of a measurement record.
constexpr std::size_t kFixedSize = 17;  // receiver time, clock offset, N
constexpr std::size_t kTimesSize = 16;
constexpr std::size_t kSatelliteHeaderSize = 4;
constexpr std::size_t kL1BlockSize = 44;
constexpr std::size_t kL2BlockSize = 24;
constexpr std::size_t kL1PseudorangeOffset = 12;  // pseudorange, phase, third observable follow
constexpr std::size_t kL2PhaseOffset = 8;         // phase, then the L2 code offset

constexpr std::uint8_t kF1DualFrequency = 0x01;
constexpr std::uint8_t kF1CycleSlip = 0x02;
constexpr std::uint8_t kF1PhaseValid = 0x10;
constexpr std::uint8_t kF1FullL2 = 0x20;
constexpr std::uint8_t kF2PCode = 0x01;
constexpr std::uint8_t kF3Valid = 0x01;

constexpr int kMaxPrn = 32;
constexpr double kSpeedOfLight = 299792458.0;  // m/s
constexpr double kSlipCycles = 10000.0;        // marks a slip in the L1 phase
constexpr double kWeekSeconds = 604800.0;
constexpr double kLockCap = 255.0;
constexpr double kGridPerSecond = 50.0;  // epochs sit on a 0.02 s grid
constexpr double kGridHalfStep = 0.01;
constexpr std::uint8_t kFourOrMoreSatellites = 0x01;

constexpr const char* kTooManyChannels = "Error: Too many channels--could be a data problem";

// One satellite block as it arrived.
struct SatelliteBlock {
  std::uint8_t prn = 0;
  std::uint8_t f1 = 0;
  std::uint8_t f2 = 0;
  std::uint8_t f3 = 0;
  double pseudorange = 0.0;
  double phase = 0.0;
  double third = 0.0;
  double l2_phase = 0.0;
  double l2_code_offset = 0.0;

  bool Dual() const { return (f1 & kF1DualFrequency) != 0; }
  bool PrnInRange() const { return prn >= 1 && prn <= kMaxPrn; }
};

// The satellite blocks of one record, read before any of them is acted on,
// so that a record cut short by the end of the input leaves no trace beyond
// its own count: no message, counter or lock change from half a record.
struct SatelliteBlocks {
  SatelliteBlock blocks[kEpochChannels];
  int count = 0;               // blocks held (the epoch is not skipped)
  std::int32_t singles = 0;    // single-frequency blocks read while skipping
  bool complete = false;       // every block the record promised arrived
};

bool ReadExactly(InputStream& input, std::uint8_t* out, std::size_t count) {
  return input.Read(out, count) == count;
}

bool ReadBlock(InputStream& input, SatelliteBlock& block) {
  std::uint8_t header[kSatelliteHeaderSize];
  std::uint8_t l1[kL1BlockSize];
  if (!ReadExactly(input, header, sizeof header) || !ReadExactly(input, l1, sizeof l1)) return false;
  block.prn = header[0];
  block.f1 = header[1];
  block.f2 = header[2];
  block.f3 = header[3];

  ByteReader reader{std::span<const std::uint8_t>(l1)};
  reader.Skip(kL1PseudorangeOffset);
  reader.F64(block.pseudorange);
  reader.F64(block.phase);
  reader.F64(block.third);

  if (block.Dual()) {
    std::uint8_t l2[kL2BlockSize];
    if (!ReadExactly(input, l2, sizeof l2)) return false;
    ByteReader l2_reader{std::span<const std::uint8_t>(l2)};
    l2_reader.Skip(kL2PhaseOffset);
    l2_reader.F64(block.l2_phase);
    l2_reader.F64(block.l2_code_offset);
  }
  return true;
}

// Reads the count blocks of a record. A skipped epoch (too many blocks, or a
// time off the grid) is read to its end and only its single-frequency blocks
// are tallied. Otherwise the blocks are kept, and reading stops right after a
// dual-frequency block whose PRN is out of range: the rest of the record is
// left to the reader's resynchronisation.
SatelliteBlocks ReadSatelliteBlocks(InputStream& input, int count, bool skip) {
  SatelliteBlocks result;
  if (skip) {
    for (int k = 0; k < count; ++k) {
      SatelliteBlock block;
      if (!ReadBlock(input, block)) return result;
      if (!block.Dual()) ++result.singles;
    }
    result.complete = true;
    return result;
  }
  for (int k = 0; k < count && k < kEpochChannels; ++k) {
    SatelliteBlock& block = result.blocks[k];
    if (!ReadBlock(input, block)) return result;
    result.count = k + 1;
    if (block.Dual() && !block.PrnInRange()) break;
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

class EpochDecoder {
 public:
  EpochDecoder(Run& run, double epoch_time, double interval)
      : run_(run), state_(run.state.measurement), time_(epoch_time), interval_(interval) {}

  // Fills slot k from block; false when a dual-frequency PRN out of range
  // drops the epoch.
  bool Store(int k, const SatelliteBlock& block) {
    ObservationRecord& slot = run_.epoch_set.observations[k];
    FlagCounters& counters = state_.counters;
    ++state_.total_observations;
    if (block.Dual())
      ++counters.l1_and_l2;
    else
      ++counters.l1_only;

    slot.prn = block.prn;
    // Out of range, a single-frequency block is only left out (its slot keeps
    // a zero pseudorange); a dual-frequency one drops the whole epoch.
    if (!block.PrnInRange()) return !block.Dual();

    slot.l1_pseudorange = block.pseudorange;
    slot.l1_phase = block.phase;
    slot.l1_third = block.third;
    if (block.Dual()) slot.l2_phase = block.l2_phase;

    TrackSatellite(slot, block);

    const bool pcode = (block.f2 & kF2PCode) != 0;
    if (pcode) ++counters.l1_pcode;
    if (block.Dual()) {
      ++counters.l1_ca;
      if ((block.f1 & kF1FullL2) != 0) {
        ++counters.full_l2;
        // The L2 code arrives as an offset from L1, taken after any change
        // the phase check made to L1.
        slot.l2_pseudorange = slot.l1_pseudorange + block.l2_code_offset;
      } else {
        ++counters.l2_squared;
        slot.l2_phase = 0.0;
      }
    } else if (!pcode) {
      ++counters.l1_ca;
    }
    if ((block.f3 & kF3Valid) != 0) ++counters.f3_valid;
    return true;
  }

 private:
  // Lock growth, cycle slip, phase validity and lock time, in that order.
  void TrackSatellite(ObservationRecord& slot, const SatelliteBlock& block) {
    double& lock = state_.lock_seconds[block.prn];
    lock += interval_;
    const int prn = block.prn;

    if ((block.f1 & kF1CycleSlip) != 0) {
      ++state_.slip_count;
      FixedText<kMessageSize> line;
      line.Str("PRN: ").Int(prn).Str("  L1 Cycle Slip: # ").Int(state_.slip_count).Str(" at ");
      line.Fixed(time_, 2).Str(" \n");
      run_.sum.Write(line.View());

      FixedText<kMessageSize> message;
      message.Str("PRN: ").Int(prn).Str(", L1 Cycle Slip: # ").Int(state_.slip_count);
      SendMessage(time_, message.View());
      slot.l1_phase += kSlipCycles;
      lock = 0.0;
    }

    if ((block.f1 & kF1PhaseValid) == 0) {
      std::int32_t& invalid = state_.counters.l1_invalid;
      ++invalid;
      FixedText<kMessageSize> message;
      if (block.Dual())
        message.Str("PRN: ").Int(prn).Str(" Phase invalid: #").Int(invalid);
      else
        message.Str("PRN ").Int(prn).Str(", Phase invalid: #").Int(invalid).Str(" ");
      SendMessage(time_, message.View());
      slot.l1_pseudorange = 0.0;  // removes the slot before writing
      lock = 0.0;
    }

    slot.lock_time = LockTime(lock);
  }

  Run& run_;
  MeasurementState& state_;
  double time_;
  double interval_;
};

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

bool DecodeMeasurementRecord(Run& run) {
  EpochObservationSet& set = run.epoch_set;
  std::memset(static_cast<void*>(&set), 0, sizeof set);
  MeasurementState& state = run.state.measurement;

  std::uint8_t fixed[kFixedSize];
  const std::size_t arrived = run.input.Read(fixed, sizeof fixed);
  const bool first = state.measurement_epoch_count == 0;
  ++state.measurement_epoch_count;
  // A record cut inside its receiver time carries no time at all: it is
  // counted, and every time keeps the value it had.
  if (arrived < sizeof(double)) return true;

  ByteReader reader{std::span<const std::uint8_t>(fixed, arrived)};
  double receiver_ms = 0.0;
  reader.F64(receiver_ms);
  const double received_time = receiver_ms / 1000.0;
  run.state.station.current_time = received_time;
  Library().last_epoch_time = received_time;
  if (first) state.start_time = received_time;

  double epoch_time = 0.0;
  const bool on_grid = RoundToGrid(received_time, epoch_time);
  if (on_grid) state.end_time = epoch_time;
  if (arrived < kFixedSize) return true;

  double clock_ms = 0.0;
  std::uint8_t count = 0;
  reader.F64(clock_ms);
  reader.U8(count);
  const double clock_seconds = clock_ms / 1000.0;

  EpochRecord& epoch = set.epoch;
  epoch.measurement_count = count;
  epoch.latitude = run.state.station.latitude;
  epoch.longitude = run.state.station.longitude;
  epoch.height = static_cast<float>(run.state.station.height);

  const bool too_many = count > kEpochChannels;
  if (too_many) SendFixedMessage(-1.0, kTooManyChannels);
  epoch.epoch_flags = static_cast<std::uint8_t>((count >= 4 ? kFourOrMoreSatellites : 0) |
                                                (Library().motion_mode & 0xFF));
  epoch.corrected_epoch_time = received_time - clock_seconds;
  epoch.epoch_time = epoch_time;

  // An epoch that is skipped anyway is read to its end; its blocks only count.
  const bool skip = too_many || !on_grid;
  const SatelliteBlocks blocks = ReadSatelliteBlocks(run.input, count, skip);
  // The rest of a cut record never arrived: nothing of it is used.
  if (!blocks.complete) return true;
  if (skip) {
    state.counters.l1_only += blocks.singles;
    state.total_observations += blocks.singles;
    return true;
  }

  double interval = 0.0;
  EpochInterval(epoch_time, GetPreviousEpochTime(), &interval);
  EpochDecoder decoder(run, epoch_time, interval);
  for (int k = 0; k < blocks.count; ++k)
    if (!decoder.Store(k, blocks.blocks[k])) return true;

  SetPreviousEpochTime(epoch_time);
  if (epoch_time > kWeekSeconds) return true;

  RemoveEmptySlots(set);
  epoch.clock_offset = clock_seconds * kSpeedOfLight;
  // Without an open measurement file the epoch cannot be stored: a failure.
  if (run.gpb == nullptr) return false;
  if (WriteMeasurementEpoch(run.gpb, &set.epoch, set.observations) != 0) return false;
  ++run.counts.written_epochs;
  return true;
}

void SetPreviousEpochTime(double seconds) { CurrentRun().state.measurement.previous_epoch_time = seconds; }
double GetPreviousEpochTime() { return CurrentRun().state.measurement.previous_epoch_time; }

void EpochInterval(double current, double previous, double* interval) {
  double value = previous <= 0.0 ? 0.0 : current - previous;
  if (value > 304800.0 || value < -304800.0) value += 604800.0;
  *interval = value;
}

}  // namespace morvelin
