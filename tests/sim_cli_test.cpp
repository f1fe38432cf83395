// morvelin-sim's command line as a user meets it: each wrong command gets its
// own message and writes nothing; receivers move as asked.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/harness.h"

namespace morvelin::test {
namespace {

namespace fs = std::filesystem;

const fs::path kSim = fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "tools" / "sim" / "morvelin-sim";

class SimCli : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kSim)) GTEST_SKIP() << "morvelin-sim was not built";
  }
  // Runs morvelin-sim in the scratch folder; standard error only.
  CommandOutcome Run(const std::string& arguments) {
    return RunCommand("cd " + dir_.Path() + " && " + kSim.string() + " " + arguments + " 2>&1 >/dev/null");
  }
  TempDir dir_;
};

TEST_F(SimCli, RefusesWrongOptionsWithTheirOwnMessageAndWritesNothing) {
  const std::string here = " --position 47,8,400 --duration 10";
  const struct {
    std::string arguments;
    int exit_code;
    std::string message;
  } cases[] = {
      {"--duration 10 OUT.dat", 2,
       "morvelin-sim: --position LAT,LON,HEIGHT (or --ecef X,Y,Z) is required: where each receiver is\n"},
      {here + " --position 48,8,400 OUT.dat", 2, "morvelin-sim: give one OUT file per receiver (2 receivers, 1 files)\n"},
      {here + " --cut-end 13219 OUT.dat", 2,
       "morvelin-sim: --cut-end 13219 leaves nothing of OUT.dat (13219 bytes): cut fewer bytes than the file holds\n"},
      {here + " --rate 2 --interval 30 OUT.dat", 108, "--rate excludes --interval\nRun with --help for more information.\n"},
      {here + " --interval 7 OUT.dat", 2,
       "morvelin-sim: the interval must be a whole number of seconds from 1 to 3600 that divides a day (e.g. 5, 15, "
       "30)\n"},
      {here + " --interval 0 OUT.dat", 105, "--interval: Value 0 not in range 1 to 3600\nRun with --help for more information.\n"},
      {here + " --interval 30 --start 2291:86415 OUT.dat", 2,
       "morvelin-sim: with an interval of 30 s the start must be a whole multiple of 30 s of week (the epochs fall on "
       "multiples of the interval)\n"},
      {here + " --interval 30 OUT.dat", 2,
       "morvelin-sim: the duration must hold at least one epoch (one interval between epochs)\n"},
      {here + " --position 47,8.01,400 --kinematic-receivers 3 OUT.dat TWO.dat", 2,
       "morvelin-sim: --kinematic-receivers: there is no receiver 3 (receivers 1 to 2, in the order of the "
       "positions)\n"},
      {here + " --kinematic --kinematic-receivers 1 OUT.dat", 108,
       "--kinematic excludes --kinematic-receivers\nRun with --help for more information.\n"},
  };
  for (const auto& c : cases) {
    const CommandOutcome outcome = Run(c.arguments);
    EXPECT_EQ(outcome.exit_code, c.exit_code) << c.arguments;
    EXPECT_EQ(outcome.output, c.message) << c.arguments;
    EXPECT_TRUE(fs::is_empty(dir_.Path())) << c.arguments;
  }
}

TEST_F(SimCli, HelpSaysThePositionIsRequired) {
  const CommandOutcome outcome = RunCommand(kSim.string() + " --help");
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_NE(outcome.output.find("--position TEXT ...         required (or --ecef)"), std::string::npos);
}

// The base stays put, the rover moves: the truth of each as distinct
// positions over the session.
TEST_F(SimCli, KinematicReceiversMoveTheListedOnesAlone) {
  ASSERT_EQ(Run("--position 47,8,400 --position 47,8.01,400 --position 47,8.02,400 --duration 5 --kinematic-receivers "
                "2,3 --truth truth.csv A.dat B.dat C.dat")
                .exit_code,
            0);
  std::istringstream csv(ReadText(dir_.File("truth.csv")));
  std::map<std::string, std::set<std::string>> positions;  // station: X,Y,Z seen
  std::string line;
  std::getline(csv, line);
  while (std::getline(csv, line)) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string f; std::getline(split, f, ',');) fields.push_back(f);
    positions[fields[0]].insert(fields[5] + "," + fields[6] + "," + fields[7]);
  }
  EXPECT_EQ(positions["SIM1"].size(), 1u);
  EXPECT_EQ(positions["SIM2"].size(), 5u);
  EXPECT_EQ(positions["SIM3"].size(), 5u);
}

}  // namespace
}  // namespace morvelin::test
