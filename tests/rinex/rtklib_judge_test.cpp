// RTKLIB, a positioning engine nobody here wrote, judges the RINEX export:
// sessions from the simulator are converted with the RINEX sink attached
// (and once through a .gpb), rnx2rtkp solves them, and its solutions are
// compared with the simulator's truth. Native Linux only; the scratch
// folder is made afresh under the test's working directory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "gnss/geodesy.h"
#include "morvelin/converter.h"
#include "morvelin/rinex.h"
#include "session.h"

namespace morvelin {
namespace {

namespace fs = std::filesystem;
using sim::ReceiverOutput;
using sim::SimulationConfig;

constexpr const char* kConfigDir = MORVELIN_RINEX_TEST_DIR;

struct Solution {
  std::int64_t ms = 0;  // GPS time, ms since the GPS epoch
  gnss::Ecef position;
  int quality = 0;      // 1 fixed, 2 float, 5 single
};

bool HaveRtklib() { return std::system("command -v rnx2rtkp >/dev/null 2>&1") == 0; }

fs::path Scratch(const std::string& name) {
  const fs::path dir = fs::current_path() / "rinex_judge" / name;
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

SimulationConfig Session(gnss::GpsTime start, double duration, std::uint64_t seed) {
  SimulationConfig c;
  c.start = start, c.duration = duration, c.rate = 1, c.seed = seed;
  return c;
}

sim::ReceiverSpec Receiver(const char* station, double lat, double lon, double height) {
  sim::ReceiverSpec r;
  r.station = station;
  r.position = gnss::ToEcef({gnss::Radians(lat), gnss::Radians(lon), height});
  return r;
}

void Write(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Converts a raw data file with the RINEX sink attached; the two paths.
RinexOutputs ToRinex(const fs::path& raw, const fs::path& dir, RinexVersion version) {
  RinexOptions options;
  options.version = version;
  options.creation_time = "20240101 000000 UTC";
  RinexOutputs outputs;
  auto made = MakeRinexSink(options, dir.string(), &outputs);
  EXPECT_TRUE(made.Ok()) << made.Message();
  std::unique_ptr<ConversionSink> sink = made.Ok() ? std::move(*made) : nullptr;
  ConversionRequest request;
  request.input = FileInput{raw.string()};
  request.output_base = (dir / raw.stem()).string();
  request.sinks.push_back(sink.get());
  const ConversionOutcome outcome = Convert(request);
  EXPECT_EQ(outcome.result, ConversionResult::kDone) << outcome.failure;
  return outputs;
}

// Runs rnx2rtkp; every text it writes to its error stream must be a
// progress line: a warning about the files fails the test.
// extra: option lines added to the configuration's for this run.
std::vector<Solution> Solve(const fs::path& dir, const std::string& config, const std::string& arguments,
                            const std::vector<std::string>& files, const std::string& extra = "") {
  const fs::path pos = dir / (config + ".pos"), err = dir / (config + ".err");
  fs::path conf = fs::path(kConfigDir) / (config + ".conf");
  if (!extra.empty()) {
    const fs::path own = dir / (config + ".conf");
    std::ofstream(own) << std::ifstream(conf).rdbuf() << extra << "\n";
    conf = own;
  }
  std::string command = "rnx2rtkp -k " + conf.string() + " " + arguments + " -o " + pos.string();
  for (const std::string& f : files) command += " " + f;
  command += " 2>" + err.string();
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream err_in(err);
  std::stringstream err_text;
  err_text << err_in.rdbuf();
  std::string piece;
  for (char c : err_text.str() + "\n") {
    if (c == '\r' || c == '\n') {
      const bool blank = piece.find_first_not_of(' ') == std::string::npos;
      EXPECT_TRUE(blank || piece.rfind("processing :", 0) == 0) << "rnx2rtkp said: " << piece;
      piece.clear();
    } else {
      piece += c;
    }
  }
  std::vector<Solution> solutions;
  std::ifstream in(pos);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '%') continue;
    std::istringstream fields(line);
    double week = 0, tow = 0;
    Solution s;
    fields >> week >> tow >> s.position.x >> s.position.y >> s.position.z >> s.quality;
    s.ms = std::llround((week * 604800.0 + tow) * 1000.0);
    solutions.push_back(s);
  }
  return solutions;
}

// The true position at a solution's time (within 2 ms), or null.
struct Truth {
  explicit Truth(const std::vector<sim::TruthRow>& rows) {
    for (const sim::TruthRow& row : rows)
      by_ms[std::llround((row.time.week * 604800.0 + row.time.seconds) * 1000.0)] = row.position;
  }
  const gnss::Ecef* At(std::int64_t ms) const {
    for (std::int64_t d : {0, -1, 1, -2, 2})
      if (auto it = by_ms.find(ms + d); it != by_ms.end()) return &it->second;
    return nullptr;
  }
  std::map<std::int64_t, gnss::Ecef> by_ms;
};

struct Errors {
  int compared = 0, fixed = 0;
  double max = 0.0, max_fixed = 0.0, sum_squares = 0.0;
  double Rms() const { return compared > 0 ? std::sqrt(sum_squares / compared) : INFINITY; }
};

Errors Compare(const std::vector<Solution>& solutions, const Truth& truth) {
  Errors e;
  for (const Solution& s : solutions) {
    const gnss::Ecef* t = truth.At(s.ms);
    if (t == nullptr) continue;
    const double d = gnss::Distance(s.position, *t);
    ++e.compared;
    e.sum_squares += d * d;
    e.max = std::max(e.max, d);
    if (s.quality == 1) ++e.fixed, e.max_fixed = std::max(e.max_fixed, d);
  }
  return e;
}

class RtklibJudge : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveRtklib()) GTEST_SKIP() << "rnx2rtkp not installed (Debian package rtklib)";
  }
};

