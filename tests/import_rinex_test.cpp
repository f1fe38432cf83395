// The RINEX import judged by round trips: a simulated session converted and
// exported to RINEX, the RINEX imported again, gives the same measurement
// file and summary but for the documented fields, and its RINEX rewrite is
// the RINEX it came from. Malformed RINEX is refused at its line and column.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "import/rinex_import.h"
#include "morvelin/gpb.h"

namespace fs = std::filesystem;
using namespace morvelin;

namespace {

int Shell(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Lines of a text without those that start with skip.
std::string Without(const std::string& text, const std::string& skip) {
  std::istringstream in(text);
  std::string line, out;
  while (std::getline(in, line))
    if (line.find(skip) == std::string::npos) out += line + "\n";
  return out;
}

fs::path Only(const fs::path& dir, const std::string& ending) {
  for (const auto& entry : fs::directory_iterator(dir))
    if (entry.path().string().ends_with(ending)) return entry.path();
  return {};
}

struct Epoch {
  EpochRecord epoch;
  std::vector<ObservationRecord> observations;
};

std::vector<Epoch> ReadAll(const fs::path& path) {
  std::vector<Epoch> all;
  Result<MeasurementFile*> file = OpenGpb(path.string().c_str(), 0);
  if (!file.Ok()) return all;
  Epoch e;
  ObservationRecord observations[kEpochChannels];
  for (;;) {
    Result<bool> read = ReadGpbEpoch(*file, &e.epoch, observations);
    if (!read.Ok() || !*read) break;
    e.observations.assign(observations, observations + e.epoch.measurement_count);
    all.push_back(e);
  }
  CloseMeasurementFile(*file);
  return all;
}

// The measurement files agree but for what RINEX cannot carry: values to
// its 3 decimals, the position to the metre's 4 decimals of its XYZ, the
// third L1 observable only where the export wrote the Doppler.
// Returns how many third observables were compared.
int ExpectSameMeasurements(const fs::path& a, const fs::path& b) {
  const std::vector<Epoch> x = ReadAll(a), y = ReadAll(b);
  EXPECT_EQ(x.size(), y.size());
  if (x.size() != y.size() || x.empty()) return 0;
  int thirds = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const EpochRecord &p = x[i].epoch, &q = y[i].epoch;
    EXPECT_EQ(+p.epoch_time, +q.epoch_time) << i;
    EXPECT_EQ(+p.epoch_flags, +q.epoch_flags) << i;
    EXPECT_NEAR(+p.corrected_epoch_time, +q.corrected_epoch_time, 1e-9) << i;
    EXPECT_NEAR(+p.clock_offset, +q.clock_offset, 1e-3) << i;
    EXPECT_NEAR(+p.latitude, +q.latitude, 1e-8) << i;
    EXPECT_EQ(x[i].observations.size(), y[i].observations.size()) << i;
    if (x[i].observations.size() != y[i].observations.size()) return thirds;
    for (std::size_t k = 0; k < x[i].observations.size(); ++k) {
      const ObservationRecord &o = x[i].observations[k], &r = y[i].observations[k];
      EXPECT_EQ(+o.prn, +r.prn) << i;
      EXPECT_EQ(+o.lock_time, +r.lock_time) << i << " PRN " << int(+o.prn);
      EXPECT_NEAR(+o.l1_pseudorange, +r.l1_pseudorange, 5.01e-4);
      EXPECT_NEAR(+o.l1_phase, +r.l1_phase, 5.01e-4) << i << " PRN " << int(+o.prn);
      EXPECT_NEAR(+o.l2_pseudorange, +r.l2_pseudorange, 5.01e-4);
      EXPECT_NEAR(+o.l2_phase, +r.l2_phase, 5.01e-4);
      if (r.l1_third == 0.0) continue;
      ++thirds;
      EXPECT_NEAR(+o.l1_third, +r.l1_third, 5.01e-4);
    }
  }
  return thirds;
}

struct RoundTrip {
  const char* version;
  const char* sim_options;
  const char* rinex_options;  // of the export and of the rewrite
};

class ImportRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(ImportRoundTrip, GivesTheConvertersFilesAndTheRinexBack) {
  const RoundTrip& c = GetParam();
  const fs::path dir = fs::temp_directory_path() / ("morvelin-import-" + std::to_string(::getpid()) + "-" +
                                                    std::string(c.version));
  fs::remove_all(dir);
  fs::create_directories(dir / "back");
  const std::string dat = (dir / "HARD3450.dat").string();
  ASSERT_EQ(Shell(std::string(MORVELIN_SIM_PATH) + " --start 2291:86400 --duration 900 --position 48.1,11.5,520 "
                "--station HARD " + c.sim_options + " " + dat), 0);
  ASSERT_EQ(Shell(std::string(MORVELIN_CLI_PATH) + " convert -q --rinex=" + c.version + " " + c.rinex_options + " " + dat), 0);
  const fs::path obs = Only(dir, "o"), nav = Only(dir, "n");
  ASSERT_FALSE(obs.empty());
  ASSERT_EQ(Shell(std::string(MORVELIN_CLI_PATH) + " import -q --rinex=" + c.version + " " + c.rinex_options + " " + obs.string() + " " +
                nav.string() + " -d " + (dir / "back").string() + " -o HARD3450"), 0);
  const int thirds = ExpectSameMeasurements(dir / "HARD3450.gpb", dir / "back" / "HARD3450.gpb");
  EXPECT_EQ(thirds > 0, std::string(c.rinex_options) == "--doppler");
  // The summary: the day is the first epoch's (2023-12-04), not the name's.
  std::string summary = Text(dir / "HARD3450.sum");
  summary.replace(summary.find("DAY # 345"), 9, "DAY # 338");
  EXPECT_EQ(summary, Text(dir / "back" / "HARD3450.sum"));
  // The rewrite: every value and loss-of-lock indicator of the export.
  EXPECT_EQ(Without(Text(obs), "PGM / RUN BY"), Without(Text(dir / "back" / obs.filename()), "PGM / RUN BY"));
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, ImportRoundTrip,
    ::testing::Values(RoundTrip{"3.04", "--seed 5 --slip-rate 0.003 --invalid-rate 0.003 --event-interval 300", "--doppler"},
                      RoundTrip{"2.11", "--seed 6 --slip-rate 0.003 --code ca --satellites 32 --mask 0", "--doppler"},
                      RoundTrip{"3.04", "--seed 7 --single-frequency --kinematic", ""}));

// RTKLIB judges the import: rnx2rtkp's single-point solutions of a
// simulated static session's RINEX export and of the same files imported
// and written again from the .gpb and .epp (`morvelin rinex`; the .epp
// holds no ionosphere: --iono-from gives the export's) agree at every
// epoch to a millimetre.
std::map<std::string, std::vector<double>> Solve(const fs::path& obs, const fs::path& nav, const fs::path& pos) {
  EXPECT_EQ(Shell("rnx2rtkp -k " MORVELIN_RINEX_TEST_DIR "/spp.conf -o " + pos.string() + " " + obs.string() + " " +
                  nav.string()), 0);
  std::map<std::string, std::vector<double>> solutions;  // "week tow" -> X, Y, Z
  std::istringstream in(Text(pos));
  std::string line, week, tow;
  for (double x = 0, y = 0, z = 0; std::getline(in, line);)
    if (line[0] != '%' && std::istringstream(line) >> week >> tow >> x >> y >> z) solutions[week + " " + tow] = {x, y, z};
  return solutions;
}

class ImportRtklibJudge : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(ImportRtklibJudge, SolvesTheRoundTripAsTheOriginal) {
  if (Shell("command -v rnx2rtkp") != 0) GTEST_SKIP() << "rnx2rtkp not installed (Debian package rtklib)";
  const RoundTrip& c = GetParam();
  const fs::path dir = fs::temp_directory_path() / ("morvelin-import-rtklib-" + std::to_string(::getpid()) + "-" + c.version);
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string cli = std::string(MORVELIN_CLI_PATH) + " ", dat = (dir / "JUDG3450.dat").string();
  ASSERT_EQ(Shell(std::string(MORVELIN_SIM_PATH) + " --start 2291:86400 --duration 300 --position 47.37,8.54,408 "
                  "--station JUDG " + c.sim_options + " " + dat), 0);
  ASSERT_EQ(Shell(cli + "convert -q --rinex=" + c.version + " " + c.rinex_options + " " + dat), 0);
  const fs::path obs = Only(dir, "o"), nav = Only(dir, "n");
  ASSERT_EQ(Shell(cli + "import -q " + obs.string() + " " + nav.string() + " -d " + (dir / "in").string()), 0);
  const fs::path in = dir / "in" / obs.stem();
  ASSERT_EQ(Shell(cli + "rinex " + in.string() + ".gpb " + in.string() + ".epp --version " + c.version + " " +
                  c.rinex_options + " --iono-from " + nav.string() + " -d " + (dir / "back").string()), 0);
  const auto original = Solve(obs, nav, dir / "original.pos");
  const auto back = Solve(Only(dir / "back", "o"), Only(dir / "back", "n"), dir / "back.pos");
  EXPECT_EQ(original.size(), 300u);
  ASSERT_EQ(original.size(), back.size());
  double largest = 0.0;
  for (const auto& [time, xyz] : original)
    for (int k = 0; k < 3; ++k) largest = std::max(largest, std::fabs(xyz[k] - back.at(time)[k]));
  EXPECT_LT(largest, 1e-3);
  std::printf("RINEX %s imported and written again: rnx2rtkp positions within %.4f m\n", c.version, largest);
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Versions, ImportRtklibJudge,
                         ::testing::Values(RoundTrip{"3.04", "--seed 8", "--doppler"},
                                           RoundTrip{"2.11", "--seed 9 --code ca --satellites 32", ""}));

// A small valid 3.04 file, then the malformed ones made from it.
const char* const kHeader3 =
    "     3.04           OBSERVATION DATA    G                   RINEX VERSION / TYPE\n"
    "TEST                                                        MARKER NAME         \n"
    "  4182118.2100   850861.5663  4724696.3073                  APPROX POSITION XYZ \n"
    "        1.5000        0.0000        0.0000                  ANTENNA: DELTA H/E/N\n"
    "G    4 C1C L1C C2W L2W                                      SYS / # / OBS TYPES \n"
    "  2023    12     4     0     0    0.0000000     GPS         TIME OF FIRST OBS   \n"
    "                                                            END OF HEADER       \n";
const char* const kEpoch3 =
    "> 2023 12 04 00 00  0.0000000  0  2       0.000250000000\n"
    "G03  24143317.535   126798940.420    24143319.308    97927606.493\n"
    "R04  24305478.929   127239038.336    24305481.934    99793316.274\n";

struct Malformed {
  const char* what;
  std::string text;
  const char* message;  // what the refusal says, from the line number on
};

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  text.replace(text.find(from), from.size(), to);
  return text;
}

