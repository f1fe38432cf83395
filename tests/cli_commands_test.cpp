// The morvelin command-line host beyond convert: time conversions both ways,
// failed writes on standard output, and one table of exit codes for every
// command.
// Runs the built binaries as a user would.
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "morvelin/gpb.h"
#include "support/harness.h"

namespace morvelin::test {
namespace {

namespace fs = std::filesystem;

fs::path BuildDir() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }

using Outcome = CommandOutcome;

// redirections: what follows the command, e.g. "2>&1" or "2>&1 >/dev/full".
Outcome RunProgram(const std::string& program, const std::string& arguments, const std::string& redirections = "2>&1") {
  return RunCommand(program + " " + arguments + " " + redirections);
}

const fs::path kCli = BuildDir() / "cli" / "morvelin";
const std::string kSample = std::string(MORVELIN_TEST_DATA_DIR) + "/../examples/SIMU3450.dat";

// The sample converted in dir: SIMU3450.gpb, .epp, .sta and .sum beside it.
std::string ConvertedSample(const TempDir& dir) {
  fs::copy_file(kSample, dir.File("SIMU3450.dat"));
  EXPECT_EQ(RunProgram(kCli.string(), "convert -q " + dir.File("SIMU3450.dat"), ">/dev/null 2>&1").exit_code, 0);
  return dir.File("SIMU3450");
}

class CliCommands : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kCli)) GTEST_SKIP() << "the CLI was not built";
  }
};

TEST_F(CliCommands, TimeUsesFullWeeksBothWaysFrom1980To2099) {
  const struct {
    const char* arguments;
    int exit_code;
    const char* output;
  } cases[] = {
      {"0 0", 0, "1980-01-06T00:00:00\n"},
      {"1980-01-06", 0, "0 0\n"},
      {"500 0", 0, "1989-08-06T00:00:00\n"},
      {"1024 0", 0, "1999-08-22T00:00:00\n"},
      {"2300 129600", 0, "2024-02-05T12:00:00\n"},
      {"3000 0", 0, "2037-07-05T00:00:00\n"},
      {"2037-07-05", 0, "3000 0\n"},
      {"6260 431999.5", 0, "2099-12-31T23:59:59.5\n"},
      {"2099-12-31T23:59:59.5", 0, "6260 431999.5\n"},
      {"0 59.6 -d 0", 0, "1980-01-06T00:01:00\n"},
      {"6260 432000", 2, "Error: the time lies after 2099-12-31, beyond the calendar this command converts\n"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = RunProgram(kCli.string(), std::string("time ") + c.arguments);
    EXPECT_EQ(outcome.exit_code, c.exit_code) << c.arguments;
    EXPECT_EQ(outcome.output, c.output) << c.arguments;
  }
}

TEST_F(CliCommands, FailedWritesOnStandardOutputAreReported) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  WriteBytes(dir.File("SITE.sta"), Bytes(100000, 'x'));
  MeasurementFile* file = CreateMeasurementFile(dir.File("SITE.gpb").c_str(), 3, 1.0f, 8192, 12);
  ASSERT_NE(file, nullptr);
  CloseMeasurementFile(file);
  const std::string commands[] = {
      "inspect --csv " + dir.File("SITE.gpb"), "inspect " + dir.File("SITE.gpb"), "inspect " + dir.File("SITE.sta"),
      "time 0 0", "detect " + dir.File("SITE.sta"), "--help", "--version", "rinex " + ConvertedSample(dir) + ".gpb"};
  for (const std::string& arguments : commands) {
    const Outcome outcome = RunProgram(kCli.string(), arguments, "2>&1 >/dev/full");
    EXPECT_EQ(outcome.exit_code, 2) << arguments;
    EXPECT_EQ(outcome.output, "morvelin: cannot write to standard output: No space left on device\n") << arguments;
  }
}

// A standard output that its reader has closed stops a command quietly.
TEST_F(CliCommands, ClosedStandardOutputStops) {
  TempDir dir;
  const std::string sample = ConvertedSample(dir);
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  close(ends[0]);
  const std::string commands[] = {"--help", "time 0 0", "inspect " + sample + ".gpb", "inspect " + sample + ".epp",
                                   "inspect " + sample + ".sum", "detect " + sample + ".dat", "qc " + sample + ".dat",
                                   "rinex " + sample + ".gpb"};
  for (const std::string& arguments : commands) {
    const Outcome outcome = RunProgram(kCli.string(), arguments, "2>&1 >&" + std::to_string(ends[1]));
    EXPECT_EQ(outcome.exit_code, 1) << arguments;
    EXPECT_EQ(outcome.output, "") << arguments;
  }
  close(ends[1]);
}

