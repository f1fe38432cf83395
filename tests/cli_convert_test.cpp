// The morvelin command-line host: convert, detect, help, exit codes, and
// Ctrl-C ending a run cleanly. Runs the built binary as a user would.
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "support/harness.h"

namespace morvelin::test {
namespace {

namespace fs = std::filesystem;


using Outcome = CommandOutcome;

Outcome RunCli(const std::string& arguments) { return RunCommand(CliPath() + " " + arguments + " 2>&1"); }

RawBuilder SmallRun() {
  RawBuilder raw;
  raw.Write<AntennaHeightRecord>({1.25});
  for (int i = 0; i < 3; ++i) raw.Measurement(345600000.0 + 1000.0 * i, 0.0, {RawSatellite{}, RawSatellite{2}});
  return raw;
}

class Cli : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(CliPath())) GTEST_SKIP() << "the CLI was not built";
  }
};

TEST_F(Cli, ConvertPrintsMessagesWithTimesAndTheCounts) {
  TempDir dir;
  std::string path = dir.File("ABCD1230.DAT");
  SmallRun().WriteTo(path);
  Outcome outcome = RunCli("convert " + path);
  EXPECT_EQ(outcome.exit_code, 0) << outcome.output;
  EXPECT_NE(outcome.output.find("         -  Antenna height is 1.250 metres"), std::string::npos) << outcome.output;
  EXPECT_NE(outcome.output.find("epochs written:     3"), std::string::npos) << outcome.output;
  EXPECT_NE(outcome.output.find("station lines:      1"), std::string::npos) << outcome.output;
  EXPECT_EQ(outcome.output.find('\r'), std::string::npos) << "no progress bar when stderr is not a terminal";
  EXPECT_TRUE(FileExists(dir.File("ABCD1230.gpb")));
}

TEST_F(Cli, ExitCodes) {
  TempDir dir;
  std::string good = dir.File("GOOD1230.DAT");
  SmallRun().WriteTo(good);
  struct Case {
    std::string arguments;
    int exit_code;
    std::string expected_text;
  } cases[] = {
      {"convert " + dir.File("MISSING.DAT"), 2, "Error: File " + dir.File("MISSING.DAT") + " not found"},
      {"convert " + good + " " + dir.File("MISSING.DAT"), 2, "epochs written:     3"},
      {"--help", 0, "convert"},
      {"convert --help", 0, "--kinematic"},
      {"detect --help", 0, "raw data file"},
      {"", 64, "A subcommand is required"},
      {"convert --no-such-option " + good, 64, "no-such-option"},
      {"detect " + good, 1, "not a raw data file"},
  };
  for (const Case& c : cases) {
    Outcome outcome = RunCli(c.arguments);
    EXPECT_EQ(outcome.exit_code, c.exit_code) << c.arguments << "\n" << outcome.output;
    EXPECT_NE(outcome.output.find(c.expected_text), std::string::npos) << c.arguments << "\n" << outcome.output;
  }
}

TEST_F(Cli, DetectRecognisesARecording) {
  TempDir dir;
  std::string path = dir.File("SITE.DAT");
  RawBuilder raw;
  for (int i = 0; i < 12; ++i) raw.Measurement(1000.0 * i, 0.0, {RawSatellite{}});
  raw.WriteTo(path);
  Outcome outcome = RunCli("detect " + path);
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(outcome.output, path + ": raw data file\n");
}

TEST_F(Cli, InspectListsTheEphemeridesReadBack) {
  TempDir dir;
  std::string path = dir.File("EPHS1230.DAT");
  RawBuilder raw;
  for (std::uint8_t prn : {3, 200})
    raw.Write<EphemerisRecord>({.prn = prn, .iode = 77, .toe = 432000, .eccentricity = 0.0125, .sqrt_a = 5153.5});
  raw.WriteTo(path);
  ASSERT_EQ(RunCli("convert " + path).exit_code, 3);  // no measurement epoch at all
  Outcome outcome = RunCli("inspect " + WithExtension(path, ".epp"));
  EXPECT_EQ(outcome.exit_code, 0) << outcome.output;
  EXPECT_EQ(outcome.output,
            "PRN   3  IODE  77  toe 432000  sqrt(A) 5153.50000000000  e 0.0125000000000000\n"
            "PRN 200  IODE  77  toe 432000  sqrt(A) 5153.50000000000  e 0.0125000000000000\n");
  EXPECT_EQ(RunCli("inspect " + dir.File("NONE.epp")).exit_code, 2);
}

