// The quality report against the simulator's truth: every slip morvelin-sim
// put into the phases without a flag is found at its epoch and no other
// slip is reported, the flagged slips, epochs and gaps are counted exactly,
// and the multipath RMS matches the simulated code noise. The measurement
// file gives the same report as the raw data file, and the picture is
// well-formed XML that renders.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gnss/geodesy.h"
#include "morvelin/qc.h"
#include "session.h"
#include "support/harness.h"

namespace morvelin::sim {
namespace {

// What the measurement file keeps of each satellite, counted plainly: its
// epochs and its interruptions of at most 600 s.
class CountingSink : public ConversionSink {
 public:
  void OnEpoch(const EpochEvent& event) override {
    ++index_;
    for (const SatelliteMeasurement& s : event.satellites) {
      if (!s.PhaseValid() || s.pseudorange == 0.0 || s.prn < 1 || s.prn > 32) continue;
      Track& t = tracks[s.prn];
      if (t.epochs > 0 && t.last_index != index_ - 1 && event.epoch->epoch_time - t.last_time <= 600.0) ++t.gaps;
      ++t.epochs;
      t.last_index = index_;
      t.last_time = event.epoch->epoch_time;
    }
  }
  struct Track {
    std::int64_t epochs = 0, last_index = 0;
    int gaps = 0;
    double last_time = 0.0;
  };
  std::map<int, Track> tracks;