// One hour, static, no noise, no atmosphere: every epoch within 5 cm, in
// both versions: the chain from raw data to RINEX loses nothing.
Errors CleanSpp(const char* name, gnss::GpsTime start, RinexVersion version, bool through_gpb = false) {
  SimulationConfig c = Session(start, 3600.0, 7);
  c.receivers = {Receiver("SPP1", 47.3769, 8.5417, 408.0)};
  c.observation.code_noise = 0.0, c.observation.phase_noise = 0.0;
  c.observation.ionosphere = false, c.observation.troposphere = false;
  const std::vector<ReceiverOutput> out = sim::Simulate(c);
  const fs::path dir = Scratch(name);
  Write(dir / "SPP13450.dat", out[0].raw);
  RinexOutputs files = ToRinex(dir / "SPP13450.dat", dir, version);
  if (through_gpb) {
    const fs::path again = dir / "from_gpb";
    fs::create_directories(again);
    RinexOptions options;
    options.version = version;
    const Status written = WriteRinexFromGpb((dir / "SPP13450.gpb").string(), "", options, again.string(), &files);
    EXPECT_TRUE(written.Ok()) << written.Message();
  }
  const auto solutions = Solve(dir, "spp_clean", "", {files.observation_path, files.navigation_path});
  const Errors e = Compare(solutions, Truth(out[0].truth));
  EXPECT_EQ(e.compared, 3600) << name;
  EXPECT_LT(e.max, 0.05) << name;
  return e;
}

TEST_F(RtklibJudge, CleanSinglePointIsExactInBothVersions) {
  const Errors v3 = CleanSpp("spp_clean_304", {2292, 86400.0}, RinexVersion::k304);
  const Errors v2 = CleanSpp("spp_clean_211", {2292, 86400.0}, RinexVersion::k211);
  std::printf("clean SPP: 3.04 max %.4f m rms %.4f m; 2.11 max %.4f m rms %.4f m\n", v3.max, v3.Rms(), v2.max,
              v2.Rms());
}

TEST_F(RtklibJudge, CleanSinglePointThroughTheMeasurementFile) {
  const Errors e = CleanSpp("spp_clean_gpb", {2292, 86400.0}, RinexVersion::k304, true);
  std::printf("clean SPP from .gpb: max %.4f m rms %.4f m\n", e.max, e.Rms());
}

