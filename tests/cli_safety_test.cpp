// A hostile user of `morvelin convert`: runs that once destroyed an input or
// earlier outputs, wrote where they were not asked to, or claimed success.
// Each row runs the built command in a folder prepared for it and compares
// every file of the folder, byte for byte, with what it must be afterwards.
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "support/harness.h"

namespace morvelin::test {
namespace {

namespace fs = std::filesystem;

std::string Sample() { return std::string(MORVELIN_TEST_DATA_DIR) + "/../examples/SIMU3450.dat"; }

// Every file under folder (names relative to it) with its bytes; folders as "/".
std::map<std::string, Bytes> Tree(const std::string& folder) {
  std::map<std::string, Bytes> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).string();
    files[name] = entry.is_directory() ? Bytes{'/'} : ReadBytes(entry.path().string());
  }
  return files;
}

// A process id that no process has now: its leftovers are stale.
pid_t GonePid() {
  for (pid_t pid = 4000000; pid > 1000; --pid)
    if (kill(pid, 0) != 0 && errno == ESRCH) return pid;
  return 0;
}

struct Row {
  const char* name;
  std::function<void(const std::string& dir)> prepare;  // beside a copy of the sample, SIMU3450.dat
  std::string command;                                 // run in dir
  int exit_code;
  std::string says;  // in standard output or error
  // What must hold of the folder afterwards, given the files before.
  std::function<void(const std::map<std::string, Bytes>& before, const std::map<std::string, Bytes>& after)> check;
};

void Unchanged(const std::map<std::string, Bytes>& before, const std::map<std::string, Bytes>& after) {
  EXPECT_TRUE(before == after) << "the folder's files changed";
}

TEST(CliSafety, HostileUser) {
  if (!fs::exists(CliPath())) GTEST_SKIP() << "the CLI was not built";
  const std::string cli = CliPath();
  const Row rows[] = {
      {"an input with a RINEX name is read, never written",
       [](const std::string& dir) { fs::copy_file(dir + "/SIMU3450.dat", dir + "/simu345a.23o"); },
       cli + " convert -q --rinex simu345a.23o", 0, "epochs written:     900",
       [](const auto& before, const auto& after) {
         EXPECT_TRUE(after.at("simu345a.23o") == before.at("SIMU3450.dat"));
         EXPECT_EQ(after.count("simu345b.23o"), 1u) << "the RINEX file takes the next session character";
       }},
      {"two sessions of one day do not share a RINEX name",
       [](const std::string& dir) { fs::copy_file(dir + "/SIMU3450.dat", dir + "/SIMU3451.dat"); },
       cli + " convert -q -j 2 --rinex SIMU3450.dat SIMU3451.dat", 0, "",
       [](const auto&, const auto& after) {
         ASSERT_EQ(after.count("simu345a.23o") + after.count("simu345b.23o"), 2u);
         EXPECT_EQ(after.at("simu345a.23o").size(), after.at("simu345b.23o").size());
       }},
      {"a folder in the way of the RINEX file fails the run and keeps the earlier outputs",
       [cli](const std::string& dir) {
         RunCommand("cd " + dir + " && " + cli + " convert -q --rinex --qc SIMU3450.dat");
         fs::remove(dir + "/simu345a.23o");
         fs::create_directory(dir + "/simu345a.23o");
       },
       cli + " convert -q --rinex --qc SIMU3450.dat", 2, "simu345a.23o (Is a directory)", Unchanged},
      {"the outputs of two inputs are the same file",
       [](const std::string& dir) { fs::create_directory(dir + "/b"), fs::copy_file(dir + "/SIMU3450.dat", dir + "/b/SIMU3450.dat"); },
       cli + " convert -d out SIMU3450.dat b/SIMU3450.dat", 2, "the output of SIMU3450.dat has that name", nullptr},
      {"-o with a folder part", nullptr, cli + " convert -d out -o ../EVIL3450.dat - < SIMU3450.dat", 64,
       "bare file name", Unchanged},
      {"-o hidden", nullptr, cli + " convert -d out -o .dat - < SIMU3450.dat", 64, "bare file name", Unchanged},
      {"-o with a named input", nullptr, cli + " convert -o X.dat SIMU3450.dat", 64, "cannot rename a named file",
       Unchanged},
      {"a device needs -d", nullptr, cli + " convert /dev/stdin < SIMU3450.dat", 2, "give -d DIR", Unchanged},
      {"the leftover of a killed run is removed",
       [](const std::string& dir) {
         WriteBytes(dir + "/SIMU3450.gpb." + std::to_string(GonePid()) + "-1.morvelin-tmp", Bytes(10, 1));
       },
       cli + " convert -q SIMU3450.dat", 0, "",
       [](const auto&, const auto& after) {
         for (const auto& [name, bytes] : after) EXPECT_EQ(name.find("morvelin-tmp"), std::string::npos) << name;
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    fs::copy_file(Sample(), dir.File("SIMU3450.dat"));
    if (row.prepare) row.prepare(dir.Path());
    const auto before = Tree(dir.Path());
    const CommandOutcome outcome = RunCommand("cd " + dir.Path() + " && " + row.command + " 2>&1");
    EXPECT_EQ(outcome.exit_code, row.exit_code) << outcome.output;
    EXPECT_NE(outcome.output.find(row.says), std::string::npos) << outcome.output;
    if (row.check) row.check(before, Tree(dir.Path()));
  }
}

// A working folder deeper than the system's path limit: refused with the
// system's reason, nothing written, no exception out of the command.
TEST(CliSafety, PathBeyondTheSystemLimit) {
  if (!fs::exists(CliPath())) GTEST_SKIP() << "the CLI was not built";
  TempDir dir;
  const std::string part(200, 'd');
  std::string steps = "cd " + dir.Path();
  for (int i = 0; i < 22; ++i) steps += " && mkdir " + part + " && cd -P " + part;
  const CommandOutcome outcome =
      RunCommand(steps + " && cp " + Sample() + " . && " + CliPath() + " convert --json SIMU3450.dat; echo \" exit $?\"; ls");
  EXPECT_NE(outcome.output.find("\"reason\":\"File name too long\""), std::string::npos) << outcome.output;
  EXPECT_NE(outcome.output.find(" exit 2\nSIMU3450.dat\n"), std::string::npos) << outcome.output;
}

// The disk fills while a later run writes: the run fails with the system's
// reason, claims no counts, and the earlier good outputs stay as they were.
TEST(CliSafety, FullDiskKeepsTheEarlierOutputs) {
  if (!fs::exists(CliPath())) GTEST_SKIP() << "the CLI was not built";
  TempDir dir;
  const std::string point = dir.File("disk");
  fs::create_directory(point);
  if (mount("morvelin-test", point.c_str(), "tmpfs", 0, "size=1200k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  fs::copy_file(Sample(), point + "/SIMU3450.dat");
  const std::string run = "cd " + point + " && " + CliPath() + " convert ";
  EXPECT_EQ(RunCommand(run + "-q SIMU3450.dat").exit_code, 0);
  const auto before = Tree(point);
  const CommandOutcome outcome = RunCommand(run + "--qc --json SIMU3450.dat");
  EXPECT_EQ(outcome.exit_code, 2);
  EXPECT_NE(outcome.output.find("\"reason\":\"No space left on device\""), std::string::npos) << outcome.output;
  EXPECT_NE(outcome.output.find("\"epochs\":0"), std::string::npos) << outcome.output;
  EXPECT_TRUE(Tree(point) == before);
  EXPECT_EQ(umount(point.c_str()), 0);
}

}  // namespace
}  // namespace morvelin::test

#endif
