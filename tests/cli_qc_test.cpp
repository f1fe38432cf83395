// `morvelin qc` as a user runs it: the sample session as text and JSON, the
// same report from the converted measurement file, the week from the
// ephemerides, --week or --date alike, and the refusals.
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "support/harness.h"

namespace morvelin::test {
namespace {

namespace fs = std::filesystem;

fs::path BuildDir() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path(); }
const fs::path kCli = BuildDir() / "cli" / "morvelin";
const std::string kSample = std::string(MORVELIN_TEST_DATA_DIR) + "/../examples/SIMU3450.dat";

using Outcome = CommandOutcome;

Outcome Qc(const std::string& arguments, const char* redirections = "2>/dev/null") {
  return RunCommand(kCli.string() + " qc " + arguments + " " + redirections);
}

class CliQc : public testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kCli)) GTEST_SKIP() << "the CLI was not built";
  }
};

TEST_F(CliQc, ReportsTheSampleSession) {
  const Outcome text = Qc(kSample);
  ASSERT_EQ(text.exit_code, 0);
  EXPECT_EQ(text.output.rfind("Quality report of station SIMU\n\n"
                              "SUM SIMU     epochs      900 of      900 100.0%  obs       7200 100.0%  MP1  0.29 m  "
                              "MP2  0.29 m  slips      1  obs/slip      7200\n\nSession\n"
                              "  first epoch         2023-12-11 00:00:00 GPS (week 2292, 86400.00 s)\n",
                              0),
            0u)
      << text.output;
  EXPECT_NE(text.output.find("  PRN 28  2023-12-11 00:02:48  F\n"), std::string::npos);

  const Outcome json = Qc("--json " + kSample);
  ASSERT_EQ(json.exit_code, 0);
  const nlohmann::json report = nlohmann::json::parse(json.output);
  EXPECT_EQ(report["format"], "morvelin-qc");
  EXPECT_EQ(report["session"]["epochs"], 900);
  EXPECT_EQ(report["session"]["week"], 2292);
  EXPECT_EQ(report["session"]["events"], 2);
  EXPECT_EQ(report["session"]["verdict"], "good");
  int flagged = 0, found = 0;
  for (const auto& sat : report["satellites"]) {
    flagged += sat["slips_flagged"].get<int>();
    found += sat["slips_found"].get<int>();
    EXPECT_NEAR(sat["mp1_rms_m"].get<double>(), 0.3, 0.06);
    EXPECT_EQ(sat["tracked_share"], 1.0);
  }
  EXPECT_EQ(flagged, 1);
  EXPECT_EQ(found, 0);

  for (const char* week : {"--week 2292", "--date 2023-12-11"}) EXPECT_EQ(Qc(std::string(week) + " " + kSample).output, text.output) << week;
  EXPECT_NE(Qc("--week 2291 " + kSample).output.find("2023-12-04 00:00:00"), std::string::npos);
}

TEST_F(CliQc, MeasurementFileGivesTheSameSatellites) {
  TempDir dir;
  const std::string raw = dir.File("SIMU3450.dat");
  fs::copy_file(kSample, raw);
  ASSERT_EQ(std::system((kCli.string() + " convert " + raw + " >/dev/null").c_str()), 0);
  const Outcome from_raw = Qc("--json " + raw);
  const Outcome from_gpb = Qc("--json " + WithExtension(raw, ".gpb"));
  ASSERT_EQ(from_gpb.exit_code, 0);
  EXPECT_EQ(nlohmann::json::parse(from_gpb.output)["satellites"], nlohmann::json::parse(from_raw.output)["satellites"]);
  const std::string svg = dir.File("picture.svg");
  EXPECT_EQ(Qc("--svg " + svg + " " + WithExtension(raw, ".gpb")).exit_code, 0);
  EXPECT_NE(ReadText(svg).find("<polyline"), std::string::npos) << "the sky plot from the .epp beside it";
}

TEST_F(CliQc, RefusesWhatItCannotDo) {
  TempDir dir;
  fs::copy_file(kSample, dir.File("SIMU3450.dat"));
  ASSERT_EQ(std::system((kCli.string() + " convert -q " + dir.File("SIMU3450.dat") + " >/dev/null").c_str()), 0);
  const std::string raw = dir.File("SIMU3450.dat"), gpb = dir.File("SIMU3450.gpb"), epp = dir.File("SIMU3450.epp");
  const struct {
    std::string arguments;
    int exit_code;
    const char* says;
  } cases[] = {
      {"--epp x.epp " + kSample, 64, "--epp goes with a measurement file"},
      {"no-such-file.dat", 2, "no-such-file.dat"},
      {"no-such-file.gpb", 2, "no-such-file.gpb"},
      {"--date 2023-13-01 " + kSample, 64, "--date: must be a day YYYY-MM-DD from 1980-01-06 to 2099-12-31"},
      {"--date 2023-02-30 " + kSample, 64, "--date: must be a day"},
      {"--week 6261 " + kSample, 64, "--week: Value 6261 not in range 0 to 6260"},
      {"--position 47,8 " + kSample, 64, "--position: must be LAT,LON,HEIGHT"},
      {dir.File("SIMU3450.sum"), 2, "SIMU3450.sum: not a raw data file (no measurement record in it)"},
      {dir.File("SIMU3450.epp"), 2, "SIMU3450.epp: not a raw data file"},
      {"--svg /no-such-dir/x.svg " + kSample, 2, "/no-such-dir/x.svg"},
      {"--week 2292 --date 2023-12-11 " + kSample, 64, "excludes"},
      // The picture never replaces a file the report is read from.
      {"--svg " + raw + " " + raw, 2, "Output file would overwrite the input file"},
      {"--svg " + gpb + " " + gpb, 2, "Output file would overwrite the input file"},
      {"--svg " + epp + " " + gpb, 2, "Output file would overwrite the input file"},
  };
  const std::string inputs_before = ReadText(raw) + ReadText(gpb) + ReadText(epp);
  for (const auto& c : cases) {
    const Outcome o = Qc(c.arguments, "2>&1 >/dev/null");
    EXPECT_EQ(o.exit_code, c.exit_code) << c.arguments;
    EXPECT_NE(o.output.find(c.says), std::string::npos) << c.arguments << ": " << o.output;
  }
  EXPECT_EQ(ReadText(raw) + ReadText(gpb) + ReadText(epp), inputs_before);
}

}  // namespace
}  // namespace morvelin::test

#endif
