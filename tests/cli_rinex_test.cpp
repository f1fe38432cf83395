// What `convert --rinex` and `rinex` write as a user asks for it: epochs
// chosen as RTKLIB's convbin chooses them (convbin judges: Debian package
// rtklib, skipped without it), files split by hour and day, the header's
// values from the command line, values refused that do not fit,
// gzip-compressed files that give back the plain ones, and the ephemerides
// of a measurement file's export as the raw data's.
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/harness.h"

namespace morvelin::test {
namespace {

namespace fs = std::filesystem;

CommandOutcome Cli(const std::string& arguments) { return RunCommand(CliPath() + " " + arguments + " 2>&1"); }

bool HaveProgram(const char* name) {
  return std::system((std::string("command -v ") + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Sample() { return std::string(MORVELIN_TEST_DATA_DIR) + "/../examples/SIMU3450.dat"; }

// The one file in dir whose name ends with suffix ("" when not one).
std::string Only(const std::string& dir, const std::string& suffix) {
  std::string found;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      if (!found.empty()) return "";
      found = entry.path().string();
    }
  }
  return found;
}

std::vector<std::string> Names(const std::string& dir, const std::string& suffix) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.ends_with(suffix)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string After(const std::string& text, const std::string& marker) {
  const std::size_t at = text.find(marker);
  return at == std::string::npos ? "" : text.substr(text.find('\n', at) + 1);
}

// The observations of a file as convbin -r rinex writes them back (with
// its -ti when given): whatever either side's formatting, the epochs,
// values and loss-of-lock indicators compare whole.
std::string ConvbinData(const std::string& observation, const std::string& options) {
  const std::string out = observation + ".convbin";
  const std::string command = "convbin -r rinex " + options + " -o " + out + " " + observation + " >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return After(ReadText(out), "END OF HEADER");
}

// A session of 1 s epochs whose tags lie off the whole second where the
// 30 s multiples are (in and just out of convbin's 0.025 s), with a slip
// and a satellite's return at epochs left out, a new satellite between
// two epochs kept, an invalid phase at an epoch kept, and missing epochs.
void WriteJitteredSession(const std::string& path) {
  struct Off {
    int second;
    double ms;
  };
  const Off offsets[] = {{30, -24.0}, {60, 26.0}, {90, 24.0}, {120, -26.0}, {150, 0.0001}, {180, -0.0001}};
  RawBuilder raw;
  for (int k = 0; k <= 200; ++k) {
    if (k > 130 && k <= 135) continue;  // epochs missing
    double ms = 86400000.0 + 1000.0 * k;
    for (const Off& off : offsets)
      if (off.second == k) ms += off.ms;
    std::vector<RawSatellite> sats;
    RawSatellite one;
    one.phase = 100000.0 + k;
    sats.push_back(one);
    RawSatellite two = one;
    two.prn = 2;
    if (k == 45) two.f1 |= 0x02;  // slip at an epoch left out
    sats.push_back(two);
    if (k >= 100) {
      RawSatellite three = one;
      three.prn = 3;
      sats.push_back(three);
    }
    RawSatellite four = one;
    four.prn = 4;
    if (k == 90) four.f1 = 0;  // phase invalid at an epoch kept
    if (k < 70 || k > 75) sats.push_back(four);  // gone for a while
    raw.Measurement(ms, 0.0, sats);
  }
  raw.WriteTo(path);
}

struct IntervalCase {
  const char* name;
  bool sample;        // the sample session, else the jittered one (week given)
  bool through_gpb;   // `rinex FILE.gpb` instead of convert
  const char* version;
};

// --interval 30 writes the epochs and values convbin -ti 30 keeps of the
// full-rate export, loss of lock of the epochs left out included.
TEST(CliRinex, IntervalKeepsWhatConvbinKeeps) {
  if (!fs::exists(CliPath())) GTEST_SKIP() << "the CLI was not built";
  if (!HaveProgram("convbin")) GTEST_SKIP() << "convbin not installed (Debian package rtklib)";
  const IntervalCase cases[] = {
      {"sample 3.04", true, false, "3.04"},      {"sample 2.11", true, false, "2.11"},
      {"sample from .gpb", true, true, "3.04"},  {"jittered 3.04", false, false, "3.04"},
      {"jittered from .gpb", false, true, "3.04"}, {"jittered 2.11", false, false, "2.11"},
  };
  for (const IntervalCase& c : cases) {
    TempDir dir;
    const std::string input = dir.File("SITE3450.dat");
    if (c.sample)
      fs::copy_file(Sample(), input);
    else
      WriteJitteredSession(input);
    const std::string week = c.sample ? "" : " --week 2292";
    std::string full, decimated;
    for (const auto& [folder, interval] : {std::pair{"full", ""}, std::pair{"thirty", " --interval 30"}}) {
      const std::string out = dir.File(folder);
      CommandOutcome outcome =
          c.through_gpb
              ? Cli("convert -q " + input + " && " + CliPath() + " rinex --version " + c.version + week + interval +
                    " -d " + out + " " + dir.File("SITE3450.gpb"))
              : Cli("convert -q --rinex=" + std::string(c.version) + week + interval + " -d " + out + " " + input);
      ASSERT_EQ(outcome.exit_code, 0) << c.name << "\n" << outcome.output;
      (interval[0] == 0 ? full : decimated) = Only(out, "o");
    }
    ASSERT_FALSE(full.empty() || decimated.empty()) << c.name;
    const std::string expected = ConvbinData(full, "-ti 30");
    EXPECT_GT(expected.size(), 100u) << c.name;
    EXPECT_EQ(ConvbinData(decimated, ""), expected) << c.name;
    EXPECT_NE(ReadText(decimated).find("    30.000                                                  INTERVAL"),
              std::string::npos)
        << c.name;
  }
}

struct SplitCase {
  const char* options;
  std::vector<std::string> names;
  // Per file: TIME OF FIRST OBS, TIME OF LAST OBS and INTERVAL lines.
  std::vector<std::string> times;
};

std::string TimesOf(const std::string& text) {
  std::string lines;
  for (const char* label : {"TIME OF FIRST OBS", "TIME OF LAST OBS", "INTERVAL"}) {
    const std::size_t at = text.find(label);
    if (at != std::string::npos) lines += text.substr(at - 60, 60) + label + "\n";
  }
  return lines;
}

// Files per hour and per day, named by it, each with its own times; a
// window given as GPS week and seconds or as a calendar time.
TEST(CliRinex, SplitAndWindowNameTheFilesAndTheirTimes) {
  if (!fs::exists(CliPath())) GTEST_SKIP() << "the CLI was not built";
  TempDir dir;
  RawBuilder raw;  // 30 s epochs from 2023-12-10 23:58:00 to 2023-12-11 01:01:00
  for (double t = 86280.0; t <= 90060.0; t += 30.0) raw.Measurement(t * 1000.0, 0.0, {RawSatellite{}});
  raw.WriteTo(dir.File("TEST3450.dat"));
  const std::string first_344 = "  2023    12    10    23    58    0.0000000     GPS         TIME OF FIRST OBS\n";
  const std::string last_344 = "  2023    12    10    23    59   30.0000000     GPS         TIME OF LAST OBS\n";
  const std::string first_345 = "  2023    12    11     0     0    0.0000000     GPS         TIME OF FIRST OBS\n";
  const std::string interval = "    30.000                                                  INTERVAL\n";
  const SplitCase cases[] = {
      {"--split hour",
       {"test344x.23o", "test345a.23o", "test345b.23o"},
       {first_344 + last_344 + interval,
        first_345 + "  2023    12    11     0    59   30.0000000     GPS         TIME OF LAST OBS\n" + interval,
        "  2023    12    11     1     0    0.0000000     GPS         TIME OF FIRST OBS\n"
        "  2023    12    11     1     1    0.0000000     GPS         TIME OF LAST OBS\n" + interval}},
      {"--split day --gzip",
       {"test3440.23o.gz", "test3450.23o.gz"},
       {}},
      {"--split day --rinex=2.11",
       {"test3440.23o", "test3450.23o"},
       {first_344 + last_344 + interval,
        first_345 + "  2023    12    11     1     1    0.0000000     GPS         TIME OF LAST OBS\n" + interval}},
      {"--split hour --long-names",
       {"TEST00XXX_R_20233442300_01H_30S_GO.rnx", "TEST00XXX_R_20233450000_01H_30S_GO.rnx",
        "TEST00XXX_R_20233450100_01H_30S_GO.rnx"},
       {}},
      {"--from 2292:86370 --to 2023-12-11T00:00:30",
       {"test344x.23o"},
       {"  2023    12    10    23    59   30.0000000     GPS         TIME OF FIRST OBS\n"
        "  2023    12    11     0     0   30.0000000     GPS         TIME OF LAST OBS\n" + interval}},
      {"--from 2023-12-11T01:00 --interval 60",
       {"test345b.23o"},
       {"  2023    12    11     1     0    0.0000000     GPS         TIME OF FIRST OBS\n"
        "  2023    12    11     1     1    0.0000000     GPS         TIME OF LAST OBS\n"
        "    60.000                                                  INTERVAL\n"}},
  };
  int run = 0;
  for (const SplitCase& c : cases) {
    const std::string out = dir.File("out" + std::to_string(run++));
    const std::string version = std::string(c.options).find("--rinex=") == std::string::npos ? "--rinex " : "";
    CommandOutcome outcome =
        Cli("convert -q --week 2292 " + version + c.options + " -d " + out + " " + dir.File("TEST3450.dat"));
    ASSERT_EQ(outcome.exit_code, 0) << c.options << "\n" << outcome.output;
    std::vector<std::string> names = Names(out, "");
    std::erase_if(names, [](const std::string& n) { return n.starts_with("TEST3450."); });
    std::vector<std::string> expected = c.names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(names, expected) << c.options;
    std::vector<std::string> times;
    for (const std::string& name : Names(out, "o")) times.push_back(TimesOf(ReadText(out + "/" + name)));
    if (!c.times.empty()) {
      EXPECT_EQ(times, c.times) << c.options;
    }
  }
}

struct GzipCase {
  const char* command;  // with FILE for the input, OUT for the folder
};

// --gzip writes files that gunzip gives back as the plain ones, byte for
// byte but the creation time, for both commands and versions.
TEST(CliRinex, GzipGivesBackThePlainFiles) {
  if (!fs::exists(CliPath())) GTEST_SKIP() << "the CLI was not built";
  if (!HaveProgram("gzip")) GTEST_SKIP() << "no gzip to read the files back";
  TempDir dir;
  fs::copy_file(Sample(), dir.File("SIMU3450.dat"));
  ASSERT_EQ(Cli("convert -q " + dir.File("SIMU3450.dat")).exit_code, 0);
  const std::string gpb = dir.File("SIMU3450.gpb");
  const std::string raw = dir.File("SIMU3450.dat");
  const std::vector<std::string> commands = {
      "convert -q --rinex -d OUT " + raw,
      "convert -q --rinex=2.11 --split hour -d OUT " + raw,
      "rinex --long-names --interval 30 -d OUT " + gpb,
      "rinex --version 2.11 -d OUT " + gpb,
  };
  int run = 0;
  for (const std::string& command : commands) {
    const std::string plain = dir.File("plain" + std::to_string(run)), packed = dir.File("packed" + std::to_string(run));
    ++run;
    auto in = [&command](const std::string& out) { return command.substr(0, command.find("OUT")) + out + command.substr(command.find("OUT") + 3); };
    ASSERT_EQ(Cli(in(plain)).exit_code, 0) << command;
    std::string packed_command = in(packed);
    packed_command.insert(packed_command.find(' '), " --gzip");
    ASSERT_EQ(Cli(packed_command).exit_code, 0) << packed_command;
    const std::vector<std::string> plain_names = Names(plain, ""), packed_names = Names(packed, "");
    ASSERT_EQ(packed_names.size(), plain_names.size()) << command;
    for (std::size_t i = 0; i < plain_names.size(); ++i) {
      if (plain_names[i].starts_with("SIMU3450.")) continue;
      EXPECT_EQ(packed_names[i], plain_names[i] + ".gz") << command;
      const CommandOutcome unpacked = RunCommand("gzip -dc " + packed + "/" + packed_names[i]);
      ASSERT_EQ(unpacked.exit_code, 0) << packed_names[i];
      // Line 2 is PGM / RUN BY / DATE: the time of the run.
      auto without_date = [](std::string text) {
        const std::size_t second = text.find('\n') + 1;
        return text.replace(second, 60, 60, ' ');
      };
      EXPECT_EQ(without_date(unpacked.output), without_date(ReadText(plain + "/" + plain_names[i])))
          << command << " " << plain_names[i];
    }
  }
}

// A file of an earlier run is replaced only by a run of the same session:
// another receiver's (here the sample at another position) takes the next
// session character for both files, or is refused where the name is fixed
// (long names, a split); a file that is not RINEX at all is kept too.
TEST(CliRinex, AnotherSessionsFilesAreKept) {
  if (!fs::exists(CliPath())) GTEST_SKIP() << "the CLI was not built";
  TempDir dir;
  const std::string raw = dir.File("SIMU3450.dat");
  fs::copy_file(Sample(), raw);
  const std::string other = " --approx-position 4000000,600000,4700000";
  const struct {
    const char* options;
    int other_exit;
    std::vector<std::string> names;  // after this session, the other, this one again
  } cases[] = {
      {"", 0, {"simu345a.23n", "simu345a.23o", "simu345b.23n", "simu345b.23o"}},
      {"--gzip", 0, {"simu345a.23n.gz", "simu345a.23o.gz", "simu345b.23n.gz", "simu345b.23o.gz"}},
      {"--long-names", 2, {"SIMU00XXX_R_20233450000_15M_01S_GO.rnx", "SIMU00XXX_R_20233450000_15M_GN.rnx"}},
      {"--split hour", 2, {"simu345a.23n", "simu345a.23o"}},
  };
  int run = 0;
  for (const auto& c : cases) {
    const std::string out = dir.File("out" + std::to_string(run++));
    const std::string command = "convert -q --rinex " + std::string(c.options) + " -d " + out;
    ASSERT_EQ(Cli(command + " " + raw).exit_code, 0) << c.options;
    const std::vector<std::string> first = Names(out, "");
    std::vector<std::string> bytes;
    for (const std::string& name : first) bytes.push_back(ReadText(out + "/" + name));
    const CommandOutcome refused = Cli(command + other + " " + raw);
    EXPECT_EQ(refused.exit_code, c.other_exit) << c.options << ": " << refused.output;
    for (std::size_t i = 0; i < first.size(); ++i)
      if (!first[i].starts_with("SIMU3450.")) EXPECT_EQ(ReadText(out + "/" + first[i]), bytes[i]) << first[i];
    ASSERT_EQ(Cli(command + " " + raw).exit_code, 0) << c.options;
    std::vector<std::string> rinex;
    for (const std::string& name : Names(out, ""))
      if (!name.starts_with("SIMU3450.")) rinex.push_back(name);
    EXPECT_EQ(rinex, c.names) << c.options;
  }
  const std::string mine = dir.File("mine");
  fs::create_directories(mine);
  std::ofstream(mine + "/simu345a.23o") << "my own notes\n";
  ASSERT_EQ(Cli("convert -q --rinex -d " + mine + " " + raw).exit_code, 0);
  EXPECT_EQ(ReadText(mine + "/simu345a.23o"), "my own notes\n");
  EXPECT_FALSE(ReadText(mine + "/simu345b.23o").empty());
}

// The navigation file written from the .gpb and .epp holds the ephemerides
// exactly as the conversion of the raw data wrote them, not the .epp's
// rounded decimals.
TEST(CliRinex, MeasurementFileGivesTheConversionsEphemerides) {
  if (!fs::exists(CliPath())) GTEST_SKIP() << "the CLI was not built";
  TempDir dir;
  fs::copy_file(Sample(), dir.File("SIMU3450.dat"));
  ASSERT_EQ(Cli("convert -q --rinex -d " + dir.File("raw") + " " + dir.File("SIMU3450.dat")).exit_code, 0);
  const CommandOutcome again = Cli("rinex -d " + dir.File("gpb") + " " + dir.File("raw/SIMU3450.gpb"));
  ASSERT_EQ(again.exit_code, 0) << again.output;
  const std::string records = After(ReadText(dir.File("raw/simu345a.23n")), "END OF HEADER");
  EXPECT_NE(records.find("G01"), std::string::npos);
  EXPECT_EQ(After(ReadText(dir.File("gpb/simu345a.23n")), "END OF HEADER"), records);
}

// The header's values from the command line, each in its columns; a
// kinematic start is a moving marker.
TEST(CliRinex, HeaderValuesFromTheCommandLine) {
  if (!fs::exists(CliPath())) GTEST_SKIP() << "the CLI was not built";
  TempDir dir;
  RawBuilder raw;
  for (int i = 0; i < 3; ++i) raw.Measurement(86400000.0 + 1000.0 * i, 0.0, {RawSatellite{}});
  raw.WriteTo(dir.File("HEAD3450.dat"));
  const std::string values =
      " --marker-name 'Site 1' --marker-number 12345M001 --observer 'A. Surveyor' --agency 'Survey Office'"
      " --receiver '5920R40086/TRIMBLE NETR9/5.45' --antenna '1441/TRM59800.00     NONE'"
      " --antenna-delta 1.2345,-0.01,0.02 --approx-position=-4388121.17,726671.05,-4556535.63";
  struct Case {
    const char* options;
    const char* expected;  // from MARKER NAME to APPROX POSITION XYZ
  } cases[] = {
      {"--rinex --marker-type GEODETIC",
       "Site 1                                                      MARKER NAME         \n"
       "12345M001                                                   MARKER NUMBER       \n"
       "GEODETIC                                                    MARKER TYPE         \n"
       "A. Surveyor         Survey Office                           OBSERVER / AGENCY   \n"
       "5920R40086          TRIMBLE NETR9       5.45                REC # / TYPE / VERS \n"
       "1441                TRM59800.00     NONE                    ANT # / TYPE        \n"
       " -4388121.1700   726671.0500 -4556535.6300                  APPROX POSITION XYZ \n"
       "        1.2345       -0.0100        0.0200                  ANTENNA: DELTA H/E/N\n"},
      {"--rinex=2.11",
       "Site 1                                                      MARKER NAME         \n"
       "12345M001                                                   MARKER NUMBER       \n"
       "A. Surveyor         Survey Office                           OBSERVER / AGENCY   \n"
       "5920R40086          TRIMBLE NETR9       5.45                REC # / TYPE / VERS \n"
       "1441                TRM59800.00     NONE                    ANT # / TYPE        \n"
       " -4388121.1700   726671.0500 -4556535.6300                  APPROX POSITION XYZ \n"
       "        1.2345       -0.0100        0.0200                  ANTENNA: DELTA H/E/N\n"},
  };
  int run = 0;
  for (const Case& c : cases) {
    const std::string out = dir.File("out" + std::to_string(run++));
    CommandOutcome outcome =
        Cli("convert -q --week 2292 " + std::string(c.options) + values + " -d " + out + " " + dir.File("HEAD3450.dat"));
    ASSERT_EQ(outcome.exit_code, 0) << c.options << "\n" << outcome.output;
    const std::string text = ReadText(Only(out, "o"));
    EXPECT_EQ(fs::path(Only(out, "o")).filename(), "site345a.23o") << "named after the marker name";
    const std::size_t from = text.find("Site 1"), to = text.find("ANTENNA: DELTA H/E/N");
    ASSERT_NE(from, std::string::npos) << text;
    EXPECT_EQ(text.substr(from, to + 21 - from), c.expected) << c.options;
  }
  // Kinematic, no values given: a moving marker; the receiver's own type.
  CommandOutcome moving = Cli("convert -q --kinematic --rinex --week 2292 -d " + dir.File("moving") + " " +
                              dir.File("HEAD3450.dat"));
  ASSERT_EQ(moving.exit_code, 0) << moving.output;
  EXPECT_NE(ReadText(Only(dir.File("moving"), "o"))
                .find("GROUND_CRAFT                                                MARKER TYPE         \n"),
            std::string::npos);
}

// Values that do not fit their field are refused before anything is
// read or written (64), the option named; nothing is cut.
TEST(CliRinex, ValuesThatDoNotFitAreRefused) {
  if (!fs::exists(CliPath())) GTEST_SKIP() << "the CLI was not built";
  TempDir dir;
  RawBuilder raw;
  raw.Measurement(86400000.0, 0.0, {RawSatellite{}});
  raw.WriteTo(dir.File("REFU3450.dat"));
  const std::string long21(21, 'x'), long41(41, 'x'), long61(61, 'x');
  struct Case {
    std::string options;
    const char* named;
  } cases[] = {
      {"--marker-name " + long61, "--marker-name"},
      {"--marker-name " + std::string(60, 'x') + "é", "--marker-name"},
      {"--marker-number " + long21, "--marker-number"},
      {"--marker-type " + long21, "--marker-type"},
      {"--rinex=2.11 --marker-type GEODETIC", "--marker-type"},
      {"--observer " + long21, "--observer"},
      {"--agency " + long41, "--agency"},
      {"--receiver " + long21, "--receiver"},
      {"--receiver a/" + long21, "--receiver"},
      {"--receiver a/b/" + long21, "--receiver"},
      {"--antenna a/" + long21, "--antenna"},
      {"--antenna-delta 10000000000,0,0", "--antenna-delta"},
      {"--antenna-delta 1,2", "--antenna-delta"},
      {"--approx-position 1,2,x", "--approx-position"},
      {"--interval 0.05", "--interval"},
      {"--split week", "--split"},
      {"--from 2292:100 --to 2292:50", "--from"},
      {"--from 2023-02-30T00:00:00", "--from"},
      {"--to 100", "--to"},
  };
  for (const Case& c : cases) {
    for (const std::string& command : {"convert --week 2292 --rinex " + c.options + " " + dir.File("REFU3450.dat"),
                                       "rinex --week 2292 " + c.options + " " + dir.File("REFU3450.gpb")}) {
      if (command.starts_with("rinex") && c.options.starts_with("--rinex=")) continue;
      const CommandOutcome outcome = Cli(command);
      EXPECT_EQ(outcome.exit_code, 64) << command << "\n" << outcome.output;
      EXPECT_NE(outcome.output.find(c.named), std::string::npos) << command << "\n" << outcome.output;
    }
  }
  EXPECT_EQ(Names(dir.Path(), "").size(), 1u) << "nothing written";
}

}  // namespace
}  // namespace morvelin::test

#endif