 private:
  std::int64_t index_ = 0;
};

struct Checked {
  QcReport report;
  CountingSink counts;
};

void QcOf(const std::vector<std::uint8_t>& raw, Checked& out) {
  std::unique_ptr<QcSink> sink = MakeQcSink(QcOptions{});
  ConversionRequest request;
  request.input = MemoryInput{raw, "SIMQ3450.dat"};
  request.host_files = false;
  request.sinks = {sink.get(), &out.counts};
  ASSERT_EQ(Convert(request).result, ConversionResult::kDone);
  out.report = sink->Report();
}

struct SimCase {
  const char* name;
  SimulationConfig config;
  double smallest_found = 0.0;  // L1 cycles: smaller unflagged slips may pass unseen (L1 only)
  double time_tolerance = 1e-6; // s between a slip's receiver time and its epoch time
};

SimulationConfig Session(std::uint64_t seed, double duration, int rate = 1) {
  SimulationConfig c;
  c.start = {2292, 86400.0}, c.duration = duration, c.rate = rate, c.seed = seed;
  ReceiverSpec r;
  r.station = "SIMQ";
  r.position = gnss::ToEcef({gnss::Radians(47.3769), gnss::Radians(8.5417), 408.0});
  c.receivers = {r};
  return c;
}

SimulationConfig With(SimulationConfig c, double unflagged, double flagged, double invalid, bool dual = true) {
  c.observation.unflagged_slip_rate = unflagged, c.observation.slip_rate = flagged;
  c.observation.invalid_rate = invalid, c.observation.dual_frequency = dual;
  return c;
}

SimulationConfig WeekEnd() {
  SimulationConfig c = With(Session(16, 1800), 0.002, 0.0005, 0.0);
  c.start = {2291, 604200.0};
  return c;
}

SimulationConfig NoisyCode() {
  SimulationConfig c = With(Session(17, 1800), 0.002, 0.0, 0.0);
  c.observation.code_noise = 0.8;
  return c;
}

const SimCase kCases[] = {
    {"dual_frequency_slips_and_gaps", With(Session(11, 3600), 0.002, 0.0005, 0.002)},
    {"dual_frequency_clean", Session(12, 3600)},
    {"l1_only_clean", With(Session(13, 3600), 0.0, 0.0, 0.0, false)},
    {"l1_only_slips", With(Session(14, 3600), 0.002, 0.0005, 0.0, false), 10.0},
    {"20_hz", With(Session(15, 300, 20), 0.0005, 0.0002, 0.0), 0.0, 0.011},
    {"week_end", WeekEnd()},
    {"noisy_code", NoisyCode()},
};

class SimQc : public testing::TestWithParam<SimCase> {};

TEST_P(SimQc, AgreesWithTheSimulatorsTruth) {
  const SimCase& c = GetParam();
  const ReceiverOutput sim = Simulate(c.config).front();
  Checked got;
  QcOf(sim.raw, got);
  const QcReport& r = got.report;

  // Slips: the truth's receiver times, on the report's time line.
  std::map<int, std::vector<std::pair<double, double>>> unflagged;  // prn -> (time, L1 cycles)
  std::map<int, int> flagged;
  for (const SlipRow& s : sim.slips) {
    double t = s.receiver_time.seconds;
    if (t < c.config.start.seconds - 302400.0) t += 604800.0;
    if (s.flagged)
      ++flagged[s.prn];
    else
      unflagged[s.prn].emplace_back(t, s.l1_cycles);
  }
  int truth_unflagged = 0, found = 0, missed_small = 0;
  for (const QcSatellite& sat : r.satellites) {
    SCOPED_TRACE("PRN " + std::to_string(sat.prn));
    EXPECT_EQ(sat.slips_flagged, flagged[sat.prn]);
    std::vector<double> found_times;
    for (const QcSlip& slip : sat.slips)
      if (!(slip.how & kSlipFlagged)) found_times.push_back(slip.time);
    std::vector<bool> matched(found_times.size());
    for (const auto& [time, cycles] : unflagged[sat.prn]) {
      ++truth_unflagged;
      bool hit = false;
      for (std::size_t i = 0; i < found_times.size(); ++i)
        if (std::fabs(found_times[i] - time) <= c.time_tolerance) hit = matched[i] = true;
      if (hit) {
        ++found;
      } else if (std::fabs(cycles) < c.smallest_found) {
        ++missed_small;
      } else {
        ADD_FAILURE() << "slip of " << cycles << " cycles at " << time << " not found";
      }
    }
    for (std::size_t i = 0; i < found_times.size(); ++i)
      EXPECT_TRUE(matched[i]) << "a slip reported at " << found_times[i] << " where there was none";

    // Epochs and gaps exactly as the data holds them.
    const CountingSink::Track& track = got.counts.tracks[sat.prn];
    EXPECT_EQ(sat.epochs, track.epochs);
    EXPECT_EQ(sat.gaps, track.gaps);

    // Multipath: the code noise, within 20 %.
    if (c.config.observation.dual_frequency && sat.multipath_samples >= 300) {
      EXPECT_NEAR(sat.mp1_rms, c.config.observation.code_noise, 0.2 * c.config.observation.code_noise);
      EXPECT_NEAR(sat.mp2_rms, c.config.observation.code_noise, 0.2 * c.config.observation.code_noise);
    }
  }
  EXPECT_EQ(r.session.epochs, static_cast<std::int64_t>(sim.truth.size()));
  std::int64_t observations = 0;
  for (const auto& [prn, track] : got.counts.tracks) observations += track.epochs;
  EXPECT_EQ(r.session.observations, observations);
  EXPECT_EQ(r.session.missing_epochs, 0);
  EXPECT_TRUE(r.session.week_known);
  EXPECT_EQ(r.session.week, c.config.start.week);
  std::printf("[ %s ] %d unflagged slips, %d found, %d below %.0f cycles unseen\n", c.name, truth_unflagged, found,
              missed_small, c.smallest_found);
  if (c.config.observation.unflagged_slip_rate > 0.0) {
    EXPECT_GT(truth_unflagged, 5);
  }
}

INSTANTIATE_TEST_SUITE_P(Sessions, SimQc, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<SimCase>& info) { return std::string(info.param.name); });

// Converted by the host interface into the four files, the measurement file
// and its ephemeris file give the report of the raw data file (less the
// event markers and the station name, which they do not keep).
TEST(SimQcFiles, MeasurementFileGivesTheRawFilesReport) {
  const struct {
    const char* name;
    SimulationConfig config;
  } cases[] = {{"slips", With(Session(21, 1200), 0.002, 0.002, 0.002)}, {"l1_only", With(Session(22, 600), 0.002, 0.002, 0.0, false)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const ReceiverOutput sim = Simulate(c.config).front();
    Checked from_raw;
    QcOf(sim.raw, from_raw);
    test::TempDir dir;
    const std::string path = dir.File("SIMQ3450.dat");
    test::WriteBytes(path, sim.raw);
    ASSERT_EQ(test::ConvertAsHost(path).result, 0);
    const Result<QcReport> built = BuildQcReportFromFiles(test::WithExtension(path, ".gpb"),
                                                          test::WithExtension(path, ".epp"), QcOptions{});
    ASSERT_TRUE(built.Ok()) << built.Message();
    const QcReport& from_files = *built;
    from_raw.report.session.events = 0;
    from_raw.report.session.station.clear();
    EXPECT_EQ(QcReportText(from_files), QcReportText(from_raw.report));
    int flagged = 0;
    for (const QcSatellite& sat : from_files.satellites) flagged += sat.slips_flagged;
    EXPECT_GT(flagged, 0) << "the lock times show the flagged slips";
  }
}

#if !defined(_WIN32)

bool HaveProgram(const char* name) { return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0; }

// The picture is XML that a renderer draws: checked by xmllint when it is
// there, rendered to PNG by rsvg-convert.
TEST(SimQcPicture, IsWellFormedAndRenders) {
  if (!HaveProgram("rsvg-convert")) GTEST_SKIP() << "rsvg-convert is not installed (Debian: librsvg2-bin)";
  const ReceiverOutput sim = Simulate([] {
    SimulationConfig c = With(Session(31, 1800), 0.001, 0.001, 0.002);
    c.event_interval = 600.0;
    return c;
  }()).front();
  Checked got;
  QcOf(sim.raw, got);
  test::TempDir dir;
  const std::string svg = dir.File("picture.svg"), png = dir.File("picture.png");
  const std::string text = QcReportSvg(got.report);
  test::WriteBytes(svg, test::Bytes(text.begin(), text.end()));
  if (HaveProgram("xmllint")) {
    EXPECT_EQ(std::system(("xmllint --noout " + svg).c_str()), 0);
  }
  ASSERT_EQ(std::system(("rsvg-convert -o " + png + " " + svg).c_str()), 0);
  const test::Bytes image = test::ReadBytes(png);
  ASSERT_GT(image.size(), 24u);
  EXPECT_EQ(std::string(image.begin() + 1, image.begin() + 4), "PNG");
  const auto be32 = [&](std::size_t at) {
    return (std::uint32_t{image[at]} << 24) | (std::uint32_t{image[at + 1]} << 16) | (std::uint32_t{image[at + 2]} << 8) |
           image[at + 3];
  };
  EXPECT_EQ(be32(16), 1200u);  // width from the IHDR chunk
  EXPECT_GT(be32(20), 400u);
}

#endif

// A session with some of its epochs left out: those keep() refuses.
class Filtered : public ConversionSink {
 public:
  Filtered(ConversionSink& to, std::function<bool(double)> keep) : to_(to), keep_(std::move(keep)) {}
  void OnEpoch(const EpochEvent& event) override {
    if (keep_(event.epoch->epoch_time)) to_.OnEpoch(event);
  }
  void OnEphemeris(const EphemerisEvent& event) override { to_.OnEphemeris(event); }

 private:
  ConversionSink& to_;
  std::function<bool(double)> keep_;
};

QcReport FilteredQc(const SimulationConfig& config, std::function<bool(double)> keep) {
  const ReceiverOutput sim = Simulate(config).front();
  std::unique_ptr<QcSink> sink = MakeQcSink(QcOptions{});
  Filtered filtered(*sink, std::move(keep));
  ConversionRequest request;
  request.input = MemoryInput{sim.raw, "SIMQ3450.dat"};
  request.host_files = false;
  request.sinks = {&filtered};
  EXPECT_EQ(Convert(request).result, ConversionResult::kDone);
  return sink->Report();
}

// Half an hour with a hole of ten minutes: the instants in the hole count
// as expected and not tracked, and every sky track breaks across it.
TEST(SimQcHole, LowersTheTrackedShareAndBreaksTheSkyTracks) {
  const QcReport r = FilteredQc(Session(31, 1800), [](double t) { return t < 87000.0 || t >= 87600.0; });
  EXPECT_EQ(r.session.missing_epochs, 600);
  // A satellite above the mask throughout: 180 instants every 10 s, 120 of
  // them outside the hole; its sky track breaks after the 60 before it.
  int throughout = 0;
  for (const QcSatellite& sat : r.satellites) {
    if (sat.expected != 180) continue;
    ++throughout;
    EXPECT_EQ(sat.expected_tracked, 120) << sat.prn;
    for (const QcPicture::SkyTrack& track : r.picture.sky) {
      if (track.prn != sat.prn) continue;
      std::vector<std::size_t> breaks;
      for (std::size_t i = 0; i < track.points.size(); ++i)
        if (track.points[i].after_gap) breaks.push_back(i);
      EXPECT_EQ(breaks, (std::vector<std::size_t>{0, 60})) << sat.prn;
    }
  }
  EXPECT_GE(throughout, 4);
}

// At 15 and 30 s the ionosphere moves the combinations by centimetres
// between the first samples of an arc: no slip found where there is none,
// and every unflagged slip still found.
TEST(SimQcLowRate, FindsTheSlipsAndNoOthers) {
  const struct {
    double interval;
    std::uint64_t seed;
    double unflagged;
    bool dual;
    int found;
  } cases[] = {{30.0, 23, 0.0, true, 0}, {15.0, 23, 0.0, true, 0}, {30.0, 24, 0.0002, true, 11},
               {30.0, 24, 0.0002, false, 14}};
  for (const auto& c : cases) {
    const SimulationConfig config = With(Session(c.seed, c.found == 0 ? 4 * 3600 : 2 * 3600), c.unflagged, 0.0, 0.0, c.dual);
    const double interval = c.interval;
    const QcReport r = FilteredQc(config, [interval](double t) { return std::fmod(t, interval) == 0.0; });
    int found = 0;
    for (const QcSatellite& sat : r.satellites) found += sat.slips_found;
    EXPECT_DOUBLE_EQ(r.session.interval, c.interval) << c.seed;
    EXPECT_EQ(found, c.found) << c.interval << " s, seed " << c.seed << (c.dual ? "" : ", L1 only");
  }
}

// The sample picture in the manual is what the code draws of the sample
// session now (scripts/qc-sample.sh redraws it).
TEST(SimQcPicture, ManualSampleIsCurrent) {
  const std::string sample = std::string(MORVELIN_TEST_DATA_DIR) + "/../examples/SIMU3450.dat";
  const test::Bytes raw = test::ReadBytes(sample);
  ASSERT_FALSE(raw.empty());
  Checked got;
  QcOf(raw, got);
  const std::string expected = test::ReadText(std::string(MORVELIN_TEST_DATA_DIR) + "/../docs/qc-sample.svg");
  EXPECT_EQ(QcReportSvg(got.report), expected) << "run scripts/qc-sample.sh and look at docs/qc-sample.png";
}

}  // namespace
}  // namespace morvelin::sim
