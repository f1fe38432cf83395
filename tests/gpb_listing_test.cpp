// The measurement-file listing of `morvelin inspect`: header and row texts,
// CSV shape, the jump to a satellite and the report of damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "base/message.h"
#include "listing.h"
#include "support/harness.h"

namespace morvelin::cli {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

struct Listing {
  int code;
  std::string out;
  std::string err;
};

std::optional<GpsTimeArgument> Seconds(std::optional<double> seconds) {
  if (!seconds) return std::nullopt;
  return GpsTimeArgument{{}, *seconds};
}

InspectOptions Options(std::optional<int> prn, std::optional<double> from = {}, bool csv = false) {
  InspectOptions options;
  options.csv = csv;
  options.prn = prn;
  options.from = Seconds(from);
  return options;
}

Listing List(const std::string& path, const InspectOptions& options = {}) {
  std::ostringstream out, err;
  int code = ListMeasurementFile(path, options, out, err);
  return {code, out.str(), err.str()};
}

// One epoch per entry: its time and the PRNs it observes (PRN 0 entries
// become observations with a zero L1 pseudorange of PRN 9).
struct EpochPlan {
  double time;
  std::vector<int> prns;
};

void WriteGpb(const std::string& path, const std::vector<EpochPlan>& plans) {
  MeasurementFile* file = CreateMeasurementFile(path.c_str(), 3, 1.0f, 8192, 12);
  ASSERT_NE(file, nullptr) << LibraryMessage();
  for (const EpochPlan& plan : plans) {
    EpochObservationSet set{};
    set.epoch.measurement_count = static_cast<std::uint8_t>(plan.prns.size());
    set.epoch.epoch_time = plan.time;
    for (std::size_t j = 0; j < plan.prns.size(); ++j) {
      set.observations[j].prn = static_cast<std::uint8_t>(plan.prns[j] == 0 ? 9 : plan.prns[j]);
      set.observations[j].l1_pseudorange = plan.prns[j] == 0 ? 0.0 : 2.0e7;
    }
    ASSERT_EQ(WriteMeasurementEpoch(file, &set.epoch, set.observations), 0) << LibraryMessage();
  }
  CloseMeasurementFile(file);
}

// The epoch times of a table listing, in order (one per row).
std::vector<double> RowTimes(const std::string& out) {
  std::vector<double> times;
  std::istringstream lines(out);
  std::string line;
  bool table = false;
  while (std::getline(lines, line)) {
    if (table) times.push_back(std::stod(line));
    if (line.rfind("  epoch time", 0) == 0) table = true;
  }
  return times;
}

TEST(InspectListing, HeaderNamesTheReceiverTypeAndDate) {
  GpbHeader header{};
  header.channel_count = 12;
  header.creation_year = 124;
  header.creation_month = 0;
  header.creation_day = 5;
  header.creation_hour = 7;
  header.creation_minute = 3;
  header.creation_second = 9;
  std::strcpy(header.file_name, "C:\\DATA\\SITE0010.gpb");
  const struct {
    int code;
    const char* name;
  } types[] = {{1, "CA-CODE"}, {2, "SST"}, {3, "SSE"}, {4, "GEODETIC L1/L2"}, {0, "UNKNOWN"}, {9, "UNKNOWN"}};
  for (const auto& type : types) {
    header.receiver_type = static_cast<std::uint8_t>(type.code);
    EXPECT_EQ(FormatGpbHeader("site.gpb", header),
              "Measurement file site.gpb\n"
              "  receiver type  " + std::to_string(type.code) + " (" + type.name + ")\n"
              "  channels       12\n"
              "  created        2024-01-05 07:03:09 (local time)\n"
              "  file name      C:\\DATA\\SITE0010.gpb\n");
  }
}

TEST(InspectListing, RowsOfAnEpoch) {
  EpochRecord epoch{};
  epoch.measurement_count = 0;
  epoch.epoch_flags = 3;
  epoch.latitude = 47.123456789;
  epoch.longitude = -122.5;
  epoch.height = -12.25f;
  epoch.epoch_time = 345600.02;
  epoch.corrected_epoch_time = 345600.0199999;
  epoch.clock_offset = -1234.5;
  EXPECT_EQ(FormatEpochRows(epoch, nullptr, false),
            "  345600.020  3  47.12345679 -122.50000000   -12.250  no satellites\n");
  EXPECT_EQ(FormatEpochRows(epoch, nullptr, true),
            "345600.020,345600.019999900,-1234.500,3,47.123456789,-122.500000000,-12.250,0,,,,,,,\n");

  ObservationRecord observations[2]{};
  observations[0] = {44, 17, 255, 21234567.8916, 1.5e8, -2.25, 0.0, 0.0};
  observations[1] = {44, 3, 0, 2.0e7, -0.0, 0.0, 2.0e7 + 0.5, 7.25e7};
  epoch.measurement_count = 2;
  EXPECT_EQ(FormatEpochRows(epoch, observations, false),
            "  345600.020  3  47.12345679 -122.50000000   -12.250  17  255    21234567.892   150000000.000"
            "           0.000           0.000\n"
            "  345600.020  3  47.12345679 -122.50000000   -12.250   3    0    20000000.000          -0.000"
            "    20000000.500    72500000.000\n");
  std::string csv = FormatEpochRows(epoch, observations, true);
  EXPECT_EQ(csv.substr(0, csv.find('\n') + 1),
            "345600.020,345600.019999900,-1234.500,3,47.123456789,-122.500000000,-12.250,2,17,255,"
            "21234567.892,150000000.000,-2.250,0.000,0.000\n");
}

TEST(InspectListing, CsvHasOneRowPerEpochAndSatellite) {
  TempDir dir;
  std::string path = dir.File("CSV.gpb");
  WriteGpb(path, {{1.0, {1, 2, 3}}, {2.0, {}}, {3.0, {4}}});
  Listing listing = List(path, Options({}, {}, true));
  EXPECT_EQ(listing.code, kInspectDone) << listing.err;
  EXPECT_EQ(listing.err, "");
  std::istringstream lines(listing.out);
  std::string line;
  int rows = 0;
  while (std::getline(lines, line)) {
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 14) << line;
    ++rows;
  }
  EXPECT_EQ(rows, 1 + 3 + 1 + 1);
  EXPECT_EQ(listing.out.rfind(kEpochCsvHeading, 0), 0u);
}