Status ImportText(const std::string& obs, bool lenient, import::ImportCounts* counts = nullptr) {
  import::RinexImport source;
  if (Status opened = source.OpenMemory(obs, {}, lenient); !opened.Ok()) return opened;
  std::uint8_t block[4096];
  while (source.Read(block, sizeof block) > 0) {
  }
  if (counts != nullptr) *counts = source.Counts();
  return source.Failure();
}

TEST(ImportMalformed, RefusedAtItsLineAndColumn) {
  const std::string good = std::string(kHeader3) + kEpoch3;
  const std::vector<Malformed> cases = {
      {"no version record", Replace(good, "RINEX VERSION / TYPE", "COMMENT             "), "1:61: the first"},
      {"no END OF HEADER", Replace(kHeader3, "END OF HEADER", "COMMENT      "),
       "7:1: the header ends"},
      {"no observation types", Replace(good, "SYS / # / OBS TYPES", "COMMENT            "), "7:61: missing the GPS"},
      {"a version not read", Replace(good, "     3.04", "     4.01"), "1:1: RINEX version"},
      {"epoch line cut", Replace(good, "> 2023 12 04 00 00  0.0000000  0  2       0.000250000000", "> 2023 12 04"),
       "8:14: bad epoch time"},
      {"epoch without '>'", Replace(good, "> 2023", "  2023"), "8:1: an epoch line"},
      {"wrong column of a value", Replace(good, "G03  24143317.535", "G03          24143317.535"), "9:20: bad observation"},
      {"a letter in a value", Replace(good, "126798940.420", "1267989x0.420"), "9:20: bad observation value"},
      {"bad LLI", Replace(good, "126798940.420 ", "126798940.420X"), "9:34: bad loss-of-lock"},
      {"file ends inside an epoch", good.substr(0, good.size() - 66), "9:1: the file ends inside an epoch"},
      {"bad epoch flag", Replace(good, "0.0000000  0  2", "0.0000000  9  2"), "8:32: bad epoch flag"},
  };
  for (const Malformed& c : cases) {
    const Status status = ImportText(c.text, false);
    ASSERT_FALSE(status.Ok()) << c.what;
    EXPECT_NE(status.Message().find(std::string("memory.obs:") + c.message), std::string::npos)
        << c.what << ": " << status.Message();
  }
}