TEST_F(CliCommands, ExitCodesFollowOneTable) {
  TempDir dir;
  const std::string sample = ConvertedSample(dir);
  const std::string block = "$EPHREC Ver6.02 MORVELIN \nGpsEph { Prn: 3\n}\n";  // a block without its rows
  WriteBytes(dir.File("BAD.epp"), Bytes(block.begin(), block.end()));
  WriteBytes(dir.File("NOT.epp"), Bytes(block.begin() + 26, block.end()));
  const struct {
    std::string arguments;
    int exit_code;
    std::string says;
  } cases[] = {
      {"rinex --week -5 " + sample + ".gpb", 64, "--week: Value -5 not in range 0 to 6260"},
      {"rinex --week 99999 " + sample + ".gpb", 64, "--week: Value 99999 not in range 0 to 6260"},
      {"rinex --date 2100-01-01 " + sample + ".gpb", 64, "--date: must be a day YYYY-MM-DD"},
      {"convert --rinex --week -5 " + sample + ".dat", 64, "--week: Value -5"},
      {"convert --rinex --date 2023-13-45 " + sample + ".dat", 64, "--date: must be a day"},
      {"convert --rinex=4 " + sample + ".dat", 64, "--rinex: RINEX version must be 3.04 or 2.11, not 4"},
      {"convert --rinex=2.11 --long-names " + sample + ".dat", 64, "long file names exist for RINEX 3 only"},
      {"inspect --csv " + sample + ".sta", 64, "apply to measurement files (.gpb) only"},
      {"detect " + dir.File("none.dat"), 2, "none.dat: not found"},
      {"detect " + dir.Path(), 2, ": is a folder"},
      {"rinex -d " + dir.File("new/er") + " " + sample + ".gpb", 0, "new/er/simu345a.23o  (900 epochs)"},
      {"convert -d " + dir.File("never") + " " + dir.File("none.dat"), 2, "none.dat not found"},
      {"convert --rinex --from 2292:172800 -d " + dir.File("late") + " " + sample + ".dat", 0,
       "Warning: none of the 900 epochs is in the time window or on the interval asked for: no RINEX observation"},
      {"convert --doppler " + sample + ".dat", 64, "--doppler requires --rinex"},
      {"convert --long-names " + sample + ".dat", 64, "--long-names requires --rinex"},
      {"convert --week 2292 " + sample + ".dat", 64, "--week requires --rinex"},
      {"convert --rinex --date 2023-12-12 " + sample + ".dat", 64, "(86400.000 s) puts it on 2023-12-11 in GPS week"},
      {"rinex --date 2023-12-12 " + sample + ".gpb", 64, "puts it on 2023-12-11 in GPS week 2292"},
      {"convert --rinex --iono-from " + dir.File("none.23n") + " " + sample + ".dat", 2,
       "morvelin convert: Error: File " + dir.File("none.23n") + " not found (No such file or directory)"},
      {"rinex --iono-from " + sample + ".epp " + sample + ".gpb", 2, ".epp is not a RINEX 2 or 3 navigation file"},
      {"rinex " + sample + ".gpb " + dir.File("BAD.epp"), 2, "BAD.epp: ephemeris block 1 cannot be read"},
      {"rinex --week 2292 " + sample + ".gpb " + dir.File("NOT.epp"), 2, "NOT.epp: not an ephemeris file"},
      {"inspect " + dir.File("NOT.epp"), 2, "NOT.epp: not an ephemeris file"},
      {"rinex " + sample + ".gpb " + dir.File("none.epp"), 2, "Error: File " + dir.File("none.epp") + " not found"},
      {"convert -q --rinex -d " + dir.File("rnx") + " " + sample + ".dat", 0, "epochs written:     900"},
      {"rinex --doppler --iono-from " + dir.File("rnx/simu345a.23n") + " " + sample + ".gpb", 0,
       "simu345a.23n  (31 ephemerides)"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = RunProgram(kCli.string(), c.arguments);
    EXPECT_EQ(outcome.exit_code, c.exit_code) << c.arguments;
    EXPECT_NE(outcome.output.find(c.says), std::string::npos) << c.arguments << ": " << outcome.output;
  }
  EXPECT_FALSE(fs::exists(dir.File("never"))) << "a run that can write nothing makes no folder";
}

// Help is wrapped to the width of the terminal (COLUMNS when there is none).
TEST_F(CliCommands, HelpFitsTheWidth) {
  for (const char* command : {"", "convert", "detect", "inspect", "time"}) {
    const Outcome outcome = RunProgram("COLUMNS=60 " + kCli.string(), std::string(command) + " --help");
    EXPECT_EQ(outcome.exit_code, 0) << command;
    std::istringstream lines(outcome.output);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("Usage: ", 0) != 0) {
        EXPECT_LE(line.size(), 60u) << command << ": " << line;
      }
    }
  }
}

}  // namespace
}  // namespace morvelin::test

#endif