TEST(InspectListing, JumpsAcrossManyWindowsToTheSatellite) {
  TempDir dir;
  std::string path = dir.File("JUMP.gpb");
  // 300 epochs 30 s apart (9000 s, far beyond one window of 60 epochs and
  // 1000 s); PRN 9 has a zero pseudorange in epoch 100 and a real one in 250.
  std::vector<EpochPlan> plans;
  for (int k = 0; k < 300; ++k) {
    std::vector<int> prns{1, 2};
    if (k == 100) prns.push_back(0);
    if (k == 250) prns.push_back(9);
    plans.push_back({30.0 * k, prns});
  }
  WriteGpb(path, plans);

  Listing found = List(path, Options(9));
  EXPECT_EQ(found.code, kInspectDone) << found.err;
  std::vector<double> times = RowTimes(found.out);
  ASSERT_FALSE(times.empty());
  EXPECT_EQ(times, std::vector<double>{7500.0});  // that satellite alone

  Listing from = List(path, Options(1, 4000.0));
  EXPECT_EQ(RowTimes(from.out).front(), 4020.0);

  Listing past = List(path, Options(9, 7501.0));
  EXPECT_EQ(past.code, kInspectNotFound);
  EXPECT_EQ(past.err, "No epoch at or after 7501.000 observes PRN 9 in " + path + "\n");
  EXPECT_TRUE(RowTimes(past.out).empty());

  Listing never = List(path, Options(31));
  EXPECT_EQ(never.code, kInspectNotFound);
  EXPECT_EQ(never.err, "No epoch observes PRN 31 in " + path + "\n");
}

TEST(InspectListing, JumpSurvivesTimesThatTurnBackOrAreNotNumbers) {
  TempDir dir;
  std::string path = dir.File("ODD.gpb");
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // The end of a GPS week, an epoch without a usable time, the next week.
  WriteGpb(path, {{604790.0, {1}}, {604799.0, {1}}, {nan, {7}}, {0.0, {1}}, {5.0, {7}}, {6.0, {1}}});
  Listing listing = List(path, Options(7));
  EXPECT_EQ(listing.code, kInspectDone) << listing.err;
  EXPECT_EQ(RowTimes(listing.out), (std::vector<double>{5.0}));
}

