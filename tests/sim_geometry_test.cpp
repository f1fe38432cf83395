// The simulator checked against itself: its raw data file is walked record
// by record without resynchronising, its ephemerides decoded, and every
// pseudorange and phase recomputed from them and the truth with the library's
// user algorithm; then the file is converted and must raise no framing error.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "gnss/constants.h"
#include "gnss/ephemeris_record.h"
#include "gnss/orbit.h"
#include "ionosphere.h"
#include "session.h"
#include "support/harness.h"

namespace morvelin::sim {
namespace {

using namespace morvelin::gnss;

struct Block {
  int prn;
  std::uint8_t f1, f2;
  double pseudorange, phase, l2_phase, l2_code_offset, doppler;
};
struct Epoch {
  double time_ms, clock_ms;
  std::vector<Block> blocks;
};
struct Walk {
  std::vector<BroadcastEphemeris> ephemerides;
  std::vector<Epoch> epochs;
  std::size_t end = 0;  // where the walk stopped
};

// Record after record from the first byte: each must start where the one
// before ended.
Walk WalkRecords(const std::vector<std::uint8_t>& b) {
  Walk walk;
  std::size_t at = 0;
  while (at + kHeaderSize <= b.size() && b[at] == kPreamble) {
    const std::uint8_t type = b[at + kTypeByte];
    const auto payload = std::span(b).subspan(at + kHeaderSize);
    std::size_t length = b[at + 1];
    if (type == record_type::kTimeTag) length = kHeaderSize + TimeTagRecord::kSize;
    if (type == record_type::kEphemeris) {
      EphemerisRecord record;
      EXPECT_TRUE(ReadFields<EphemerisRecord>(payload, record));
      walk.ephemerides.push_back(FromGpsEph(ToGpsEph(record)));
    }
    if (type == record_type::kMeasurement) {
      MeasurementRecord fixed;
      EXPECT_TRUE(ReadFields<MeasurementRecord>(payload, fixed));
      Epoch e{fixed.receiver_time_ms, fixed.clock_offset_ms, {}};
      std::size_t block = MeasurementRecord::kSize;
      for (int k = 0; k < fixed.satellite_count; ++k) {
        SatelliteMeasurement s;
        EXPECT_TRUE(ReadFields<SatelliteBlockLayout>(payload.subspan(block), s));
        block += SatelliteBlockLayout::kSize;
        if (s.DualFrequency()) {
          EXPECT_TRUE(ReadFields<L2BlockLayout>(payload.subspan(block), s));
          block += L2BlockLayout::kSize;
        }
        e.blocks.push_back({s.prn, s.f1, s.f2, s.pseudorange, s.phase, s.l2_phase, s.l2_code_offset, s.third});
      }
      length = kHeaderSize + block;
      walk.epochs.push_back(e);
    }
    at += length;
  }
  walk.end = at;
  return walk;
}

SimulationConfig Config(GpsTime start, double duration, int rate, double code_noise, double phase_noise) {
  SimulationConfig c;
  c.start = start, c.duration = duration, c.rate = rate, c.seed = 11;
  ReceiverSpec fixed, moving;
  fixed.position = ToEcef({Radians(-33.9), Radians(18.4), 30.0});
  moving.position = ToEcef({Radians(60.2), Radians(-150.1), 120.0});
  moving.kinematic = true, moving.speed = 20.0, moving.station = "ROVR";
  moving.clock_offset = -9.9e-4, moving.clock_drift = -5e-7;  // steps its clock within the session
  c.receivers = {fixed, moving};
  c.observation.code_noise = code_noise, c.observation.phase_noise = phase_noise;
  c.observation.slip_rate = 0.01, c.observation.invalid_rate = 0.01;
  c.event_interval = 20.0;
  return c;
}

// Two hours at 30 s over the end of the week, epochs at multiples of 30 s.
SimulationConfig Every30Seconds() {
  SimulationConfig c = Config({2291, 601200.0}, 7200.0, 1, 0.0, 0.0);
  c.interval = 30;
  return c;
}

struct Case {
  const char* name;
  SimulationConfig config;
  double code_tolerance, phase_tolerance;  // m, cycles
};

class SimGeometry : public testing::TestWithParam<Case> {};

TEST_P(SimGeometry, EveryObservationIsExplainedByTheWrittenEphemeridesAndTheTruth) {
  const Case& c = GetParam();
  const std::vector<ReceiverOutput> outputs = Simulate(c.config);
  ASSERT_EQ(outputs.size(), 2u);
  for (const ReceiverOutput& out : outputs) {
    const Walk walk = WalkRecords(out.raw);
    ASSERT_EQ(walk.end, out.raw.size()) << "a record does not start where the one before ended";
    ASSERT_EQ(walk.epochs.size(), out.truth.size());
    std::map<int, double> ambiguity1, ambiguity2;  // per PRN, over its arc
    std::map<int, const Block*> before;            // per PRN, at the epoch before, unless the clock stepped
    std::size_t slips = 0;
    for (std::size_t k = 0; k < walk.epochs.size(); ++k) {
      const Epoch& e = walk.epochs[k];
      const TruthRow& truth = out.truth[k];
      EXPECT_EQ(e.time_ms, std::round(truth.receiver_time.seconds * 1000.0));
      EXPECT_EQ(std::fmod(e.time_ms, static_cast<double>(EpochIntervalMs(c.config))), 0.0) << "off the epoch grid";
      EXPECT_NEAR(WrapHalfWeek(e.time_ms / 1000.0 - e.clock_ms / 1000.0 - truth.time.seconds), 0.0, 1e-9) << "corrected time";
      EXPECT_LE(e.blocks.size(), 12u);
      std::map<int, double> seen1, seen2;
      std::map<int, const Block*> now;
      const double step = k > 0 ? WrapHalfWeek((e.time_ms - walk.epochs[k - 1].time_ms) / 1000.0) : 0.0;
      const bool clock_stepped = k > 0 && std::fabs(e.clock_ms - walk.epochs[k - 1].clock_ms) > 1e-3 * step;
      for (const Block& b : e.blocks) {
        const BroadcastEphemeris* eph = nullptr;  // the latest written whose toe is within an hour
        for (const BroadcastEphemeris& candidate : walk.ephemerides)
          if (candidate.prn == b.prn && std::fabs(WrapHalfWeek(truth.time.seconds - candidate.toe)) <= 3600.0)
            eph = &candidate;
        ASSERT_NE(eph, nullptr) << "PRN " << b.prn << " has no ephemeris";
        const SignalPath path = SignalTo(*eph, truth.position, truth.time.seconds);
        const LookAngles look = LookAt(truth.geodetic, truth.position, path.satellite);
        EXPECT_GT(path.range, 1.95e7);  // a zenith pass near perigee: 19.7e6 m
        EXPECT_LT(path.range, 2.6e7);
        EXPECT_GE(look.elevation, Radians(c.config.observation.mask));
        const double iono = kSpeedOfLight * IonosphereDelay(kDefaultKlobuchar, truth.geodetic, look.elevation,
                                                             look.azimuth, truth.time.seconds);
        const double common = path.range + kSpeedOfLight * truth.clock_offset + SaastamoinenDelay(truth.geodetic, look.elevation);
        const double p1 = common - kSpeedOfLight * L1ClockCorrection(*eph, path.state) + iono;
        const double p2 = common - kSpeedOfLight * L2ClockCorrection(*eph, path.state) + kL1L2Gamma * iono;
        EXPECT_NEAR(b.pseudorange, p1, c.code_tolerance) << "PRN " << b.prn << " epoch " << k;
        EXPECT_NEAR(b.pseudorange + b.l2_code_offset, p2, 1.5 * c.code_tolerance) << "PRN " << b.prn;
        if (!(b.f1 & kPhaseValid)) continue;  // invalid phase
        const double carrier = common - kSpeedOfLight * path.state.clock;
        const double n1 = b.phase - (carrier - iono) / kL1Wavelength;
        const double n2 = b.l2_phase - (carrier - kL1L2Gamma * iono) / kL2Wavelength;
        EXPECT_NEAR(n1, std::round(n1), c.phase_tolerance) << "PRN " << b.prn << " epoch " << k;
        EXPECT_NEAR(n2, std::round(n2), c.phase_tolerance) << "PRN " << b.prn << " epoch " << k;
        if (ambiguity1.count(b.prn) && !(b.f1 & kCycleSlip)) {
          EXPECT_EQ(std::round(n1), ambiguity1[b.prn]) << "L1 ambiguity moved without a slip, PRN " << b.prn;
          EXPECT_EQ(std::round(n2), ambiguity2[b.prn]) << "L2 ambiguity moved without a slip, PRN " << b.prn;
        }
        // The Doppler (Hz, positive for an approaching satellite) is the
        // phase's own rate with its sign turned (over a second at most: the
        // moving receiver drives round a circle).
        if (before.count(b.prn) && !(b.f1 & kCycleSlip) && !clock_stepped && step <= 1.0) {
          EXPECT_NEAR((b.doppler + before[b.prn]->doppler) / 2.0, -(b.phase - before[b.prn]->phase) / step, 1.0)
              << "PRN " << b.prn << " epoch " << k;
        }
        slips += (b.f1 & kCycleSlip) ? 1 : 0;
        seen1[b.prn] = std::round(n1), seen2[b.prn] = std::round(n2);
        now[b.prn] = &b;
      }
      ambiguity1 = seen1, ambiguity2 = seen2;  // a satellite that sets or loses its phase starts again
      before = now;
    }
    EXPECT_GT(slips, 0u);
  }
}

const GpsTime kDay{2292, 86400.0};
INSTANTIATE_TEST_SUITE_P(
    Sessions, SimGeometry,
    testing::Values(Case{"NoNoise", Config(kDay, 120.0, 1, 0.0, 0.0), 1e-6, 1e-6},
                    Case{"Noise", Config(kDay, 60.0, 5, 0.5, 0.003), 3.0, 0.1},
                    Case{"WeekEnd", Config({2291, 604200.0}, 1200.0, 1, 0.0, 0.0), 1e-6, 1e-6},
                    Case{"AcrossEphemerisSets", Config({2292, 601190.0}, 30.0, 2, 0.0, 0.0), 1e-6, 1e-6},
                    Case{"Every30Seconds", Every30Seconds(), 1e-6, 1e-6}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(SimSession, SameSeedSameBytesOtherSeedOtherBytes) {
  SimulationConfig c = Config(kDay, 20.0, 1, 0.3, 0.002);
  c.damage = {0.2, 5, 7};
  const std::vector<ReceiverOutput> a = Simulate(c), b = Simulate(c);
  c.seed = 12;
  const std::vector<ReceiverOutput> other = Simulate(c);
  EXPECT_EQ(a[0].raw, b[0].raw);
  EXPECT_EQ(a[1].raw, b[1].raw);
  EXPECT_NE(a[0].raw, other[0].raw);
}

TEST(SimSession, ConvertsWithoutAFramingMessage) {
  const SimulationConfig c = Config({2291, 601100.0}, 3800.0, 1, 0.3, 0.002);  // a new set, then the week end
  const std::vector<ReceiverOutput> outputs = Simulate(c);
  test::TempDir dir;
  for (std::size_t r = 0; r < outputs.size(); ++r) {
    const std::string path = dir.File(c.receivers[r].station + "3450.dat");
    test::WriteBytes(path, outputs[r].raw);
    const test::Conversion conversion = test::ConvertAsHost(path);
    ASSERT_EQ(conversion.result, 0);
    EXPECT_EQ(conversion.counts[0], static_cast<int>(outputs[r].truth.size()));
    EXPECT_EQ(conversion.counts[1], 31 * 2) << "ephemerides at the start and at the change of set";
    EXPECT_EQ(conversion.counts[3], 3800 / 20 - 1) << "events";
    for (const test::Message& m : conversion.messages) {
      EXPECT_EQ(m.text.find("Invalid record type"), std::string::npos) << m.text;
      EXPECT_EQ(m.text.find("Too many channels"), std::string::npos) << m.text;
    }
  }
}

// The simulated ionosphere second by second along every track above 10
// degrees, through local night edges (about 07:00 and 21:00 at the pierce
// points) where the broadcast model steps: the geometry-free combination
// (L1 - L2, m) of the truth moves by no step and by less than 1 mm a second,
// and stays within tens of cm of its share of the broadcast model. South of
// about 35 degrees magnetic latitude the solar-minimum coefficients leave no
// day-time term (day_term false): no edge to cross there.
struct Place {
  const char* name;
  double latitude, longitude, hours;
  GpsTime start;
  bool day_term;
};
class SimIonosphere : public testing::TestWithParam<Place> {};

TEST_P(SimIonosphere, GeometryFreeHasNoStepAndFollowsTheBroadcastModel) {
  const Place& p = GetParam();
  const Geodetic at{Radians(p.latitude), Radians(p.longitude), 100.0};
  const Constellation constellation(7, 31, p.start, AddSeconds(p.start, p.hours * 3600.0));
  const double k = (kL1L2Gamma - 1.0) * kSpeedOfLight;  // geometry-free metres per second of L1 delay
  double step = 0.0, step_change = 0.0, broadcast_step = 0.0, edge_error = 0.0, model_error = 0.0;  // largest, m
  for (std::size_t i = 0; i < constellation.Size(); ++i) {
    double gf = 0.0, broadcast = 0.0, last_step = 0.0;  // one second before
    for (int s = 0, arc = 0; s <= p.hours * 3600.0; ++s, ++arc) {
      const GpsTime t = AddSeconds(p.start, s);
      const LookAngles look = LookAt(at, ToEcef(at), SignalTo(constellation.At(i, t), ToEcef(at), t.seconds).satellite);
      if (look.elevation < Radians(10.0)) arc = -1;
      if (arc < 0) continue;
      const double truth_now = k * IonosphereDelay(kDefaultKlobuchar, at, look.elevation, look.azimuth, t.seconds);
      const double broadcast_now = k * KlobucharDelay(kDefaultKlobuchar, at, look.elevation, look.azimuth, t.seconds);
      if (arc > 0) step = std::max(step, std::fabs(truth_now - gf));
      if (arc > 0) broadcast_step = std::max(broadcast_step, std::fabs(broadcast_now - broadcast));
      if (arc > 1) step_change = std::max(step_change, std::fabs(truth_now - gf - last_step));
      edge_error = std::max(edge_error, std::fabs(truth_now - kIonosphereShare * broadcast_now) / (kL1L2Gamma - 1.0));
      model_error = std::max(model_error, std::fabs(truth_now - broadcast_now) / (kL1L2Gamma - 1.0));
      last_step = truth_now - gf, gf = truth_now, broadcast = broadcast_now;
    }
  }
  std::printf("%s: GF per second %.3f mm, its change %.4f mm, broadcast %.1f mm; model error %.3f m, at the edges %.3f m\n",
              p.name, step * 1e3, step_change * 1e3, broadcast_step * 1e3, model_error, edge_error);
  if (p.day_term) {
    EXPECT_GT(broadcast_step, 0.02) << "no night edge crossed";
  }
  EXPECT_LT(step_change, 0.0002) << "a step, or a kink of more than 0.2 mm/s";
  EXPECT_LT(step, 0.001);
  EXPECT_LT(edge_error, 0.5);
}

INSTANTIATE_TEST_SUITE_P(Places, SimIonosphere,
                         testing::Values(Place{"Zurich", 47.37, 8.54, 4.0, {2291, 108000.0}, true},
                                         Place{"Melbourne", -37.81, 144.96, 14.0, {2291, 208800.0}, false},
                                         Place{"Quito", -0.18, -78.47, 6.0, {2291, 122400.0}, true},
                                         Place{"SydneyJune", -33.87, 151.21, 4.0, {2317, 331200.0}, false},
                                         Place{"Tromso", 69.65, 18.96, 12.0, {2317, 0.0}, false},
                                         Place{"HonoluluJune", 21.31, -157.86, 6.0, {2317, 396000.0}, true}),
                         [](const testing::TestParamInfo<Place>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace morvelin::sim