TEST(ImportMalformed, LenientPassesOverTheEpochWithACount) {
  const std::string text = std::string(kHeader3) + Replace(kEpoch3, "126798940.420", "1267989x0.420") + kEpoch3;
  import::ImportCounts counts;
  ASSERT_TRUE(ImportText(text, true, &counts).Ok());
  EXPECT_EQ(counts.observation.skipped_epochs, 1);
  EXPECT_EQ(counts.observation.skipped_lines, 1);  // the other system's line, up to the next epoch
  EXPECT_EQ(counts.epochs, 1);
  EXPECT_EQ(counts.observation.other_systems, 1);
}

}  // namespace

namespace {

// The command line: a malformed line refused (exit 2) leaves the earlier
// outputs as they were; --lenient imports the rest (exit 3).
TEST(ImportCommand, RefusalLeavesTheEarlierOutputs) {
  const fs::path dir = fs::temp_directory_path() / ("morvelin-import-cli-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string good = std::string(kHeader3) + kEpoch3;
  std::ofstream(dir / "site.obs") << good;
  const std::string cli = std::string(MORVELIN_CLI_PATH) + " import -q ";
  ASSERT_EQ(Shell(cli + (dir / "site.obs").string()), 0);
  const std::string before = Text(dir / "site.gpb");
  ASSERT_FALSE(before.empty());
  std::ofstream(dir / "site.obs") << good << Replace(kEpoch3, "0.0000000  0", "1.0000000  0")
                                  << Replace(Replace(kEpoch3, "0.0000000  0", "2.0000000  0"), "126798940.420",
                                             "1267989x0.420");
  const int refused = std::system((cli + (dir / "site.obs").string() + " 2>" + (dir / "err").string()).c_str());
  EXPECT_EQ(WEXITSTATUS(refused), 2);
  EXPECT_NE(Text(dir / "err").find("site.obs:15:20: bad observation value"), std::string::npos) << Text(dir / "err");
  EXPECT_EQ(Text(dir / "site.gpb"), before);
  EXPECT_EQ(Shell(cli + "--lenient " + (dir / "site.obs").string()), 3);
  EXPECT_EQ(Text(dir / "site.gpb").size(), before.size() + sizeof(EpochRecord) + sizeof(ObservationRecord));
  fs::remove_all(dir);
}

}  // namespace