TEST(InspectListing, DamagedFilesListUpToTheDamage) {
  TempDir dir;
  std::string good = dir.File("GOOD.gpb");
  WriteGpb(good, {{1.0, {1, 2}}, {2.0, {3}}, {3.0, {4}}});
  const Bytes original = ReadBytes(good);
  const std::size_t third = 202 + 68 + 88 + 68 + 44;

  struct Case {
    const char* name;
    std::size_t keep;        // bytes kept of the good file
    std::size_t poke_at;     // a byte set to 0x7F there, unless 0
    std::vector<double> rows;
    std::string err;         // "%s" stands for the path
  } cases[] = {
      {"cut in the observations", third + 68 + 10, 0, {1.0, 1.0, 2.0},
       "Error: Pre-mature end of file in %s at epoch 3.0\n"},
      {"cut in the epoch record", third + 20, 0, {1.0, 1.0, 2.0},
       "Error: 20 bytes at the end of %s do not make an epoch record\n"},
      {"epoch record size", original.size(), third, {1.0, 1.0, 2.0}, "Error: Bad position record in %s\n"},
      {"count above the channels", original.size(), third + 2, {1.0, 1.0, 2.0},
       "Error: Epoch 3.0 has 127 measurements 12 channels in %s\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.File("BAD.gpb");
    Bytes bytes(original.begin(), original.begin() + static_cast<std::ptrdiff_t>(c.keep));
    if (c.poke_at != 0) bytes[c.poke_at] = 0x7F;
    WriteBytes(path, bytes);
    Listing listing = List(path);
    EXPECT_EQ(listing.code, kInspectDamaged);
    EXPECT_EQ(RowTimes(listing.out), c.rows);
    std::string expected = c.err;
    expected.replace(expected.find("%s"), 2, path);
    EXPECT_EQ(listing.err, expected);
  }

  Listing missing = List(dir.File("NONE.gpb"));
  EXPECT_EQ(missing.code, kInspectDamaged);
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "Error: File " + dir.File("NONE.gpb") + " not found\n");
}

TEST(InspectListing, DamageMetDuringTheJumpIsReported) {
  TempDir dir;
  std::string path = dir.File("JUMPBAD.gpb");
  WriteGpb(path, {{1.0, {1}}, {2.0, {1}}});
  Bytes bytes = ReadBytes(path);
  bytes[202 + 68 + 44] = 0;  // the second epoch's record size
  WriteBytes(path, bytes);
  Listing listing = List(path, Options(5));
  EXPECT_EQ(listing.code, kInspectDamaged);
  EXPECT_EQ(listing.err, "Error: Bad position record in searching " + path + "\n");
}

// "time prn," of every row of a CSV listing.
std::string CsvRows(const std::string& out) {
  std::string rows;
  std::istringstream lines(out.substr(std::min(out.size(), std::string(kEpochCsvHeading).size())));
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
    rows += std::to_string(static_cast<int>(std::stod(fields[0]))) + " " + (fields.size() > 8 ? fields[8] : "") + ",";
  }
  return rows;
}

// --prn lists that satellite alone; --from and --to bound the epochs.
TEST(InspectListing, SatelliteAloneBetweenFromAndTo) {
  TempDir dir;
  std::string path = dir.File("ALONE.gpb");
  WriteGpb(path, {{1.0, {1, 2}}, {2.0, {2}}, {3.0, {}}, {4.0, {3, 2, 1}}, {5.0, {1}}});
  struct Case {
    std::optional<int> prn;
    std::optional<double> from, to;
    int code;
    std::string csv;  // the rows after the heading: "time prn" pairs
    std::string err;
  } cases[] = {
      {2, {}, {}, kInspectDone, "1 2,2 2,4 2,", ""},
      {1, 2.0, {}, kInspectDone, "4 1,5 1,", ""},
      {1, {}, 4.0, kInspectDone, "1 1,4 1,", ""},
      {{}, 2.5, 4.5, kInspectDone, "3 ,4 3,4 2,4 1,", ""},
      {3, 1.0, 3.5, kInspectNotFound, "", "No epoch from 1.000 to 3.500 observes PRN 3 in %s\n"},
      {{}, {}, 0.5, kInspectNotFound, "", "No epoch at or before 0.500 found in %s\n"},
  };
  for (const Case& c : cases) {
    InspectOptions options = Options(c.prn, c.from, true);
    options.to = Seconds(c.to);
    Listing listing = List(path, options);
    EXPECT_EQ(listing.code, c.code);
    EXPECT_EQ(CsvRows(listing.out), c.csv);
    std::string err = c.err;
    if (!err.empty()) err.replace(err.find("%s"), 2, path);
    EXPECT_EQ(listing.err, err);
  }
}

