// The quality report's parts on series with known answers: the
// combinations, the slip detector, the collector's counts and gaps, the
// verdicts, and the text and JSON writers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "gnss/constants.h"
#include "morvelin/qc.h"
#include "qc/collector.h"
#include "qc/combinations.h"
#include "qc/epoch_steps.h"
#include "qc/slip_detector.h"

namespace morvelin::qc {
namespace {

using gnss::kL1L2Gamma;
using gnss::kL1Wavelength;
using gnss::kL2Wavelength;

// Repeatable noise: a small generator with a Gaussian of unit sigma.
class Noise {
 public:
  explicit Noise(std::uint64_t seed) : state_(seed) {}
  double Next() {
    double sum = 0.0;  // Irwin-Hall: twelve uniforms less six
    for (int i = 0; i < 12; ++i) {
      state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
      sum += static_cast<double>(state_ >> 11) * 0x1p-53;
    }
    return sum - 6.0;
  }

 private:
  std::uint64_t state_;
};

// Observations of a satellite at range rho with ionosphere iono (L1 metres).
struct Signal {
  double p1, p2, l1, l2;
};
Signal Observe(double rho, double iono, double n1 = 0.0, double n2 = 0.0) {
  return {rho + iono, rho + kL1L2Gamma * iono, (rho - iono) / kL1Wavelength + n1,
          (rho - kL1L2Gamma * iono) / kL2Wavelength + n2};
}

TEST(QcCombinations, GeometryAndIonosphereCancelWhereTheyShould) {
  const struct {
    double rho, iono;
  } cases[] = {{20.2e6, 0.0}, {20.2e6, 5.0}, {25.9e6, 12.5}, {21.0e6, -0.3}};
  for (const auto& c : cases) {
    const Signal s = Observe(c.rho, c.iono);
    EXPECT_NEAR(GeometryFree(s.l1, s.l2), (kL1L2Gamma - 1.0) * c.iono, 1e-6) << c.rho;
    EXPECT_NEAR(MelbourneWuebbena(s.p1, s.p2, s.l1, s.l2), 0.0, 1e-6) << c.rho;
    EXPECT_NEAR(Multipath1(s.p1, s.l1, s.l2), 0.0, 1e-6) << c.rho;
    EXPECT_NEAR(Multipath2(s.p2, s.l1, s.l2), 0.0, 1e-6) << c.rho;
    EXPECT_NEAR(CodeMinusPhase(s.p1, s.l1), 2.0 * c.iono, 1e-6) << c.rho;
  }
}

TEST(QcCombinations, SlipsMoveTheCombinationsByKnownAmounts) {
  const struct {
    double n1, n2, geometry_free, wide_lane;
  } cases[] = {
      {1, 0, kL1Wavelength, 1},       {0, 1, -kL2Wavelength, -1},
      {5, 4, 5 * kL1Wavelength - 4 * kL2Wavelength, 1},  // the smallest change of both
      {77, 60, 77 * kL1Wavelength - 60 * kL2Wavelength, 17},
  };
  const Signal before = Observe(22e6, 3.0);
  for (const auto& c : cases) {
    const Signal after = Observe(22e6, 3.0, c.n1, c.n2);
    EXPECT_NEAR(GeometryFree(after.l1, after.l2) - GeometryFree(before.l1, before.l2), c.geometry_free, 1e-6);
    EXPECT_NEAR(MelbourneWuebbena(after.p1, after.p2, after.l1, after.l2) -
                    MelbourneWuebbena(before.p1, before.p2, before.l1, before.l2),
                c.wide_lane, 1e-6);
  }
  EXPECT_NEAR(77 * kL1Wavelength - 60 * kL2Wavelength, 0.0, 1e-9);  // invisible to the geometry-free test
}

struct Step {
  int at;
  double geometry_free, wide_lane, code_phase;
};

struct DetectorCase {
  const char* name;
  bool dual;
  int samples;
  double code_noise;         // m: code minus phase, and the wide lane through the narrow-lane code
  double drift;              // m per sample of the geometry-free and code-minus-phase series
  std::vector<Step> steps;   // lasting steps
  std::vector<int> outliers; // single wild samples
  std::vector<std::pair<int, std::uint8_t>> found;
};

std::vector<std::pair<int, std::uint8_t>> Detect(const DetectorCase& c) {
  SlipDetector detector;
  std::vector<Decision> decisions;
  Noise noise(12345);
  double gf_level = 0.0, mw_level = 0.0, cp_level = 0.0;
  for (int k = 0; k < c.samples; ++k) {
    for (const Step& step : c.steps)
      if (step.at == k) gf_level += step.geometry_free, mw_level += step.wide_lane, cp_level += step.code_phase;
    DetectorSample s;
    s.time = 1000.0 + k;
    s.dual = c.dual;
    s.geometry_free = 0.4 + c.drift * k + gf_level + 0.0028 * noise.Next();
    s.wide_lane = -7.3 + mw_level + c.code_noise / kWideLaneWavelength * 0.71 * noise.Next();
    s.code_phase = 3.0 + c.drift * k + cp_level + c.code_noise * noise.Next();
    for (const int at : c.outliers)
      if (at == k) s.geometry_free += 0.5, s.wide_lane += 9.0, s.code_phase += 25.0;
    detector.Push(s, decisions);
  }
  detector.Break(decisions);
  EXPECT_EQ(decisions.size(), static_cast<std::size_t>(c.samples)) << c.name << ": every sample decided once";
  std::vector<std::pair<int, std::uint8_t>> found;
  for (const Decision& d : decisions)
    if (d.found != 0) found.emplace_back(static_cast<int>(d.sample.time - 1000.0), d.found);
  return found;
}

constexpr std::uint8_t G = kSlipGeometryFree, W = kSlipWideLane, C = kSlipCodeMinusPhase;
const double kHardGeometryFree = 5 * kL1Wavelength - 4 * kL2Wavelength;  // -0.025 m with one wide-lane cycle

class QcDetector : public testing::TestWithParam<DetectorCase> {};

TEST_P(QcDetector, FindsTheStepsAndNothingElse) {
  const DetectorCase& c = GetParam();
  EXPECT_EQ(Detect(c), c.found) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Series, QcDetector,
    testing::Values(
        DetectorCase{"clean dual frequency", true, 600, 0.3, 0.0, {}, {}, {}},
        DetectorCase{"clean with an ionosphere drift", true, 600, 0.3, 0.001, {}, {}, {}},
        DetectorCase{"geometry-free step of 3 cm", true, 300, 0.3, 0.0, {{150, 0.03, 0, 0}}, {}, {{150, G}}},
        DetectorCase{"wide-lane step of 2 cycles", true, 300, 0.3, 0.0, {{120, 0.0, 2, 0}}, {}, {{120, W}}},
        DetectorCase{"5 and 4 cycles: 2.5 cm and one wide-lane cycle", true, 300, 0.3, 0.0,
                     {{80, kHardGeometryFree, 1, 0}}, {}, {{80, G | W}}},
        DetectorCase{"large slip", true, 300, 0.3, 0.0, {{200, 19.0, 85, 0}}, {}, {{200, G | W}}},
        DetectorCase{"two slips three samples apart", true, 300, 0.3, 0.0,
                     {{60, 0.5, 3, 0}, {63, -0.8, 5, 0}}, {}, {{60, G | W}, {63, G | W}}},
        DetectorCase{"a wild sample is no slip", true, 300, 0.3, 0.0, {}, {50, 51 + 100}, {}},
        DetectorCase{"slip at the last sample", true, 100, 0.3, 0.0, {{99, 0.2, 4, 0}}, {}, {{99, G | W}}},
        DetectorCase{"slip at the second sample of an arc", true, 100, 0.3, 0.0, {{1, 0.2, 4, 0}}, {}, {{1, G | W}}},
        DetectorCase{"clean L1 only", false, 600, 0.3, 0.0, {}, {}, {}},
        DetectorCase{"L1 only with an ionosphere drift", false, 600, 0.3, 0.002, {}, {}, {}},
        DetectorCase{"L1 only: 10 cycles", false, 300, 0.3, 0.0, {{140, 0, 0, -10 * kL1Wavelength}}, {},
                     {{140, C}}},
        DetectorCase{"L1 only: a wild code is no slip", false, 300, 0.3, 0.0, {}, {77}, {}},
        DetectorCase{"L1 only: 3 cycles stay below the noise", false, 300, 0.3, 0.0,
                     {{140, 0, 0, 3 * kL1Wavelength}}, {}, {}}),
    [](const testing::TestParamInfo<DetectorCase>& info) {
      std::string name = info.param.name;
      for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return name;
    });

// A session built by hand: which PRNs each epoch holds.
struct Session {
  std::vector<double> times;
  std::vector<std::vector<int>> prns;
};

QcReport Collect(const Session& session, std::vector<int> flagged_at = {}, int flagged_prn = 0) {
  QcOptions options;
  Collector collector(options);
  for (std::size_t e = 0; e < session.times.size(); ++e) {
    std::vector<Observation> obs;
    for (const int prn : session.prns[e]) {
      const Signal s = Observe(21e6 + 100.0 * prn + 50.0 * static_cast<double>(e), 2.0);
      Observation o;
      o.prn = prn, o.dual = prn % 2 == 1, o.p1 = s.p1, o.l1 = s.l1;
      if (o.dual) o.p2 = s.p2, o.l2 = s.l2;
      for (const int at : flagged_at) o.flagged_slip |= prn == flagged_prn && at == static_cast<int>(e);
      obs.push_back(o);
    }
    EpochInput input;
    input.time = session.times[e];
    input.observations = obs;
    collector.AddEpoch(input);
  }
  return collector.Finish();
}

TEST(QcCollector, CountsGapsPassesAndMissingEpochsExactly) {
  Session s;
  // 100 epochs a second apart from 604790 (crossing the week's end), the
  // epoch of second 30 missing. PRN 3 throughout; PRN 5 not at 10-12 and
  // 50; PRN 7 from 20 to 79; PRN 8 at 0-9 and again from 90 (a new pass
  // needs more than 600 s, so this is a gap of 80 s); PRN 2 at 5 only.
  for (int k = 0; k < 101; ++k) {
    if (k == 30) continue;
    s.times.push_back(std::fmod(604790.0 + k, 604800.0));
    std::vector<int> prns = {3};
    if (!(k >= 10 && k <= 12) && k != 50) prns.push_back(5);
    if (k >= 20 && k < 80) prns.push_back(7);
    if (k < 10 || k >= 90) prns.push_back(8);
    if (k == 5) prns.push_back(2);
    s.prns.push_back(prns);
  }
  const QcReport r = Collect(s, {40}, 3);
  EXPECT_EQ(r.session.epochs, 100);
  EXPECT_EQ(r.session.missing_epochs, 1);
  EXPECT_DOUBLE_EQ(r.session.interval, 1.0);
  EXPECT_DOUBLE_EQ(r.session.first_time, 604790.0);
  EXPECT_DOUBLE_EQ(r.session.last_time, 604890.0);
  EXPECT_DOUBLE_EQ(r.session.duration, 100.0);
  EXPECT_EQ(r.session.min_satellites, 1);
  EXPECT_EQ(r.session.epochs_below_four, 99);  // four satellites only at second 5
  struct Expected {
    int prn;
    std::int64_t epochs, dual_epochs;
    int passes, gaps;
    double longest_gap;
    std::int64_t longest_gap_epochs;
    int flagged, found;
  };
  const Expected expected[] = {
      {2, 1, 0, 1, 0, 0.0, 0, 0, 0},      {3, 100, 100, 1, 1, 1.0, 1, 1, 0}, {5, 96, 96, 1, 3, 3.0, 3, 0, 0},
      {7, 59, 59, 1, 1, 1.0, 1, 0, 0},    {8, 21, 0, 1, 1, 80.0, 80, 0, 0},
  };
  ASSERT_EQ(r.satellites.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const QcSatellite& sat = r.satellites[i];
    const Expected& e = expected[i];
    EXPECT_EQ(sat.prn, e.prn);
    EXPECT_EQ(sat.epochs, e.epochs) << e.prn;
    EXPECT_EQ(sat.dual_epochs, e.dual_epochs) << e.prn;
    EXPECT_EQ(sat.passes, e.passes) << e.prn;
    EXPECT_EQ(sat.gaps, e.gaps) << e.prn;
    EXPECT_DOUBLE_EQ(sat.longest_gap, e.longest_gap) << e.prn;
    EXPECT_EQ(sat.longest_gap_epochs, e.longest_gap_epochs) << e.prn;
    EXPECT_EQ(sat.slips_flagged, e.flagged) << e.prn;
    EXPECT_EQ(sat.slips_found, e.found) << e.prn;
  }
  EXPECT_EQ(r.satellites[4].verdict, QcVerdict::kCheck);  // a gap of 80 s
  EXPECT_EQ(r.satellites[1].verdict, QcVerdict::kGood);
  EXPECT_EQ(r.picture.rows.size(), std::size(expected));
}

// Epoch times on the measurement file's 0.02 s grid: a 20 Hz session steps
// 0.04 and 0.06 s by turns, and the interval is still exact; so at every
// rate, with a few gaps among the steps.
TEST(QcInterval, ExactFromTimesRoundedTo2Centiseconds) {
  for (const double rate : {0.05, 0.1, 0.2, 0.25, 0.5, 1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0}) {
    EpochSteps steps;
    double last = 345600.01;
    for (int k = 1; k <= 400; ++k) {
      if (k % 97 == 0) continue;  // a missing epoch now and then
      const double time = std::round((345600.01 + k * rate) / 0.02) * 0.02;
      steps.Add(time - last);
      last = time;
    }
    EXPECT_EQ(steps.Interval(), rate) << rate;
  }
  EpochSteps odd;  // 0.07 s, no standard interval: the mean, to the millisecond
  for (int k = 0; k < 50; ++k) odd.Add(k % 2 == 0 ? 0.06 : 0.08);
  EXPECT_EQ(odd.Interval(), 0.07);
}

TEST(QcCollector, PictureBinsStayBoundedOverADayAt20Hz) {
  QcOptions options;
  Collector collector(options);
  std::vector<Observation> obs(1);
  obs[0].prn = 9;
  obs[0].p1 = 2e7, obs[0].l1 = 2e7 / kL1Wavelength;
  for (std::int64_t k = 0; k < 86400 * 20; k += 97) {  // a sparse walk through the day keeps the test quick
    EpochInput input;
    input.time = 0.05 * static_cast<double>(k);
    input.observations = obs;
    collector.AddEpoch(input);
  }
  const QcReport r = collector.Finish();
  EXPECT_LE(r.picture.epochs.size(), kPictureBins);
  EXPECT_GE(r.picture.epochs.size(), kPictureBins / 2);
  ASSERT_EQ(r.picture.rows.size(), 1u);
  std::uint64_t tracked = 0;
  for (const std::uint32_t n : r.picture.rows[0].tracked) tracked += n;
  EXPECT_EQ(tracked, static_cast<std::uint64_t>(r.satellites[0].epochs));
}

QcReport SmallReport() {
  QcReport r;
  r.session.station = "TEST";
  r.session.week_known = true;
  r.session.week = 2292;
  r.session.first_time = 86400.0, r.session.last_time = 86409.0, r.session.duration = 9.0, r.session.interval = 1.0;
  r.session.epochs = 10, r.session.observations = 18, r.session.mean_satellites = 1.8, r.session.min_satellites = 1;
  r.session.epochs_below_four = 10;
  r.session.has_multipath = true, r.session.mp1_rms = 0.31, r.session.mp2_rms = 0.92;
  QcSatellite a;
  a.prn = 4, a.epochs = 10, a.dual_epochs = 10, a.first_time = 86400.0, a.last_time = 86409.0, a.passes = 1;
  a.slips_found = 1, a.slips = {{86405.0, kSlipGeometryFree | kSlipWideLane}};
  a.has_multipath = true, a.mp1_rms = 0.31, a.mp2_rms = 0.92, a.multipath_samples = 10;
  a.expected = 10, a.expected_tracked = 9;
  QcSatellite b;
  b.prn = 17, b.epochs = 8, b.first_time = 86400.0, b.last_time = 86409.0, b.passes = 1, b.gaps = 1;
  b.longest_gap = 2.0, b.longest_gap_epochs = 2, b.slips_flagged = 1, b.slips = {{86402.0, kSlipFlagged}};
  r.satellites = {a, b};
  JudgeReport(r);
  return r;
}

TEST(QcVerdicts, FollowTheThresholds) {
  const QcReport r = SmallReport();
  EXPECT_EQ(r.satellites[0].verdict, QcVerdict::kCheck);
  EXPECT_EQ(r.satellites[0].reasons,
            (std::vector<std::string>{"MP2 RMS 0.92 m", "1 slip found in the data that the receiver did not flag"}));
  EXPECT_EQ(r.satellites[1].verdict, QcVerdict::kGood);  // one slip in 8 s is below two slips
  EXPECT_EQ(r.session.verdict, QcVerdict::kPoor);
  EXPECT_EQ(r.session.reasons, (std::vector<std::string>{"10 epochs (100.0%) with fewer than four satellites",
                                                         "1 of 2 satellites to check"}));
}

TEST(QcWriters, TextReportWhole) {
  const std::string expected =
      "Quality report of station TEST\n"
      "\n"
      "SUM TEST     epochs       10 of       10 100.0%  obs         18  90.0%  MP1  0.31 m  MP2  0.92 m  slips      2  "
      "obs/slip         9\n"
      "\n"
      "Session\n"
      "  first epoch         2023-12-11 00:00:00 GPS (week 2292, 86400.00 s)\n"
      "  last epoch          2023-12-11 00:00:09 GPS (week 2292, 86409.00 s)\n"
      "  duration            9.0 s\n"
      "  interval            1.00 s\n"
      "  epochs              10 (0 missing at the interval)\n"
      "  observations        18\n"
      "  satellites          mean 1.80 per epoch, minimum 1, 10 epochs with fewer than four\n"
      "  position            unknown (no elevations)\n"
      "  ephemerides         0\n"
      "  event markers       0\n"
      "  verdict             poor\n"
      "                      10 epochs (100.0%) with fewer than four satellites\n"
      "                      1 of 2 satellites to check\n"
      "\n"
      "Satellites\n"
      "  PRN  epochs  dual%  passes  gaps  longest gap  slips: flagged  found   MP1 m   MP2 m  elevation deg  "
      "tracked%  verdict\n"
      "  04      10  100.0       1     0            -               0      1    0.31    0.92              -      90.0  "
      "check\n"
      "  17       8    0.0       1     1        2.0 s               1      0       -       -              -         -  "
      "good\n"
      "\n"
      "Why\n"
      "  PRN 04 check: MP2 RMS 0.92 m; 1 slip found in the data that the receiver did not flag\n"
      "\n"
      "Slips (F flagged by the receiver; found by G geometry-free, W Melbourne-Wuebbena, C code minus phase)\n"
      "  PRN 04  2023-12-11 00:00:05  GW\n"
      "  PRN 17  2023-12-11 00:00:02  F\n"
      "\n"
      "The verdicts' thresholds and the detectors are described in the manual (docs/qc.md).\n";
  EXPECT_EQ(QcReportText(SmallReport()), expected);
}

// A session across the end of the week: its last epoch in the next week.
TEST(QcWriters, TextNamesTheWeekOfEachEnd) {
  QcReport r = SmallReport();
  r.session.first_time = 604795.0, r.session.last_time = 604804.5;
  const std::string text = QcReportText(r);
  EXPECT_NE(text.find("  first epoch         2023-12-16 23:59:55 GPS (week 2292, 604795.00 s)\n"
                      "  last epoch          2023-12-17 00:00:04.50 GPS (week 2293, 4.50 s)\n"),
            std::string::npos)
      << text;
}

TEST(QcWriters, JsonSatelliteWhole) {
  const std::string json = QcReportJson(SmallReport());
  const std::string satellite =
      "    {\n"
      "      \"prn\": 17,\n"
      "      \"epochs\": 8,\n"
      "      \"dual_epochs\": 0,\n"
      "      \"dual_share\": 0.0000,\n"
      "      \"first_epoch_s\": 86400.000,\n"
      "      \"last_epoch_s\": 86409.000,\n"
      "      \"passes\": 1,\n"
      "      \"gaps\": 1,\n"
      "      \"longest_gap_s\": 2.000,\n"
      "      \"longest_gap_epochs\": 2,\n"
      "      \"slips_flagged\": 1,\n"
      "      \"slips_found\": 0,\n"
      "      \"slips\": [\n"
      "        {\n"
      "          \"time_s\": 86402.000,\n"
      "          \"flagged\": true,\n"
      "          \"found_by\": []\n"
      "        }\n"
      "      ],\n"
      "      \"mp1_rms_m\": null,\n"
      "      \"mp2_rms_m\": null,\n"
      "      \"multipath_samples\": 0,\n"
      "      \"elevation_min_deg\": null,\n"
      "      \"elevation_max_deg\": null,\n"
      "      \"expected\": 0,\n"
      "      \"expected_tracked\": 0,\n"
      "      \"tracked_share\": null,\n"
      "      \"verdict\": \"good\",\n"
      "      \"reasons\": []\n"
      "    }\n"
      "  ],\n";
  EXPECT_NE(json.find(satellite), std::string::npos) << json;
  EXPECT_EQ(json.substr(0, 60), "{\n  \"format\": \"morvelin-qc\",\n  \"version\": 1,\n  \"session\": {\n");
  EXPECT_NE(json.find("\"first_epoch_gps\": \"2023-12-11T00:00:00\""), std::string::npos);
  EXPECT_NE(json.find("\"found_by\": [\n            \"geometry-free\",\n            \"melbourne-wuebbena\"\n"),
            std::string::npos);
}

// A sky track draws one line per stretch tracked throughout.
TEST(QcWriters, SkyTrackBreaksAtAGap) {
  QcReport r = SmallReport();
  r.session.has_position = true;
  auto polylines = [](const std::string& svg) {
    std::size_t n = 0;
    for (std::size_t at = svg.find("<polyline"); at != std::string::npos; at = svg.find("<polyline", at + 1)) ++n;
    return n;
  };
  r.picture.sky = {{4, {{90.0f, 20.0f, true}, {95.0f, 30.0f, false}, {200.0f, 25.0f, false}}}};
  const std::size_t joined = polylines(QcReportSvg(r));
  r.picture.sky[0].points[2].after_gap = true;
  EXPECT_EQ(polylines(QcReportSvg(r)), joined + 1);
}

TEST(QcWriters, TextsEscapeWhatTheirFormatsReserve) {
  QcReport r = SmallReport();
  r.session.station = "A\"<&>\\";
  EXPECT_NE(QcReportJson(r).find("\"station\": \"A\\\"<&>\\\\\""), std::string::npos);
  EXPECT_NE(QcReportSvg(r).find("station A&quot;&lt;&amp;&gt;\\"), std::string::npos);
}

// Multipath values from damaged data (the conversion fuzz target's bit
// flips gave an RMS of millions of metres): the picture's axis keeps a
// bounded number of lines instead of looping for minutes, or for ever once
// the step no longer moves the value on.
TEST(QcWriters, AxisOfAHugeOrEndlessValueStaysSmall) {
  for (const float most : {3.0e6f, 1.0e30f, std::numeric_limits<float>::infinity()}) {
    QcReport r = SmallReport();
    r.picture.epochs = {10, 10};
    r.picture.mean_satellites = r.picture.min_satellites = r.picture.max_satellites = {8.0f, 8.0f};
    r.picture.mp_samples = {5, 5};
    r.picture.mp1_rms = r.picture.mp2_rms = {most, 1.0f};
    const std::string svg = QcReportSvg(r);
    EXPECT_LT(svg.size(), 200000u) << most;
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n") << most;
  }
}

// A damaged file whose 1 s epochs leap half a week at every fourth, with
// every satellite's ephemeris at hand: the gaps' elevation samples stay
// within a day's worth plus a few per epoch, so the report is quick to make
// and its expected counts stay bounded.
TEST(QcCollector, LeapingTimesSampleBoundedGaps) {
  QcOptions options;
  Collector collector(options);
  for (int prn = 1; prn <= kMaxPrn; ++prn) {
    gnss::BroadcastEphemeris e;
    e.prn = prn, e.week = 2292, e.sqrt_a = 5153.6, e.e = 0.01, e.i0 = 0.96;
    e.m0 = 0.2 * prn, e.omega0 = 0.5 * prn;
    for (const int toe : {0, 151200, 302400, 453600}) {
      e.toe = e.toc = toe;
      collector.AddEphemeris(e);
    }
  }
  std::vector<Observation> obs(1);
  obs[0].prn = 1, obs[0].p1 = 2e7, obs[0].l1 = 2e7 / kL1Wavelength;
  const int epochs = 1000;
  for (int k = 0; k < epochs; ++k) {
    EpochInput input;
    input.time = ((k / 4) % 2 == 0 ? 10.0 : 302420.0) + k % 4;  // 1 s steps, then a leap
    input.has_position = true, input.latitude = 47.0, input.longitude = 8.0, input.height = 500.0;
    input.observations = obs;
    collector.AddEpoch(input);
  }
  const QcReport r = collector.Finish();
  ASSERT_FALSE(r.satellites.empty());
  for (const QcSatellite& sat : r.satellites) {
    EXPECT_GT(sat.expected, 0) << sat.prn;
    EXPECT_LE(sat.expected, kGapSamplesBase + kGapSamplesPerEpoch * epochs + epochs) << sat.prn;
  }
}

}  // namespace
}  // namespace morvelin::qc
