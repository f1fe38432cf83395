// Measurement records (type 17) through a whole conversion: the epochs of
// the measurement file, the lock times, the messages, the cycle-slip lines
// and the counters left in the run state.
#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>
#include <vector>

#include "base/message.h"
#include "host/library_state.h"
#include "records/measurement.h"
#include "morvelin/events.h"
#include "support/harness.h"
#include "support/measurement_payloads.h"

namespace morvelin::test {
namespace {

constexpr double kSpeedOfLight = 299792458.0;
constexpr const char* kTooManyChannels = "Error: Too many channels--could be a data problem";

// The counters in the order the summary prints them, then the total.
std::array<std::int32_t, 9> Tally(const RunSummary& state) {
  const FlagCounters& c = state.counters;
  return {c.l1_only, c.l1_and_l2,  c.l1_pcode,   c.l1_ca,   c.full_l2,
          c.l2_squared, c.l1_invalid, c.f3_valid, state.total_observations};
}

std::vector<int> LockTimes(const std::vector<GpbEpoch>& epochs, std::uint8_t prn) {
  std::vector<int> locks;
  for (const GpbEpoch& epoch : epochs)
    for (const Observation& observation : epoch.observations)
      if (observation.prn == prn) locks.push_back(observation.lock_time);
  return locks;
}

std::vector<int> Prns(const GpbEpoch& epoch) {
  std::vector<int> prns;
  for (const Observation& observation : epoch.observations) prns.push_back(observation.prn);
  return prns;
}

std::vector<RawSatellite> Singles(int count, std::uint8_t first_prn = 1) {
  std::vector<RawSatellite> satellites;
  for (int i = 0; i < count; ++i) satellites.push_back(Single(static_cast<std::uint8_t>(first_prn + i)));
  return satellites;
}

// --- Epoch time -------------------------------------------------------------

struct GridCase {
  double receiver_ms;
  double clock_ms;
  double epoch_time;
};

class EpochTimeGrid : public ::testing::TestWithParam<GridCase> {};

TEST_P(EpochTimeGrid, RoundsTimeAndKeepsTheCorrectedTimeAndClockOffset) {
  const GridCase& c = GetParam();
  TempDir dir;
  MeasurementOutcome out = ConvertRaw(dir, RawBuilder().Measurement(c.receiver_ms, c.clock_ms, {Single(3)}));
  ASSERT_EQ(out.epochs.size(), 1u);
  const Epoch& epoch = out.epochs[0].epoch;
  const double received = c.receiver_ms / 1000.0;
  EXPECT_EQ(epoch.epoch_time, c.epoch_time);
  EXPECT_EQ(epoch.corrected_epoch_time, received - c.clock_ms / 1000.0);
  EXPECT_EQ(epoch.clock_offset, c.clock_ms / 1000.0 * kSpeedOfLight);
  EXPECT_EQ(out.end.start_time, received);
  EXPECT_EQ(out.end.end_time, c.epoch_time);
  EXPECT_EQ(Library().last_epoch_time, received);
}

INSTANTIATE_TEST_SUITE_P(Times, EpochTimeGrid,
                         ::testing::Values(GridCase{100004.0, 0.5, 100.0}, GridCase{100016.0, -0.25, 100.02},
                                           GridCase{100035.0, 0.0, 100.04},
                                           // The cut goes toward zero, also below zero.
                                           GridCase{-1000.0, 0.0, -0.98}, GridCase{604800000.0, 1.0, 604800.0}));

TEST(EpochTime, BeyondTheWeekIsNotWrittenButBecomesThePreviousTime) {
  TempDir dir;
  MeasurementOutcome out = ConvertRaw(dir, RawBuilder().Measurement(604800015.0, 0.0, {Single(3)}));
  EXPECT_TRUE(out.epochs.empty());
  EXPECT_EQ(out.conversion.counts[0], 0);
  EXPECT_EQ(out.end.measurement_records, 1);
  EXPECT_EQ(out.end.end_time, 604800.02);
}

struct OffGridCase {
  const char* name;
  double receiver_ms;
};

class OffGridTime : public ::testing::TestWithParam<OffGridCase> {};

// Damaged times that do not fit the 32-bit grid: the epoch is dropped like
// one with too many blocks; its blocks are read and only counted.
TEST_P(OffGridTime, DropsTheEpochAndKeepsTheTimesOfTheGrid) {
  TempDir dir;
  RawBuilder raw;
  raw.Measurement(100000.0, 0.0, {Single(3)});
  raw.Measurement(GetParam().receiver_ms, 0.0, {Single(4, kCycleSlip), Dual(5)});
  raw.Measurement(101000.0, 0.0, {Single(3)});
  MeasurementOutcome out = ConvertRaw(dir, raw);
  ASSERT_EQ(out.epochs.size(), 2u);
  EXPECT_TRUE(out.conversion.messages.empty());
  EXPECT_EQ(out.end.measurement_records, 3);
  EXPECT_EQ(out.end.end_time, 101.0);
  EXPECT_EQ(LockTimes(out.epochs, 3), (std::vector<int>{0, 1}));
  EXPECT_EQ(Tally(out.end), (std::array<std::int32_t, 9>{3, 0, 0, 2, 0, 0, 0, 0, 3}));
}

INSTANTIATE_TEST_SUITE_P(Times, OffGridTime,
                         ::testing::Values(OffGridCase{"NaN", std::numeric_limits<double>::quiet_NaN()},
                                           OffGridCase{"Huge", 1e15}, OffGridCase{"HugeNegative", -1e15},
                                           OffGridCase{"Infinite", std::numeric_limits<double>::infinity()}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Epoch interval ---------------------------------------------------------

struct IntervalCase {
  double current;
  double previous;
  double interval;
};

class EpochIntervalCases : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(EpochIntervalCases, Interval) {
  double interval = -99.0;
  EpochInterval(GetParam().current, GetParam().previous, &interval);
  EXPECT_EQ(interval, GetParam().interval);
}

INSTANTIATE_TEST_SUITE_P(Intervals, EpochIntervalCases,
                         ::testing::Values(IntervalCase{101.0, 100.0, 1.0}, IntervalCase{100.0, 101.0, -1.0},
                                           IntervalCase{0.0, 604799.0, 1.0},  // into a new week
                                           IntervalCase{10.0, 0.0, 0.0}, IntervalCase{10.0, -5.0, 0.0},
                                           IntervalCase{304900.0, 100.0, 304800.0},
                                           // A week is only ever added, never taken away.
                                           IntervalCase{604799.0, 0.5, 604798.5 + 604800.0}));

// --- Lock times -------------------------------------------------------------

TEST(LockTime, GrowsByTheIntervalAndStopsAt255WhileTheTableGoesOn) {
  TempDir dir;
  RawBuilder raw;
  for (int i = 0; i < 300; ++i) raw.Measurement(100000.0 + 1000.0 * i, 0.0, {Single(7)});
  MeasurementOutcome out = ConvertRaw(dir, raw);
  ASSERT_EQ(out.epochs.size(), 300u);
  std::vector<int> expected;
  for (int i = 0; i < 300; ++i) expected.push_back(i < 255 ? i : 255);
  EXPECT_EQ(LockTimes(out.epochs, 7), expected);
}

TEST(LockTime, FallsToZeroAtACycleSlipAndAnInvalidPhase) {
  TempDir dir;
  RawBuilder raw;
  for (int i = 0; i < 5; ++i) {
    const bool broken = i == 2;
    RawSatellite invalid = Single(8);
    if (broken) invalid.f1 = 0;
    raw.Measurement(100000.0 + 1000.0 * i, 0.0, {Single(7, broken ? kCycleSlip : 0), invalid});
  }
  MeasurementOutcome out = ConvertRaw(dir, raw);
  EXPECT_EQ(LockTimes(out.epochs, 7), (std::vector<int>{0, 1, 0, 1, 2}));
  EXPECT_EQ(LockTimes(out.epochs, 8), (std::vector<int>{0, 1, 1, 2}));  // absent at the third epoch
}

TEST(LockTime, NegativeAfterTheReceiverTimeSteppedBackIsZero) {
  TempDir dir;
  RawBuilder raw;
  for (double seconds : {100.0, 101.0, 102.0, 90.0, 91.0, 101.0, 102.0})
    raw.Measurement(seconds * 1000.0, 0.0, {Single(7)});
  MeasurementOutcome out = ConvertRaw(dir, raw);
  // The table keeps the sum (2 - 12 + 1 = -9, then +10 and +1).
  EXPECT_EQ(LockTimes(out.epochs, 7), (std::vector<int>{0, 1, 2, 0, 0, 1, 2}));
}

// --- Cycle slips and invalid phases -----------------------------------------

TEST(CycleSlip, MarksThePhaseReportsAndWritesASummaryLine) {
  TempDir dir;
  RawBuilder raw;
  raw.Measurement(100016.0, 0.0, {Single(7, kCycleSlip), Single(9)});
  raw.Measurement(101016.0, 0.0, {Single(7), Dual(12, kFullL2 | kCycleSlip)});
  MeasurementOutcome out = ConvertRaw(dir, raw);
  ASSERT_EQ(out.epochs.size(), 2u);
  EXPECT_EQ(out.epochs[0].observations[0].l1_phase, 110000.0);
  EXPECT_EQ(out.epochs[0].observations[1].l1_phase, 100000.0);
  EXPECT_EQ(out.epochs[1].observations[1].l1_phase, 110000.0);
  EXPECT_EQ(out.conversion.messages, (std::vector<Message>{{100.02, "PRN: 7, L1 Cycle Slip: # 1"},
                                                           {101.02, "PRN: 12, L1 Cycle Slip: # 2"}}));
  EXPECT_EQ(LinesBeforeSummaryBlock(out.summary),
            LineEnds("PRN: 7  L1 Cycle Slip: # 1 at 100.02 \nPRN: 12  L1 Cycle Slip: # 2 at 101.02 \n"));
  EXPECT_EQ(out.conversion.error_text, "PRN: 12, L1 Cycle Slip: # 2");
}

TEST(InvalidPhase, RemovesAdjacentSatellitesAndKeepsTheOrderOfTheRest) {
  TempDir dir;
  RawSatellite single_invalid = Single(5);
  single_invalid.f1 = 0;
  RawSatellite dual_invalid = Dual(6);
  dual_invalid.f1 = kDualFrequency | kFullL2;
  MeasurementOutcome out =
      ConvertRaw(dir, RawBuilder().Measurement(100000.0, 0.0, {Single(3), single_invalid, dual_invalid, Single(8)}));
  ASSERT_EQ(out.epochs.size(), 1u);
  EXPECT_EQ(out.epochs[0].epoch.measurement_count, 2);
  EXPECT_EQ(out.epochs[0].epoch.epoch_flags, 1);  // four blocks arrived
  EXPECT_EQ(Prns(out.epochs[0]), (std::vector<int>{3, 8}));
  EXPECT_EQ(out.conversion.messages,
            (std::vector<Message>{{100.0, "PRN 5, Phase invalid: #1 "}, {100.0, "PRN: 6 Phase invalid: #2"}}));
  EXPECT_EQ(out.end.counters.l1_invalid, 2);
  EXPECT_EQ(out.gpb_size, 202u + 68u + 2u * 44u);
}

// --- Observations and counters ----------------------------------------------

TEST(Observations, FullL2AddsTheCodeOffsetAndSquaredL2StoresNoL2) {
  TempDir dir;
  RawSatellite full = Dual(4, kFullL2);
  full.third = -1234.5;
  MeasurementOutcome out = ConvertRaw(dir, RawBuilder().Measurement(100000.0, 0.0, {full, Dual(5, 0), Single(6)}));
  ASSERT_EQ(out.epochs.size(), 1u);
  const std::vector<Observation>& obs = out.epochs[0].observations;
  ASSERT_EQ(obs.size(), 3u);
  EXPECT_EQ(obs[0].l1_pseudorange, 20000000.0);
  EXPECT_EQ(obs[0].l1_phase, 100000.0);
  EXPECT_EQ(obs[0].l1_third, -1234.5);
  EXPECT_EQ(obs[0].l2_pseudorange, 20000002.5);
  EXPECT_EQ(obs[0].l2_phase, 80000.0);
  EXPECT_EQ(obs[1].l2_pseudorange, 0.0);
  EXPECT_EQ(obs[1].l2_phase, 0.0);
  EXPECT_EQ(obs[2].l2_pseudorange, 0.0);
  EXPECT_EQ(obs[2].l2_phase, 0.0);
  EXPECT_EQ(obs[0].record_size, 44);
  EXPECT_EQ(out.epochs[0].epoch.record_size, 68);
}

struct CounterCase {
  const char* name;
  RawSatellite satellite;
  // L1_only, L1 and L2, L1 Pcode, L1 Ca, Full l2, L2 Squa, L1 Invalid, F3 val., total
  std::array<std::int32_t, 9> tally;
};

RawSatellite With(RawSatellite satellite, std::uint8_t f1, std::uint8_t f2, std::uint8_t f3) {
  satellite.f1 = f1;
  satellite.f2 = f2;
  satellite.f3 = f3;
  return satellite;
}

class Counters : public ::testing::TestWithParam<CounterCase> {};

TEST_P(Counters, CountOneBlock) {
  TempDir dir;
  MeasurementOutcome out = ConvertRaw(dir, RawBuilder().Measurement(100000.0, 0.0, {GetParam().satellite}));
  EXPECT_EQ(Tally(out.end), GetParam().tally);
}

constexpr std::uint8_t kValid = kPhaseValid;
constexpr std::uint8_t kValidDual = kPhaseValid | kDualFrequency;

INSTANTIATE_TEST_SUITE_P(
    Blocks, Counters,
    ::testing::Values(
        CounterCase{"SingleCa", With(Single(3), kValid, 0, 0), {1, 0, 0, 1, 0, 0, 0, 0, 1}},
        CounterCase{"SinglePCode", With(Single(3), kValid, kPCode, 0), {1, 0, 1, 0, 0, 0, 0, 0, 1}},
        CounterCase{"SingleF3", With(Single(3), kValid, 0, kF3Valid), {1, 0, 0, 1, 0, 0, 0, 1, 1}},
        CounterCase{"SingleInvalid", With(Single(3), 0, 0, 0), {1, 0, 0, 1, 0, 0, 1, 0, 1}},
        CounterCase{"DualFullPCode", With(Dual(3), kValidDual | kFullL2, kPCode, 0), {0, 1, 1, 1, 1, 0, 0, 0, 1}},
        CounterCase{"DualSquaredCa", With(Dual(3), kValidDual, 0, 0), {0, 1, 0, 1, 0, 1, 0, 0, 1}},
        CounterCase{"DualF3", With(Dual(3), kValidDual | kFullL2, 0, kF3Valid), {0, 1, 0, 1, 1, 0, 0, 1, 1}},
        CounterCase{"SinglePrnZero", With(Single(0), kValid, kPCode, kF3Valid), {1, 0, 0, 0, 0, 0, 0, 0, 1}},
        CounterCase{"DualPrn33", With(Dual(33), kValidDual, kPCode, kF3Valid), {0, 1, 0, 0, 0, 0, 0, 0, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Epoch record -----------------------------------------------------------

TEST(EpochRecord, NoSatellitesGiveA68ByteEpoch) {
  TempDir dir;
  MeasurementOutcome out = ConvertRaw(dir, RawBuilder().Measurement(100000.0, 0.0, {}));
  ASSERT_EQ(out.epochs.size(), 1u);
  EXPECT_EQ(out.gpb_size, 202u + 68u);
  EXPECT_EQ(out.epochs[0].epoch.measurement_count, 0);
  EXPECT_EQ(out.epochs[0].epoch.epoch_flags, 0);
  EXPECT_EQ(out.conversion.counts[0], 1);
}

struct FlagCase {
  int satellites;
  std::uint32_t kinematic;
  int flags;
};

class EpochFlags : public ::testing::TestWithParam<FlagCase> {};

TEST_P(EpochFlags, FourSatellitesAndKinematicMode) {
  TempDir dir;
  ConvertOptions options;
  options.kinematic = GetParam().kinematic;
  MeasurementOutcome out =
      ConvertRaw(dir, RawBuilder().Measurement(100000.0, 0.0, Singles(GetParam().satellites)), options);
  ASSERT_EQ(out.epochs.size(), 1u);
  EXPECT_EQ(out.epochs[0].epoch.epoch_flags, GetParam().flags);
}

INSTANTIATE_TEST_SUITE_P(Flags, EpochFlags,
                         ::testing::Values(FlagCase{0, 1, 2}, FlagCase{3, 0, 0}, FlagCase{4, 0, 1},
                                           FlagCase{3, 1, 2}, FlagCase{4, 1, 3}, FlagCase{12, 0, 1}));

TEST(Channels, TwelveSatellitesAreWritten) {
  TempDir dir;
  MeasurementOutcome out = ConvertRaw(dir, RawBuilder().Measurement(100000.0, 0.0, Singles(12)));
  ASSERT_EQ(out.epochs.size(), 1u);
  EXPECT_EQ(out.epochs[0].epoch.measurement_count, 12);
  EXPECT_EQ(Prns(out.epochs[0]), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_TRUE(out.conversion.messages.empty());
}

TEST(Channels, ThirteenSatellitesAreReadReportedAndDropped) {
  TempDir dir;
  std::vector<RawSatellite> thirteen = Singles(12, 7);
  thirteen.push_back(Dual(20, kFullL2 | kCycleSlip));
  RawBuilder raw;
  raw.Measurement(100000.0, 0.0, {Single(7)});
  raw.Measurement(101000.0, 0.0, thirteen);
  raw.Measurement(102000.0, 0.0, {Single(7)});
  SetLibraryMessage("before the run");
  MeasurementOutcome out = ConvertRaw(dir, raw);

  EXPECT_EQ(out.conversion.messages, (std::vector<Message>{{-1.0, kTooManyChannels}}));
  EXPECT_EQ(out.conversion.error_text, "before the run");
  ASSERT_EQ(out.epochs.size(), 2u);
  EXPECT_EQ(out.conversion.counts[0], 2);
  EXPECT_EQ(out.end.measurement_records, 3);
  // The dropped epoch neither moved the previous epoch time nor touched a lock.
  EXPECT_EQ(LockTimes(out.epochs, 7), (std::vector<int>{0, 2}));
  // Its single-frequency blocks count; its dual-frequency block does not.
  EXPECT_EQ(Tally(out.end), (std::array<std::int32_t, 9>{14, 0, 0, 2, 0, 0, 0, 0, 14}));
  EXPECT_EQ(LinesBeforeSummaryBlock(out.summary), "");
}

// --- PRN out of range -------------------------------------------------------

TEST(PrnOutOfRange, SingleFrequencyIsCountedAndLeftOut) {
  TempDir dir;
  MeasurementOutcome out =
      ConvertRaw(dir, RawBuilder().Measurement(100000.0, 0.0, {Single(0), Single(33), Single(4), Single(255)}));
  ASSERT_EQ(out.epochs.size(), 1u);
  EXPECT_EQ(Prns(out.epochs[0]), (std::vector<int>{4}));
  EXPECT_EQ(out.epochs[0].epoch.epoch_flags, 1);
  EXPECT_EQ(Tally(out.end), (std::array<std::int32_t, 9>{4, 0, 0, 1, 0, 0, 0, 0, 4}));
}

TEST(PrnOutOfRange, DualFrequencyStopsTheRecordAndTheReaderResynchronises) {
  TempDir dir;
  RawBuilder raw;
  raw.Measurement(99000.0, 0.0, {Single(3)});
  raw.Measurement(100000.0, 0.0, {Single(3), Dual(40), Single(5, kCycleSlip), Dual(6)});
  raw.Measurement(101000.0, 0.0, {Single(3)});
  MeasurementOutcome out = ConvertRaw(dir, raw);
  ASSERT_EQ(out.epochs.size(), 2u);
  EXPECT_EQ(out.epochs[1].epoch.epoch_time, 101.0);
  EXPECT_EQ(out.end.measurement_records, 3);
  EXPECT_TRUE(out.conversion.messages.empty());  // the slipped block after it was never read
  // PRN 3 grew by 1 s in the dropped epoch; the previous epoch time stayed at 99 s.
  EXPECT_EQ(LockTimes(out.epochs, 3), (std::vector<int>{0, 3}));
  EXPECT_EQ(Tally(out.end), (std::array<std::int32_t, 9>{3, 1, 0, 3, 0, 0, 0, 0, 4}));
}

// --- Records cut by the end of the input ------------------------------------

struct CutCase {
  const char* name;
  std::size_t payload_bytes;  // bytes of the second record's payload present
  bool time_arrived;
};

class CutRecord : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutRecord, IsCountedButNotWritten) {
  const Bytes payload = MeasurementPayload(101500.0, 0.25, {Single(7, kCycleSlip), Dual(8)});
  ASSERT_LT(GetParam().payload_bytes, payload.size());
  RawBuilder raw;
  raw.Measurement(100000.0, 0.0, {Single(7)});
  raw.Raw({0x74, 0, 0, 17});
  raw.Raw(Bytes(payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(GetParam().payload_bytes)));
  TempDir dir;
  MeasurementOutcome out = ConvertRaw(dir, raw);

  EXPECT_EQ(out.conversion.result, 0);
  EXPECT_EQ(out.epochs.size(), 1u);
  EXPECT_EQ(out.conversion.counts[0], 1);
  EXPECT_TRUE(out.conversion.messages.empty());
  EXPECT_EQ(LinesBeforeSummaryBlock(out.summary), "");
  EXPECT_EQ(out.end.measurement_records, 2);
  EXPECT_EQ(out.end.start_time, 100.0);
  EXPECT_EQ(out.end.end_time, GetParam().time_arrived ? 101.5 : 100.0);
  EXPECT_EQ(Library().last_epoch_time, GetParam().time_arrived ? 101.5 : 100.0);
  EXPECT_EQ(Tally(out.end), (std::array<std::int32_t, 9>{1, 0, 0, 1, 0, 0, 0, 0, 1}));
}

INSTANTIATE_TEST_SUITE_P(
    Cuts, CutRecord,
    ::testing::Values(CutCase{"NoPayload", 0, false}, CutCase{"InsideTheTime", 5, false},
                      CutCase{"TimeOnly", 8, true}, CutCase{"BeforeTheCount", 16, true},
                      CutCase{"BeforeTheBlocks", 17, true}, CutCase{"InsideTheFirstBlock", 17 + 4 + 20, true},
                      CutCase{"InsideTheL2Block", 17 + 48 + 4 + 44 + 10, true},
                      CutCase{"LastByteMissing", 17 + 48 + 72 - 1, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CutRecord, FirstRecordCutInsideItsTimeLeavesTheStartAtZero) {
  TempDir dir;
  MeasurementOutcome out = ConvertRaw(dir, RawBuilder().Raw({0x74, 0, 0, 17, 1, 2, 3}));
  EXPECT_TRUE(out.epochs.empty());
  EXPECT_EQ(out.end.measurement_records, 1);
  EXPECT_EQ(out.end.start_time, 0.0);
  EXPECT_EQ(out.end.end_time, 0.0);
}

}  // namespace
}  // namespace morvelin::test