TEST_F(RtklibJudge, SessionOverTheWeekEndSolvesAsWell) {
  const Errors crossing = CleanSpp("spp_week_end", {2292, 604800.0 - 1800.0}, RinexVersion::k304);
  const Errors crossing2 = CleanSpp("spp_week_end_211", {2292, 604800.0 - 1800.0}, RinexVersion::k211);
  std::printf("week end SPP: 3.04 max %.4f m, 2.11 max %.4f m\n", crossing.max, crossing2.max);
}

TEST_F(RtklibJudge, SinglePointWithNoiseAndAtmosphere) {
  SimulationConfig c = Session({2292, 86400.0}, 3600.0, 11);
  c.receivers = {Receiver("SPP2", 47.3769, 8.5417, 408.0)};
  const std::vector<ReceiverOutput> out = sim::Simulate(c);
  const fs::path dir = Scratch("spp_realistic");
  Write(dir / "SPP23450.dat", out[0].raw);
  const RinexOutputs files = ToRinex(dir / "SPP23450.dat", dir, RinexVersion::k304);
  const Errors e = Compare(Solve(dir, "spp", "", {files.observation_path, files.navigation_path}), Truth(out[0].truth));
  EXPECT_EQ(e.compared, 3600);
  EXPECT_LT(e.Rms(), 3.0);
  std::printf("realistic SPP: 3D rms %.3f m, max %.3f m\n", e.Rms(), e.max);
}

// The navigation file without its ionosphere records: what a reader met
// before the header carried them (RTKLIB then falls back on its own
// coefficients).
fs::path WithoutIonosphere(const std::string& navigation, const fs::path& dir) {
  std::ifstream in(navigation);
  const fs::path stripped = dir / "no_iono.nav";
  std::ofstream out(stripped);
  std::string line;
  while (std::getline(in, line))
    if (line.find("IONOSPHERIC CORR") == std::string::npos) out << line << '\n';
  return stripped;
}

// Single-frequency SPP with the broadcast ionosphere, in Sydney at three
// times of the local day (solar time 10 h 05 min ahead of GPS time): one
// hour each, the simulator's default noise and atmosphere. The header's
// coefficients are those the simulator broadcast; without them RTKLIB
// falls back on its own. The morning session also goes through a .gpb,
// whose files hold no ionosphere: there the parameters come from the
// first export's navigation file.
struct LocalTime {
  const char* name;
  double start;  // seconds of GPS week 2292
};

TEST_F(RtklibJudge, SydneySinglePointWithTheBroadcastIonosphere) {
  const LocalTime sessions[] = {{"morning", 79200.0}, {"day", 14400.0 + 86400.0}, {"night", 21600.0 + 43200.0}};
  for (const LocalTime& when : sessions) {
    SimulationConfig c = Session({2292, when.start}, 3600.0, 17);
    c.receivers = {Receiver("SYDN", -33.8688, 151.2093, 58.0)};
    const std::vector<ReceiverOutput> out = sim::Simulate(c);
    const fs::path dir = Scratch(std::string("sydney_") + when.name);
    Write(dir / "SYDN3450.dat", out[0].raw);
    const RinexOutputs files = ToRinex(dir / "SYDN3450.dat", dir, RinexVersion::k304);
    const Truth truth(out[0].truth);
    const Errors with = Compare(Solve(dir, "spp", "-p 0", {files.observation_path, files.navigation_path}), truth);
    const std::string bare = WithoutIonosphere(files.navigation_path, dir).string();
    const Errors without = Compare(Solve(dir, "spp", "-p 0", {files.observation_path, bare}), truth);
    EXPECT_EQ(with.compared, 3600) << when.name;
    EXPECT_LE(with.Rms(), 1.2) << when.name;
    std::printf("Sydney %s SPP, L1, broadcast ionosphere: 3D rms %.3f m with the header's coefficients, %.3f m "
                "without\n",
                when.name, with.Rms(), without.Rms());
    if (when.start != sessions[0].start) continue;

    const Result<RinexIonosphere> iono = ReadRinexIonosphere(files.navigation_path);
    ASSERT_TRUE(iono.Ok()) << iono.Message();
    RinexOptions options;
    options.ionosphere = *iono;
    const fs::path again = dir / "from_gpb";
    fs::create_directories(again);
    RinexOutputs from_gpb;
    const Status written = WriteRinexFromGpb((dir / "SYDN3450.gpb").string(), "", options, again.string(), &from_gpb);
    ASSERT_TRUE(written.Ok()) << written.Message();
    const Errors gpb = Compare(Solve(again, "spp", "-p 0", {from_gpb.observation_path, from_gpb.navigation_path}), truth);
    EXPECT_LE(gpb.Rms(), 1.2);
    std::printf("Sydney morning through the .gpb with the coefficients given: 3D rms %.3f m\n", gpb.Rms());
  }
}