// A file that crosses the end of the week: SECONDS run on past 604800 and a
// value below the first epoch's second of week lies in the next week;
// WEEK:SECONDS takes the week from the .epp beside the file.
TEST(InspectListing, FromAndToAcrossTheEndOfTheWeek) {
  TempDir dir;
  const std::string path = dir.File("WEEK.gpb");
  WriteGpb(path, {{604797.0, {1}}, {604798.0, {1}}, {604799.0, {1, 2}}, {0.0, {1}}, {1.0, {2}}, {2.0, {1}}});
  std::FILE* epp = std::fopen(dir.File("WEEK.epp").c_str(), "w");
  ASSERT_NE(epp, nullptr);
  std::fputs("GpsEph { Prn: 1\n\tEl1: 2292 0 0 1 0\n\tEl5: 0 0 0 0\n}\n", epp);  // toe 0 of week 2292
  std::fclose(epp);
  const struct {
    const char* from;
    const char* to;
    std::optional<int> prn;
    int code;
    std::string rows;
  } cases[] = {
      {"0", "1", {}, kInspectDone, "0 1,1 2,"},
      {"604798", "604799", {}, kInspectDone, "604798 1,604799 1,604799 2,"},
      {"604800", "604801", {}, kInspectDone, "0 1,1 2,"},
      {"2292:1", "2292:2", {}, kInspectDone, "1 2,2 1,"},
      {"2291:604799", "2292:0", {}, kInspectDone, "604799 1,604799 2,0 1,"},
      {"1", nullptr, 1, kInspectDone, "2 1,"},
      {"604799", nullptr, 2, kInspectDone, "604799 2,1 2,"},
      {nullptr, "604797", {}, kInspectDone, "604797 1,"},
      {"3", "9", {}, kInspectNotFound, ""},
      {"2292:3", nullptr, {}, kInspectNotFound, ""},
  };
  for (const auto& c : cases) {
    InspectOptions options;
    options.csv = true;
    options.prn = c.prn;
    for (const auto& [text, into] : {std::pair{c.from, &options.from}, std::pair{c.to, &options.to}}) {
      GpsTimeArgument time;
      if (text != nullptr) {
        ASSERT_TRUE(ParseGpsTimeArgument(text, time)) << text;
        *into = time;
      }
    }
    const Listing listing = List(path, options);
    EXPECT_EQ(listing.code, c.code) << (c.from ? c.from : "-") << " " << (c.to ? c.to : "-");
    EXPECT_EQ(CsvRows(listing.out), c.rows) << (c.from ? c.from : "-") << " " << (c.to ? c.to : "-");
  }
  std::filesystem::remove(dir.File("WEEK.epp"));
  InspectOptions weeks;
  weeks.from = GpsTimeArgument{2292, 1.0};
  const Listing refused = List(path, weeks);
  EXPECT_EQ(refused.code, kInspectUsage);
  EXPECT_EQ(refused.out, "");
}

TEST(InspectListing, GpsTimeArguments) {
  const struct {
    const char* text;
    bool ok;
    std::optional<std::int32_t> week;
    double seconds;
  } cases[] = {{"86400", true, {}, 86400.0}, {"604900.5", true, {}, 604900.5}, {"2292:100", true, 2292, 100.0},
               {"2292:604800", false, {}, 0}, {"-1", false, {}, 0},  {"2292.5:1", false, {}, 0},
               {"2292:", false, {}, 0},      {"abc", false, {}, 0}};
  for (const auto& c : cases) {
    GpsTimeArgument time;
    EXPECT_EQ(ParseGpsTimeArgument(c.text, time), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(time.week, c.week) << c.text;
    EXPECT_EQ(time.seconds, c.seconds) << c.text;
  }
}

// A path beyond the library's 143 characters is opened within its folder,
// the messages naming the file by its name there; the working folder stays.
TEST(InspectListing, LongPathsAreListed) {
  TempDir dir;
  const std::string folder = dir.File(std::string(150, 'd'));
  std::filesystem::create_directory(folder);
  const std::string path = folder + "/LONG.gpb";
  WriteGpb(dir.File("LONG.gpb"), {{1.0, {4}}, {2.0, {4}}});  // the writer has the same limit
  std::filesystem::rename(dir.File("LONG.gpb"), path);
  const std::filesystem::path before = std::filesystem::current_path();
  Listing listing = List(path);
  EXPECT_EQ(listing.code, kInspectDone) << listing.err;
  EXPECT_EQ(RowTimes(listing.out), (std::vector<double>{1.0, 2.0}));
  EXPECT_EQ(listing.out.rfind("Measurement file " + path + "\n", 0), 0u);
  EXPECT_EQ(std::filesystem::current_path(), before);

  Bytes bytes = ReadBytes(path);
  bytes.resize(bytes.size() - 10);
  WriteBytes(path, bytes);
  EXPECT_EQ(List(path).err, "Error: Pre-mature end of file in LONG.gpb at epoch 2.0\n");
  EXPECT_EQ(List(folder + "/NONE.gpb").err, "Error: File NONE.gpb not found\n");
  // A folder that cannot be entered leaves the path as it is, too long.
  const std::string elsewhere = dir.File(std::string(150, 'n')) + "/LONG.gpb";
  EXPECT_EQ(List(elsewhere).err,
            PathMessage("Error: Path too long for the measurement file (143 characters at most): ", elsewhere) + "\n");
  EXPECT_EQ(std::filesystem::current_path(), before);
}

}  // namespace
}  // namespace morvelin::cli
