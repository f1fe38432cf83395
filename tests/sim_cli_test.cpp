// morvelin-sim's command line as a user meets it: a wrong command gets its
// own message and writes nothing; --kinematic-receivers moves those alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/harness.h"

namespace morvelin::test {
namespace {

const std::string kSim =
    (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "tools/sim/morvelin-sim").string();

TEST(SimCli, RefusesWrongOptionsWithTheirOwnMessageAndWritesNothing) {
  const std::string here = " --position 47,8,400 --duration 10", two = here + " --position 47,8.01,400";
  const struct {
    std::string arguments, message;
  } cases[] = {
      {" --duration 10 A.dat", "--position LAT,LON,HEIGHT (or --ecef X,Y,Z) is required: where each receiver is"},
      {two + " A.dat", "give one OUT file per receiver (2 receivers, 1 files)"},
      {here + " --cut-end 13219 A.dat",
       "--cut-end 13219 leaves nothing of A.dat (13219 bytes): cut fewer bytes than the file holds"},
      {here + " --interval 7 A.dat",
       "the interval must be a whole number of seconds from 1 to 3600 that divides a day (e.g. 5, 15, 30)"},
      {here + " --interval 30 --start 2291:86415 A.dat",
       "with an interval of 30 s the start must be a whole multiple of 30 s of week (the epochs fall on multiples "
       "of the interval)"},
      {here + " --interval 30 A.dat", "the duration must hold at least one epoch (one interval between epochs)"},
      {two + " A.dat ./A.dat", "./A.dat is named twice as an output (A.dat): give each file once"},
      {here + " --truth A.dat A.dat", "A.dat is named twice as an output (A.dat): give each file once"},
      {two + " --kinematic-receivers 3 A.dat B.dat",
       "--kinematic-receivers: there is no receiver 3 (receivers 1 to 2, in the order of the positions)"},
  };
  for (const auto& c : cases) {
    const TempDir dir;
    const CommandOutcome outcome = RunCommand("cd " + dir.Path() + " && " + kSim + c.arguments + " 2>&1 >/dev/null");
    EXPECT_EQ(outcome.exit_code, 2) << c.arguments;
    EXPECT_EQ(outcome.output, "morvelin-sim: " + c.message + "\n");
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path())) << c.arguments;
  }
}

TEST(SimCli, KinematicReceiversMoveTheListedOnesAlone) {
  const TempDir dir;
  const CommandOutcome outcome = RunCommand(
      "cd " + dir.Path() + " && " + kSim + " --position 47,8,400 --position 47,8.01,400 --position 47,8.02,400" +
      " --duration 5 --kinematic-receivers 2 --truth t.csv A.dat B.dat C.dat >/dev/null" +
      " && cut -d, -f1,6-8 t.csv | sort -u | cut -d, -f1 | uniq -c");  // distinct positions per station
  EXPECT_EQ(outcome.output, "      1 SIM1\n      5 SIM2\n      1 SIM3\n      1 station\n");
}

}  // namespace
}  // namespace morvelin::test