std::string BaseArgument(const gnss::Ecef& base) {
  char text[128];
  std::snprintf(text, sizeof text, "-r %.4f %.4f %.4f", base.x, base.y, base.z);
  return text;
}

TEST_F(RtklibJudge, StaticBaselineOfFiveKilometresFixesToMillimetres) {
  SimulationConfig c = Session({2292, 86400.0}, 3600.0, 21);
  c.receivers = {Receiver("BASE", 47.3769, 8.5417, 408.0), Receiver("ROVR", 47.4219, 8.5417, 420.0)};
  const std::vector<ReceiverOutput> out = sim::Simulate(c);
  ASSERT_NEAR(gnss::Distance(c.receivers[0].position, c.receivers[1].position), 5000.0, 50.0);
  const fs::path dir = Scratch("static_5km");
  Write(dir / "BASE3450.dat", out[0].raw);
  Write(dir / "ROVR3450.dat", out[1].raw);
  const RinexOutputs base = ToRinex(dir / "BASE3450.dat", dir, RinexVersion::k304);
  const RinexOutputs rover = ToRinex(dir / "ROVR3450.dat", dir, RinexVersion::k304);
  const auto solutions = Solve(dir, "relative", "-p 3 " + BaseArgument(c.receivers[0].position),
                               {rover.observation_path, base.observation_path, base.navigation_path});
  ASSERT_FALSE(solutions.empty());
  const Solution& last = solutions.back();
  const double error = gnss::Distance(last.position, c.receivers[1].position);
  EXPECT_EQ(last.quality, 1) << "ambiguities not fixed";
  EXPECT_LT(error, 0.005);
  const Errors e = Compare(solutions, Truth(out[1].truth));
  std::printf("static 5 km baseline: final error %.4f m, %d of %d epochs fixed\n", error, e.fixed, e.compared);

  // The base where the header puts it: the marker's position with the
  // antenna delta above it is the antenna's.
  const auto from_header = Solve(dir, "relative", "-p 3", {rover.observation_path, base.observation_path,
                                 base.navigation_path}, "ant2-postype=rinexhead");
  ASSERT_FALSE(from_header.empty());
  EXPECT_LT(gnss::Distance(from_header.back().position, c.receivers[1].position), 0.005);
}

TEST_F(RtklibJudge, KinematicRoverFixedSolutionsFollowTheTrajectory) {
  SimulationConfig c = Session({2292, 86400.0}, 1200.0, 5);
  c.receivers = {Receiver("BASE", 47.3769, 8.5417, 408.0), Receiver("ROVR", 47.3859, 8.5417, 410.0)};
  c.receivers[1].kinematic = true;
  const std::vector<ReceiverOutput> out = sim::Simulate(c);
  const fs::path dir = Scratch("kinematic");
  Write(dir / "BASE3450.dat", out[0].raw);
  Write(dir / "ROVR3450.dat", out[1].raw);
  const RinexOutputs base = ToRinex(dir / "BASE3450.dat", dir, RinexVersion::k304);
  const RinexOutputs rover = ToRinex(dir / "ROVR3450.dat", dir, RinexVersion::k304);
  const auto solutions = Solve(dir, "relative", "-p 2 " + BaseArgument(c.receivers[0].position),
                               {rover.observation_path, base.observation_path, base.navigation_path});
  const Errors e = Compare(solutions, Truth(out[1].truth));
  EXPECT_EQ(e.compared, 1200);
  EXPECT_GE(e.fixed, e.compared * 95 / 100);
  EXPECT_LT(e.max_fixed, 0.02);
  std::printf("kinematic: %d of %d epochs fixed, largest fixed error %.4f m, rms %.4f m\n", e.fixed, e.compared,
              e.max_fixed, e.Rms());
}

}  // namespace
}  // namespace morvelin
