// The morvelin command-line host beyond convert: time conversions both ways,
// failed writes on standard output, and the sample generator's arguments.
// Runs the built binaries as a user would.
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <sys/wait.h>

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
      "time 0 0", "detect " + dir.File("SITE.sta")};
  for (const std::string& arguments : commands) {
    const Outcome outcome = RunProgram(kCli.string(), arguments, "2>&1 >/dev/full");
    EXPECT_EQ(outcome.exit_code, 2) << arguments;
    EXPECT_EQ(outcome.output, "morvelin: cannot write to standard output: No space left on device\n") << arguments;
  }
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

TEST(MakeSample, HelpAndBadArgumentsWriteNoFile) {
  const fs::path tool = BuildDir() / "tools" / "morvelin-make-sample";
  if (!fs::exists(tool)) GTEST_SKIP() << "the sample generator was not built";
  TempDir dir;
  const struct {
    std::string arguments;
    int exit_code;
    std::string output_start;
  } cases[] = {
      {"-h", 0, "Writes a small deterministic raw data file"},
      {"--help", 0, "Writes a small deterministic raw data file"},
      {"", 106, "OUTPUT is required"},
      {"OUT.dat many", 105, "EPOCHS: Value many not in range 0 to 1000000"},
      {"OUT.dat 2000000", 105, "EPOCHS: Value 2000000 not in range 0 to 1000000"},
      {"-x OUT.dat", 109, "The following argument was not expected: -x"},
  };
  for (const auto& c : cases) {
    const Outcome outcome = RunProgram("cd " + dir.Path() + " && " + tool.string(), c.arguments, "2>&1");
    EXPECT_EQ(outcome.exit_code, c.exit_code) << c.arguments;
    EXPECT_EQ(outcome.output.rfind(c.output_start, 0), 0u) << c.arguments << "\n" << outcome.output;
  }
  EXPECT_TRUE(fs::is_empty(dir.Path())) << "no file was written";
}

}  // namespace
}  // namespace morvelin::test

#endif