TEST_F(Cli, TimeConvertsBothWays) {
  struct Case {
    std::string arguments;
    int exit_code;
    std::string output;
  } cases[] = {
      {"time 1303 518400.25", 0, "2005-01-01T00:00:00.25\n"},
      {"time 2005-01-01T00:00:00.25", 0, "1303 518400.25\n"},
      {"time 2024-06-30T12:00:00", 0, "2321 43200\n"},
      {"time tomorrow", 2, ""},
  };
  for (const Case& c : cases) {
    Outcome outcome = RunCli(c.arguments);
    EXPECT_EQ(outcome.exit_code, c.exit_code) << c.arguments << "\n" << outcome.output;
    if (c.exit_code == 0) {
      EXPECT_EQ(outcome.output, c.output) << c.arguments;
    }
  }
}

// Ctrl-C while the input is still arriving: the run ends cleanly (summary
// written, files closed) and the exit code is 1.
class Interrupt : public Cli, public testing::WithParamInterface<int> {};

// Ctrl-C, SIGTERM and SIGHUP each end the run as Abort does for a host.
TEST_P(Interrupt, StopsTheRunCleanly) {
  TempDir dir;
  std::string path = dir.File("FIFO1230.DAT");
  ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
  std::string log = dir.File("log.txt");
  const std::string later = dir.File("LATE1230.DAT");  // not reached: says so in its JSON line
  SmallRun().WriteTo(later);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(out, 2);
    execl(CliPath().c_str(), "morvelin", "convert", "--json", "-d", dir.Path().c_str(), path.c_str(), later.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  // A write to the pipe after its reader went fails here instead of
  // killing the test (SIGPIPE), so that a failure says which write it was.
  void (*previous)(int) = signal(SIGPIPE, SIG_IGN);
  int writer = open(path.c_str(), O_WRONLY);  // waits for the CLI to open its input
  ASSERT_GE(writer, 0);
  Bytes first = SmallRun().Get();
  EXPECT_EQ(write(writer, first.data(), first.size()), static_cast<ssize_t>(first.size())) << std::strerror(errno);
  usleep(200 * 1000);
  kill(child, GetParam());
  usleep(200 * 1000);
  // More records arrive after the interrupt; the run has stopped reading
  // them, and may have closed its end already (a slower build, under a
  // sanitizer, gets there first): the write may fail.
  Bytes more = SmallRun().Get();
  [[maybe_unused]] ssize_t written = write(writer, more.data(), more.size());
  close(writer);
  signal(SIGPIPE, previous);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << ReadText(log);
  EXPECT_NE(ReadText(log).find("\"result\":\"stopped\""), std::string::npos) << ReadText(log);
  EXPECT_NE(ReadText(log).find("not converted: the run was stopped before this file"), std::string::npos);
  EXPECT_NE(ReadText(dir.File("FIFO1230.sum")).find("FLAGS SUMMARY"), std::string::npos);
  EXPECT_EQ((ReadBytes(dir.File("FIFO1230.gpb")).size() - 202) % 2, 0u) << "whole epochs of two satellites";
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupt, testing::Values(SIGINT, SIGTERM, SIGHUP));

// Outputs of a run, .gpb creation stamp aside.
std::vector<Bytes> Outputs(const std::string& base) {
  std::vector<Bytes> outputs;
  for (const char* extension : {".gpb", ".epp", ".sum", ".sta"}) {
    Bytes bytes = ReadBytes(base + extension);
    outputs.push_back(extension == std::string(".gpb") ? WithoutGpbStamp(bytes) : bytes);
  }
  return outputs;
}

// -d writes into a folder of its own, -j converts in threads: the files
// are those of a plain run, and the day comes from the bare name however
// the path was typed.
TEST_F(Cli, OutputFolderAndThreadsGiveTheSameFiles) {
  TempDir dir;
  fs::create_directory(dir.File("sub"));
  std::vector<std::string> inputs;
  for (const char* name : {"SITE1230.DAT", "SITE1240.DAT", "SITE1250.DAT", "SITE1260.DAT"}) {
    inputs.push_back(dir.File("sub/") + name);
    SmallRun().WriteTo(inputs.back());
  }
  std::string all;
  for (const std::string& input : inputs) all += " " + input;
  ASSERT_EQ(RunCli("convert -q" + all).exit_code, 0);
  Outcome threaded = RunCli("convert -j 3 -d " + dir.File("out/new") + all);
  ASSERT_EQ(threaded.exit_code, 0) << threaded.output;
  for (const std::string& input : inputs) {
    const std::string name = fs::path(input).stem().string();
    EXPECT_EQ(Outputs(dir.File("sub/" + name)), Outputs(dir.File("out/new/" + name))) << name;
    EXPECT_NE(ReadText(dir.File("sub/" + name + ".sum")).find("DAY # " + name.substr(4, 3)), std::string::npos);
    EXPECT_NE(threaded.output.find(input + ":   epochs written:     3"), std::string::npos) << threaded.output;
  }
  EXPECT_EQ(RunCli("convert -d " + dir.File("sub/SITE1230.DAT") + " " + inputs[0]).exit_code, 2);
}

// What the command says of inputs it cannot take as they are.
TEST_F(Cli, DamagedCollidingAndUnusualInputs) {
  TempDir dir;
  const std::string good = dir.File("GOOD1230.dat");
  SmallRun().WriteTo(good);
  Bytes cut = SmallRun().Get();
  cut.resize(cut.size() - 5);
  WriteBytes(dir.File("CUTS1230.dat"), cut);
  WriteBytes(dir.File("JUNK1230.dat"), Bytes(300, 0x55));
  SmallRun().WriteTo(dir.File("GOOD1230.DAT"));
  struct Case {
    std::string arguments;
    int exit_code;
    std::string expected_text;
  } cases[] = {
      {"convert " + dir.File("CUTS1230.dat"), 3, "damaged: a record cut by the end of the file"},
      {"convert --strict " + dir.File("CUTS1230.dat"), 2, "refused (--strict): a record cut"},
      {"convert --strict --json " + dir.File("CUTS1230.dat"), 2, "\"reason\":\"a record cut by the end of the file\""},
      {"convert " + dir.File("JUNK1230.dat"), 3, "300 bytes passed over between records, no measurement epoch"},
      {"convert " + good + " " + dir.File("GOOD1230.DAT"), 2, "the output of " + good + " has that name"},
      {"convert /dev/null", 2, "not a regular file: give -d DIR"},
      {"convert -d " + dir.Path() + " -", 64, "standard input ('-') is converted with -d DIR and -o NAME"},
      {"convert -q --json " + good, 0, "\"counts\":{\"ephemerides\":0,\"epochs\":3,\"events\":0,\"station_lines\":1}"},
      {"convert -d " + dir.File("in") + " -o PIPE1230.dat - < " + good, 0, "epochs written:     3"},
  };
  for (const Case& c : cases) {
    Outcome outcome = RunCli(c.arguments);
    EXPECT_EQ(outcome.exit_code, c.exit_code) << c.arguments << "\n" << outcome.output;
    EXPECT_NE(outcome.output.find(c.expected_text), std::string::npos) << c.arguments << "\n" << outcome.output;
  }
  EXPECT_EQ(Outputs(dir.File("in/PIPE1230")).size(), 4u);
  EXPECT_NE(ReadText(dir.File("in/PIPE1230.sum")).find("DAY # 123"), std::string::npos);
}

// RINEX and the quality report come from the same single pass, beside the outputs.
TEST_F(Cli, ConvertWritesRinexAndTheQualityReportBesideTheOutputs) {
  TempDir dir;
  RawBuilder raw = SmallRun();
  raw.Write<IonosphereRecord>({{1e-8, 0.0, 0.0, 0.0}, {9e4, 0.0, 0.0, 0.0}});  // to the export's thread, in turn
  raw.WriteTo(dir.File("QUAL1230.dat"));
  Outcome refused = RunCli("convert -q --rinex " + dir.File("QUAL1230.dat"));
  EXPECT_EQ(refused.exit_code, 2) << refused.output;
  EXPECT_NE(refused.output.find("--week"), std::string::npos) << refused.output;
  Outcome outcome = RunCli("convert -q --qc --qc-json --rinex --week 2292 -d " + dir.File("out") + " " +
                           dir.File("QUAL1230.dat"));
  ASSERT_EQ(outcome.exit_code, 0) << outcome.output;
  std::string observation;  // named as RINEX users expect: station, day of year, year
  for (const auto& entry : fs::directory_iterator(dir.File("out")))
    if (entry.path().extension() == ".23o") observation = ReadText(entry.path().string());
  EXPECT_NE(observation.find("RINEX VERSION / TYPE"), std::string::npos);
  EXPECT_NE(ReadText(dir.File("out/QUAL1230.qc.txt")).find("Quality report"), std::string::npos);
  EXPECT_NE(ReadText(dir.File("out/QUAL1230.qc.svg")).find("<svg"), std::string::npos);
  EXPECT_NE(ReadText(dir.File("out/QUAL1230.qc.json")).find("\"epochs\""), std::string::npos);
}

// A closed pipe stops the run as Ctrl-C does.
TEST_F(Cli, ClosedPipeStopsTheRun) {
  TempDir dir;
  RawBuilder raw;
  for (int i = 0; i < 20000; ++i) raw.Measurement(100000.0 + 1000.0 * i, 0.0, {RawSatellite{}, RawSatellite{2}});
  raw.WriteTo(dir.File("LONG1230.dat"));
  const std::string command = "sh -c '" + CliPath() + " convert " + dir.File("LONG1230.dat") + "; echo $? > " +
                              dir.File("code") + "' | head -c 1 > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string code = ReadText(dir.File("code"));
  EXPECT_EQ(code, "1\n");
  EXPECT_NE(ReadText(dir.File("LONG1230.sum")).find("FLAGS SUMMARY"), std::string::npos);
}

}  // namespace
}  // namespace morvelin::test

#endif
