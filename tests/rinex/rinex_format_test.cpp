// The RINEX texts, line by line against hand-checked lines, and the
// export's rules (loss of lock, week, held epochs) on small sessions whose
// whole output is compared.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "rinex/epoch_selection.h"
#include "rinex/file_names.h"
#include "rinex/navigation_writer.h"
#include "rinex/observation_export.h"
#include "rinex/observation_format.h"
#include "rinex/observation_header.h"
#include "rinex/output_file.h"
#include "rinex/record_batch.h"
#include "rinex/rinex_time.h"
#include "morvelin/converter.h"
#include "morvelin/rinex.h"
#include "support/harness.h"
#include "support/raw_builder.h"

namespace morvelin::rinex {
namespace {

namespace fs = std::filesystem;

// ---- Time -----------------------------------------------------------------

struct CivilCase {
  std::int32_t week;
  double seconds;
  int year, month, day, hour, minute;
  std::int64_t second_ticks;
  int day_of_year;
};

TEST(RinexTime, CalendarOfGpsTimes) {
  const CivilCase cases[] = {
      {0, 0.0, 1980, 1, 6, 0, 0, 0, 6},
      {2292, 86400.0, 2023, 12, 11, 0, 0, 0, 345},
      {2292, 604799.9999999, 2023, 12, 16, 23, 59, 599999999, 350},
      {2292, 604799.99999996, 2023, 12, 17, 0, 0, 0, 351},  // rounds up into the next week
      {2086, 259200.5, 2020, 1, 1, 0, 0, 5000000, 1},
      {2095, 0.0, 2020, 3, 1, 0, 0, 0, 61},  // after a leap day
  };
  for (const CivilCase& c : cases) {
    const CivilTime t = CivilFromGps(c.week, c.seconds);
    EXPECT_EQ(t.year, c.year) << c.week << " " << c.seconds;
    EXPECT_EQ(t.month, c.month);
    EXPECT_EQ(t.day, c.day);
    EXPECT_EQ(t.hour, c.hour);
    EXPECT_EQ(t.minute, c.minute);
    EXPECT_EQ(t.second_ticks, c.second_ticks);
    EXPECT_EQ(t.day_of_year, c.day_of_year);
  }
}

// Times from damaged data (the conversion fuzz target gave a receiver time
// whose ticks overflowed 64 bits) are held about 30 years from the week.
TEST(RinexTime, TimesFarOutOfRangeDoNotOverflow) {
  const double limit = 1.0e9 * static_cast<double>(kTicksPerSecond);
  const std::int64_t week = 2292 * 7 * kTicksPerDay;
  EXPECT_EQ(GpsTicks(2292, 1.0e300), week + static_cast<std::int64_t>(limit));
  EXPECT_EQ(GpsTicks(2292, -std::numeric_limits<double>::infinity()), week - static_cast<std::int64_t>(limit));
  EXPECT_EQ(GpsTicks(2292, std::numeric_limits<double>::quiet_NaN()), week);
  EXPECT_EQ(GpsTicks(2292, 86400.0), week + 86400 * kTicksPerSecond);
}

TEST(RinexTime, WeekFromDateEphemerisAndFollowing) {
  std::int32_t week = 0;
  ASSERT_TRUE(WeekOfDate({2023, 12, 11}, &week));
  EXPECT_EQ(week, 2292);
  ASSERT_TRUE(WeekOfDate({2023, 12, 16}, &week));
  EXPECT_EQ(week, 2292);
  ASSERT_TRUE(WeekOfDate({2023, 12, 17}, &week));
  EXPECT_EQ(week, 2293);
  EXPECT_FALSE(WeekOfDate({1980, 1, 5}, &week));
  // An ephemeris of week 2293, toe 0: an epoch at 603000 s lies in 2292.
  EXPECT_EQ(WeekNearEphemeris(2293, 0, 603000.0), 2292);
  EXPECT_EQ(WeekNearEphemeris(2292, 597600, 1800.0), 2293);
  EXPECT_EQ(WeekNearEphemeris(2292, 86400, 90000.0), 2292);
  EXPECT_EQ(FollowWeek(2292, 604799.0, 0.0), 2293);
  EXPECT_EQ(FollowWeek(2293, 0.5, 604799.5), 2292);
  EXPECT_EQ(FollowWeek(2292, 100.0, 101.0), 2292);
}

TEST(RinexTime, DatesParsed) {
  RinexDate d;
  EXPECT_TRUE(ParseRinexDate("2023-12-11", &d));
  EXPECT_EQ(d.year, 2023);
  EXPECT_EQ(d.day, 11);
  EXPECT_TRUE(ParseRinexDate("2024-02-29", &d));
  for (const char* bad : {"2023-02-29", "2023-13-01", "1980-01-05", "2023-1-11", "20231211", "2023-12-1x"})
    EXPECT_FALSE(ParseRinexDate(bad, &d)) << bad;
  RinexVersion v;
  EXPECT_TRUE(ParseRinexVersion("2.11", &v));
  EXPECT_EQ(v, RinexVersion::k211);
  EXPECT_FALSE(ParseRinexVersion("3.05", &v));
}

// ---- Observation lines ----------------------------------------------------


TEST(RinexObservationFormat, HeaderRecords) {
  FixedText<1024> out;
  HeaderRecord(out, "SIMU", "MARKER NAME");
  HeaderRecord(out, "S\xe9T\t1", "MARKER NAME");
  TimeOfObservationRecord(out, CivilFromGps(2292, 86401.25), "TIME OF FIRST OBS");
  IntervalRecord(out, 0.05);
  ObservationTypesRecords(out, RinexVersion::k304, MakeLayout(RinexVersion::k304, {true, false, true}));
  ObservationTypesRecords(out, RinexVersion::k211, MakeLayout(RinexVersion::k211, {true, true, true}));
  EXPECT_EQ(out.View(),
            "SIMU                                                        MARKER NAME         \n"
            "S?T?1                                                       MARKER NAME         \n"
            "  2023    12    11     0     0    1.2500000     GPS         TIME OF FIRST OBS   \n"
            "     0.050                                                  INTERVAL            \n"
            "G    4 C1C L1C C2W L2W                                      SYS / # / OBS TYPES \n"
            "     5    C1    P1    L1    P2    L2                        # / TYPES OF OBSERV \n");
}

// A batch's text is the epochs' text in their order, whether it was
// formatted beside the filling of the next one or not, across batches and
// a finish in the middle (as before a flag line), in both versions (2.11
// with the PRNs in the epoch line).
TEST(RinexObservationFormat, BatchesKeepTheEpochsInOrder) {
  for (RinexVersion version : {RinexVersion::k304, RinexVersion::k211}) {
    const ObservationLayout layout = MakeLayout(version, {false, true, true});
    std::string expected, threaded, single, held;
    RecordBatch on_threads(true), here(false), holding(true);
    auto pass = [](RecordBatch& batch, std::string& text, RinexVersion v, const ObservationLayout& l) {
      for (std::string_view piece : batch.PassOn(v, l)) text += piece;
    };
    auto take = [](RecordBatch& batch, std::string& text, RinexVersion v, const ObservationLayout& l) {
      for (std::string_view piece : batch.Finish(v, l)) text += piece;
    };
    for (int e = 0; e < 2300; ++e) {
      SatelliteRecord records[3];
      std::uint8_t prns[3];
      for (int i = 0; i < 3; ++i) {
        prns[i] = static_cast<std::uint8_t>(1 + (e + i) % 32);
        records[i].prn = prns[i];
        records[i].value[static_cast<int>(Signal::kL1PCode)] = 2e7 + e * 10.0 + i;
        records[i].present[static_cast<int>(Signal::kL1PCode)] = true;
      }
      const EpochLine line{CivilFromGps(2292, 100.0 + e), 0, 3, prns, true, 1e-4 * e};
      FixedText<1024> text;
      FormatEpochLine(text, version, line);
      for (const SatelliteRecord& r : records) FormatSatelliteRecord(text, version, layout, r);
      expected += text.View();
      for (RecordBatch* batch : {&on_threads, &here, &holding}) {
        std::copy(records, records + 3, batch->Reserve(4));  // one more than used: dropped
        batch->Commit(line);
      }
      if (on_threads.Full()) pass(on_threads, threaded, version, layout);
      if (here.Full()) pass(here, single, version, layout);
      if (e == 1100) take(on_threads, threaded, version, layout), take(here, single, version, layout);
    }
    take(on_threads, threaded, version, layout), take(here, single, version, layout);
    take(holding, held, version, layout);  // never passed on: far past its size
    EXPECT_EQ(threaded, expected);
    EXPECT_EQ(single, expected);
    EXPECT_EQ(held, expected);
  }
}

struct EpochCase {
  RinexVersion version;
  double seconds;
  int flag, count;
  bool clock;
  double clock_offset;
  const char* expected;
  std::int32_t week = 2292;
};

TEST(RinexObservationFormat, EpochLines) {
  const std::uint8_t prns[14] = {5, 8, 15, 26, 27, 28, 29, 31, 1, 2, 3, 4, 6, 7};
  const EpochCase cases[] = {
      {RinexVersion::k304, 86400.0, 0, 8, true, 2.5e-4,
       "> 2023 12 11 00 00  0.0000000  0  8       0.000250000000\n"},
      {RinexVersion::k304, 86459.9999999, 0, 1, true, -0.000999,
       "> 2023 12 11 00 00 59.9999999  0  1      -0.000999000000\n"},
      {RinexVersion::k304, 86700.37, 5, 0, false, 0.0, "> 2023 12 11 00 05  0.3700000  5  0\n"},
      {RinexVersion::k211, 86400.0, 0, 3, true, 2.5e-4,
       " 23 12 11  0  0  0.0000000  0  3G05G08G15                            0.000250000\n"},
      {RinexVersion::k211, 86700.37, 5, 0, false, 0.0, " 23 12 11  0  5  0.3700000  5  0\n"},
      {RinexVersion::k211, 129599.5, 0, 14, true, -1.5e-5,
       " 23 12 11 11 59 59.5000000  0 14G05G08G15G26G27G28G29G31G01G02G03G04-0.000015000\n"
       "                                G06G07\n"},
      // One-digit fields: zeros in 3.04, blanks in 2.11 (the year keeps its zero).
      {RinexVersion::k304, 97445.25, 0, 1, true, 0.0,
       "> 2024 01 01 03 04  5.2500000  0  1       0.000000000000\n", 2295},
      {RinexVersion::k211, 97445.25, 0, 1, true, 0.0,
       " 24  1  1  3  4  5.2500000  0  1G05                                  0.000000000\n", 2295},
      {RinexVersion::k211, 345599.0, 0, 0, false, 0.0, " 07  1 10 23 59 59.0000000  0  0\n", 1409},
  };
  for (const EpochCase& c : cases) {
    FixedText<512> out;
    FormatEpochLine(out, c.version, EpochLine{CivilFromGps(c.week, c.seconds), c.flag, c.count, prns, c.clock, c.clock_offset});
    EXPECT_EQ(out.View(), c.expected);
  }
}

TEST(RinexObservationFormat, SatelliteRecords) {
  SatelliteRecord r;
  r.prn = 5;
  auto set = [&r](Signal s, double v, std::uint8_t lli = 0) {
    r.value[static_cast<int>(s)] = v, r.present[static_cast<int>(s)] = true, r.lli[static_cast<int>(s)] = lli;
  };
  set(Signal::kL1PCode, 20590207.2814);
  set(Signal::kL1PPhase, 108859366.34849, 1);
  set(Signal::kL2Code, 20590210.8971);
  set(Signal::kL2Phase, -84453537.9271, 1);
  FixedText<512> out;
  FormatSatelliteRecord(out, RinexVersion::k304, MakeLayout(RinexVersion::k304, {false, true, true}), r);
  FormatSatelliteRecord(out, RinexVersion::k211, MakeLayout(RinexVersion::k211, {false, true, true}), r);
  // Mixed types: this satellite's C/A columns stay blank.
  FormatSatelliteRecord(out, RinexVersion::k211, MakeLayout(RinexVersion::k211, {true, true, true}), r);
  // No L2 listed: nothing written for it, trailing blanks dropped.
  FormatSatelliteRecord(out, RinexVersion::k304, MakeLayout(RinexVersion::k304, {true, true, false}), r);
  EXPECT_EQ(out.View(),
            "G05  20590207.281   108859366.3481   20590210.897   -84453537.9271\n"
            "  20590207.281   108859366.3481   20590210.897   -84453537.9271\n"
            "                  20590207.281   108859366.3481   20590210.897   -84453537.9271\n"
            "G05                                  20590207.281   108859366.3481\n");
}

TEST(RinexObservationFormat, ValuesThatDoNotFitStayBlank) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {{0.0, "         0.000"},        {-0.0004, "        -0.000"},      {9999999999.999, "9999999999.999"},
               {10000000000.0, "              "}, {-999999999.999, "-999999999.999"}, {-1000000000.0, "              "},
               {0.0005, "         0.001"},    {1.0004999, "         1.000"}};
  for (const Case& c : cases) {
    char field[14];
    FormatObservationValue(field, c.value);
    EXPECT_EQ(std::string(field, 14), c.text) << c.value;
  }
}

// The fast path agrees with printf's %14.3f (to_chars) everywhere: on
// values near halves of a thousandth, on exact halves (fixed-point phases
// in 1/256 cycle: a tie goes to the even thousandth), on negatives
// rounding to zero, on random phases and ranges.
TEST(RinexObservationFormat, ValuesPrintAsPrintfWould) {
  std::vector<double> values = {-0.0, 0.0005, -0.0005, 0.0015, 123456789.0005, -123456789.0005, 999999999.9995,
                                -999999999.9994, 20590207.2815, 1e-300, 0.0625, -0.0625, 0.1875, 5e-324, 9999999999.99};
  std::uint64_t state = 0x9E3779B97F4A7C15ull;
  for (int i = 0; i < 200000; ++i) {
    state ^= state << 13, state ^= state >> 7, state ^= state << 17;
    const double unit = static_cast<double>(state >> 11) / 9007199254740992.0;
    values.push_back((unit - 0.3) * (i % 3 == 0 ? 3e9 : i % 3 == 1 ? 3e7 : 10.0));
    values.push_back(std::round(values.back() * 1000.0) / 1000.0 + 0.0005);
    values.push_back(static_cast<double>(static_cast<std::int32_t>(state)) / (i % 2 == 0 ? 256.0 : 1024.0));
  }
  for (double v : values) {
    char field[14];
    FormatObservationValue(field, v);
    char expected[40];
    const auto end = std::to_chars(expected, expected + sizeof expected, v, std::chars_format::fixed, 3).ptr;
    std::string text(expected, end);
    if (text.size() < 14) text.insert(0, 14 - text.size(), ' ');
    if (text.size() > 14) text = std::string(14, ' ');
    ASSERT_EQ(std::string(field, 14), text) << v;
  }
}

// ---- Navigation records ---------------------------------------------------

gnss::BroadcastEphemeris Ephemeris() {
  gnss::BroadcastEphemeris e;
  e.prn = 17, e.week = 2291, e.toe = 7200, e.toc = 7200;
  e.sqrt_a = 5153.6, e.e = 0.01, e.i0 = 0.96, e.omega0 = -1.5, e.omega = 2.0, e.m0 = 0.5;
  e.delta_n = 4.5e-9, e.idot = 1e-10, e.omega_dot = -8e-9;
  e.cuc = 1e-6, e.cus = -2e-6, e.crc = 250.0, e.crs = -30.0, e.cic = 1e-7, e.cis = -1e-7;
  e.af0 = 0.000244140625, e.af1 = -9.094947017729282e-13, e.af2 = 0.0, e.tgd = -9.313225746154785e-10;
  e.iode = 44, e.iodc = 44, e.health = 0, e.ura = 2;
  return e;
}

TEST(RinexNavigationFormat, RecordsOfBothVersions) {
  FixedText<2048> out;
  ASSERT_TRUE(FormatNavigationRecord(out, RinexVersion::k304, Ephemeris()));
  ASSERT_TRUE(FormatNavigationRecord(out, RinexVersion::k211, Ephemeris()));
  EXPECT_EQ(out.View(),
            "G17 2023 12 03 02 00 00 2.441406250000E-04-9.094947017729E-13 0.000000000000E+00\n"
            "     4.400000000000E+01-3.000000000000E+01 4.500000000000E-09 5.000000000000E-01\n"
            "     1.000000000000E-06 1.000000000000E-02-2.000000000000E-06 5.153600000000E+03\n"
            "     7.200000000000E+03 1.000000000000E-07-1.500000000000E+00-1.000000000000E-07\n"
            "     9.600000000000E-01 2.500000000000E+02 2.000000000000E+00-8.000000000000E-09\n"
            "     1.000000000000E-10 0.000000000000E+00 2.291000000000E+03 0.000000000000E+00\n"
            "     4.000000000000E+00 0.000000000000E+00-9.313225746155E-10 4.400000000000E+01\n"
            "     0.000000000000E+00 4.000000000000E+00\n"
            "17 23 12  3  2  0  0.0 2.441406250000D-04-9.094947017729D-13 0.000000000000D+00\n"
            "    4.400000000000D+01-3.000000000000D+01 4.500000000000D-09 5.000000000000D-01\n"
            "    1.000000000000D-06 1.000000000000D-02-2.000000000000D-06 5.153600000000D+03\n"
            "    7.200000000000D+03 1.000000000000D-07-1.500000000000D+00-1.000000000000D-07\n"
            "    9.600000000000D-01 2.500000000000D+02 2.000000000000D+00-8.000000000000D-09\n"
            "    1.000000000000D-10 0.000000000000D+00 2.291000000000D+03 0.000000000000D+00\n"
            "    4.000000000000D+00 0.000000000000D+00-9.313225746155D-10 4.400000000000D+01\n"
            "    0.000000000000D+00 4.000000000000D+00\n");
}

TEST(RinexNavigationFormat, DamagedValuesLeaveTheRecordOut) {
  gnss::BroadcastEphemeris e = Ephemeris();
  e.af0 = std::nan("");
  FixedText<2048> out;
  EXPECT_FALSE(FormatNavigationRecord(out, RinexVersion::k304, e));
  e = Ephemeris();
  e.crc = 1e120;
  EXPECT_FALSE(FormatNavigationRecord(out, RinexVersion::k304, e));
  for (std::int64_t seconds : {-1, 604800, 600000000}) {
    e = Ephemeris();
    e.toc = static_cast<decltype(e.toc)>(seconds);
    EXPECT_FALSE(FormatNavigationRecord(out, RinexVersion::k304, e)) << "toc " << seconds;
    e = Ephemeris();
    e.toe = static_cast<decltype(e.toe)>(seconds);
    EXPECT_FALSE(FormatNavigationRecord(out, RinexVersion::k304, e)) << "toe " << seconds;
  }
  EXPECT_EQ(out.Size(), 0u);
  const double nominal[] = {2.0, 2.8, 4.0, 5.7, 8.0, 11.3, 16.0, 32.0, 64.0, 128.0, 256.0, 512.0, 1024.0, 2048.0,
                            4096.0, 8192.0};
  for (int index = 0; index < 16; ++index) EXPECT_DOUBLE_EQ(UraMetres(index), nominal[index]) << index;
  EXPECT_DOUBLE_EQ(UraMetres(-1), 8192.0);
  EXPECT_DOUBLE_EQ(UraMetres(16), 8192.0);
}

// The header of both versions, column by column: 3.04 IONOSPHERIC CORR is
// A4,1X,4D12.4, 2.11 ION ALPHA and ION BETA 2X,4D12.4 (columns 3-50).
TEST(RinexNavigationFormat, HeaderWithTheIonosphere) {
  NavigationHeader header;
  header.program = ProgramLine{"morvelin test", "", "20240101 000000 UTC"};
  header.comments = {"ionosphere parameters from brdc3450.23n"};
  header.ionosphere = RinexIonosphere{{0x1.8p-27, 0x1p-27, -0x1p-24, -0x1p-24}, {90112.0, 49152.0, -131072.0, 0.0}};
  header.leap_seconds = 18;
  FixedText<2048> out;
  FormatNavigationHeader(out, RinexVersion::k304, header);
  FormatNavigationHeader(out, RinexVersion::k211, header);
  EXPECT_EQ(out.View(),
            "     3.04           N: GNSS NAV DATA    G: GPS              RINEX VERSION / TYPE\n"
            "morvelin test                           20240101 000000 UTC PGM / RUN BY / DATE \n"
            "ionosphere parameters from brdc3450.23n                     COMMENT             \n"
            "GPSA   1.1176E-08  7.4506E-09 -5.9605E-08 -5.9605E-08       IONOSPHERIC CORR    \n"
            "GPSB   9.0112E+04  4.9152E+04 -1.3107E+05  0.0000E+00       IONOSPHERIC CORR    \n"
            "    18                                                      LEAP SECONDS        \n"
            "                                                            END OF HEADER       \n"
            "     2.11           N: GPS NAV DATA                         RINEX VERSION / TYPE\n"
            "morvelin test                           20240101 000000 UTC PGM / RUN BY / DATE \n"
            "ionosphere parameters from brdc3450.23n                     COMMENT             \n"
            "    1.1176D-08  7.4506D-09 -5.9605D-08 -5.9605D-08          ION ALPHA           \n"
            "    9.0112D+04  4.9152D+04 -1.3107D+05  0.0000D+00          ION BETA            \n"
            "    18                                                      LEAP SECONDS        \n"
            "                                                            END OF HEADER       \n");
  EXPECT_FALSE(IonosphereFits({{0.0, 0.0, 0.0, 0.0}, {0.0, 0.0, 0.0, 1e100}}));  // no two-digit exponent
}

// --iono-from: the header of a navigation file of either version gives the
// eight values; a file that cannot give them is refused, saying why.
TEST(RinexNavigationFormat, IonosphereReadFromANavigationFile) {
  const std::string v2 =
      "     2.10           N: GPS NAV DATA                         RINEX VERSION / TYPE\n"
      "    9.3132D-09 -1.4901D-08 -5.9605D-08  1.1921D-07          ION ALPHA           \n"
      "    9.6256D+04 -1.4746D+05 -1.3107D+05  9.1750D+05          ION BETA            \n"
      "                                                            END OF HEADER       \n";
  const std::string v3 =
      "     3.04           N: GNSS NAV DATA    M: Mixed            RINEX VERSION / TYPE\n"
      "GAL    2.5500E+01  0.0000E+00  0.0000E+00  0.0000E+00       IONOSPHERIC CORR    \n"
      "GPSB   9.6256E+04 -1.4746E+05 -1.3107E+05  9.1750E+05       IONOSPHERIC CORR    \n"
      "GPSA   9.3132E-09 -1.4901E-08 -5.9605E-08  1.1921E-07 T 12  IONOSPHERIC CORR    \n"
      "                                                            END OF HEADER       \n"
      "GPSA   1.0000E-08  1.0000E-08  1.0000E-08  1.0000E-08       IONOSPHERIC CORR    \n";
  const RinexIonosphere expected{{9.3132e-09, -1.4901e-08, -5.9605e-08, 1.1921e-07},
                                 {96256.0, -147460.0, -131070.0, 917500.0}};
  std::string crlf;  // the 2.x file with DOS line ends and lower-case exponents
  for (char ch : v2) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch == 'D' ? 'd' : ch);
  const struct {
    std::string text;
    const char* refusal;  // null: read
  } cases[] = {
      {v2, nullptr},
      {crlf, nullptr},
      {v3, nullptr},
      {v2.substr(0, v2.find("    9.6256")), "holds no GPS ionosphere parameters (ION ALPHA and ION BETA)"},
      {v3.substr(0, v3.find("GPSB")), "holds no GPS ionosphere parameters (IONOSPHERIC CORR GPSA and GPSB)"},
      {"     2.11           O                                       RINEX VERSION / TYPE\n", "is not a RINEX 2 or 3"},
      {"     2.11           N: GPS NAV DATA                         RINEX VERSION / TYPE\n"
       "    9.3132D-09 -1.4901D-08 -5.9605D-08                      ION ALPHA           \n",
       "an ionosphere record does not hold four numbers"},
      {"     2.11           N: GPS NAV DATA                         RINEX VERSION / TYPE\n"
       "    9.3132D-09         nan -5.9605D-08  1.1921D-07          ION ALPHA           \n",
       "an ionosphere record does not hold four numbers"},
  };
  test::TempDir dir;
  for (const auto& c : cases) {
    const std::string path = dir.File("brdc.nav");
    std::ofstream(path, std::ios::binary) << c.text;
    const Result<RinexIonosphere> read = ReadRinexIonosphere(path);
    if (c.refusal == nullptr) {
      ASSERT_TRUE(read.Ok()) << read.Message();
      EXPECT_EQ(*read, expected);
    } else {
      EXPECT_NE(read.Message().find(c.refusal), std::string::npos) << read.Message();
    }
  }
  EXPECT_EQ(ReadRinexIonosphere(dir.File("none.nav")).Message(), "Error: File " + dir.File("none.nav") + " not found");
}

// Each column takes the signal the record holds: in 2.11 the one L1 phase
// and L1 Doppler columns take C/A or P-code alike; a value too wide for
// F14.3 leaves its field blank but keeps its loss-of-lock indicator; a
// signal the layout does not list is not written.
TEST(RinexObservationFormat, ColumnsTakeTheSignalTheRecordHolds) {
  struct Case {
    RinexVersion version;
    ObservationTypes types;
    std::vector<std::tuple<Signal, double, std::uint8_t>> values;
    const char* expected;
  } cases[] = {
      {RinexVersion::k211, {true, true, true, true},
       {{Signal::kL1CaCode, 21000000.5, 0}, {Signal::kL1CaPhase, -0.0625, 1}, {Signal::kL1CaDoppler, 5.0625, 0}},
       "  21000000.500                          -0.0621          5.062\n\n"},
      {RinexVersion::k304, {true, false, true},
       {{Signal::kL1CaCode, 1.0e10, 0}, {Signal::kL1CaPhase, 123.4375, 1}, {Signal::kL1PPhase, 7.0, 0}},
       "G09                       123.4381\n"},
      {RinexVersion::k304, {false, true, false},
       {{Signal::kL1PCode, -999999999.9994, 0}, {Signal::kL1PPhase, -1e10, 1}},
       "G09-999999999.999                1\n"},
  };
  for (const Case& c : cases) {
    SatelliteRecord r;
    r.prn = 9;
    for (const auto& [signal, value, lli] : c.values) {
      r.value[static_cast<int>(signal)] = value, r.present[static_cast<int>(signal)] = true;
      r.lli[static_cast<int>(signal)] = lli;
    }
    FixedText<512> out;
    FormatSatelliteRecord(out, c.version, MakeLayout(c.version, c.types), r);
    EXPECT_EQ(out.View(), c.expected) << c.expected;
  }
}

// --doppler: D1C beside L1C (D1W beside L1W), 2.11 one D1 for both; the
// Doppler is an F14.3 field of its own, without a loss-of-lock indicator.
TEST(RinexObservationFormat, DopplerColumns) {
  FixedText<1024> out;
  for (RinexVersion version : {RinexVersion::k304, RinexVersion::k211}) {
    const ObservationLayout layout = MakeLayout(version, {true, true, true, true});
    ObservationTypesRecords(out, version, layout);
    SatelliteRecord r;
    r.prn = 7;
    for (auto [signal, value] : {std::pair{Signal::kL1PCode, 20590207.2814}, {Signal::kL1PPhase, 108859366.3481},
                                 {Signal::kL1PDoppler, -2454.0219}, {Signal::kL2Code, 20590210.897}}) {
      r.value[static_cast<int>(signal)] = value;
      r.present[static_cast<int>(signal)] = true;
    }
    FormatSatelliteRecord(out, version, layout, r);
  }
  EXPECT_EQ(out.View(),
            "G    8 C1C L1C D1C C1W L1W D1W C2W L2W                      SYS / # / OBS TYPES \n"
            "G07                                                  20590207.281   108859366.348       -2454.022"
            "    20590210.897\n"
            "     6    C1    P1    L1    D1    P2    L2                  # / TYPES OF OBSERV \n"
            "                  20590207.281   108859366.348       -2454.022    20590210.897\n"
            "\n");  // the sixth type's line, L2 not observed
}

// ---- File names ---------------------------------------------------------------

TEST(RinexFileNames, ShortAndLong) {
  const CivilTime start = CivilFromGps(2292, 86400.0);
  EXPECT_EQ(ShortName("SIMU", start, FileKind::kObservation), "simu3450.23o");
  EXPECT_EQ(ShortName("AB", start, FileKind::kNavigation), "ab__3450.23n");
  EXPECT_EQ(ShortName("", start, FileKind::kObservation), "rnx_3450.23o");
  EXPECT_EQ(ShortName("P-12x", start, FileKind::kObservation), "p_123450.23o");
  EXPECT_EQ(LongName("SIMU", start, 3600.0, 1.0, FileKind::kObservation), "SIMU00XXX_R_20233450000_01H_01S_GO.rnx");
  EXPECT_EQ(LongName("sim1", CivilFromGps(2292, 90900.0), 900.0, 0.05, FileKind::kObservation),
            "SIM100XXX_R_20233450115_15M_20Z_GO.rnx");
  EXPECT_EQ(LongName("SIMU", start, 86400.0, 30.0, FileKind::kNavigation), "SIMU00XXX_R_20233450000_01D_GN.rnx");
  EXPECT_EQ(PeriodCode(0.0), "00U");
  EXPECT_EQ(PeriodCode(5400.0), "02H");
  EXPECT_EQ(RateCode(0.0), "00U");
  EXPECT_EQ(RateCode(120.0), "02M");
}

TEST(RinexFileNames, SessionCharacterAndRate) {
  struct Case {
    double start_seconds, period;
    char session;
  } sessions[] = {
      {86400.0, 86400.0, '0'},  {86400.0, 86399.0, 'a'}, {86400.0 + 3600.0, 86400.0, 'b'},
      {86400.0 + 23 * 3600.0 + 59.0, 60.0, 'x'}, {86400.5, 86400.0, '0'},
  };
  for (const Case& c : sessions)
    EXPECT_EQ(SessionCharacter(CivilFromGps(2292, c.start_seconds), c.period), c.session) << c.start_seconds;
  std::string tried(1, 'x');
  for (char c = NextSessionCharacter('x', 'x'); c != 0; c = NextSessionCharacter(c, 'x')) tried += c;
  EXPECT_EQ(tried, "xyz1234567890abcdefghijklmnopqrstuvw");
  const std::pair<double, const char*> rates[] = {{0.1, "10Z"}, {0.05, "20Z"}, {0.02, "50Z"}, {0.01, "01C"},
                                                  {0.5, "02Z"}, {1.0, "01S"}, {30.0, "30S"}, {300.0, "05M"}};
  for (const auto& [seconds, code] : rates) EXPECT_EQ(RateCode(seconds), code) << seconds;
}

// ---- Epoch selection ------------------------------------------------------------

// Tags a little off a multiple of the interval, the window's ends and the
// hour: 0.025 s either side counts as on it, as convbin -ti takes it.
TEST(RinexEpochSelection, ToleranceAtMultiplesEndsAndHours) {
  RinexOptions options;
  options.interval = 30.0;
  options.from = RinexGpsTime{2292, 86400.0};
  options.to = RinexGpsTime{2292, 90000.0};
  options.split = RinexSplit::kHour;
  const EpochSelection selection(options);
  const struct {
    double seconds;
    bool kept;
    std::int64_t hour;  // of the GPS week's start
  } cases[] = {
      {86400.0, true, 24},        {86399.976, true, 24},     {86399.974, false, 23}, {86430.025, true, 24},
      {86430.026, false, 24},     {86459.9999999, true, 24}, {86460.0000001, true, 24}, {86445.0, false, 24},
      {89999.99, true, 25},       {90000.0, true, 25},       {90030.0, false, 25},   {86370.0, false, 23},
  };
  const std::int64_t week_hours = 2292LL * 7 * 24;
  for (const auto& c : cases) {
    const std::int64_t ticks = GpsTicks(2292, c.seconds);
    EXPECT_EQ(selection.Keeps(ticks), c.kept) << c.seconds;
    EXPECT_EQ(selection.PeriodOf(ticks) - week_hours, c.hour) << c.seconds;
  }
  EXPECT_DOUBLE_EQ(selection.HeaderInterval(GpsTicks(0, 29.976)), 30.0);
  EXPECT_DOUBLE_EQ(selection.HeaderInterval(GpsTicks(0, 60.04)), 60.0);
  EXPECT_DOUBLE_EQ(selection.HeaderInterval(GpsTicks(0, 45.0)), 45.0);
  EXPECT_DOUBLE_EQ(EpochSelection(RinexOptions{}).HeaderInterval(GpsTicks(0, 29.976)), 29.976);
}

// ---- The export's rules, on whole small files -------------------------------

// The file's text with the platform's line ends ("\r\n" on Windows, where
// RINEX files are text files as the host's are) read back as "\n".
std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string bytes = text.str();
#if defined(_WIN32)
  std::string lines;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) lines += bytes[i];
  bytes = lines;
#endif
  return bytes;
}

// The lines after END OF HEADER.
std::string Body(const std::string& file) {
  const std::size_t end = file.find("END OF HEADER");
  return end == std::string::npos ? "" : file.substr(file.find('\n', end) + 1);
}

class ExportSession : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("rinex_format_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                        "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    options_.creation_time = "20240101 000000 UTC";
    options_.program = "morvelin test";
    options_.fallback_name = "TEST";
  }
  void TearDown() override { fs::remove_all(dir_); }

  static ExportSatellite Sat(std::uint8_t prn, double code, bool slip = false, bool valid = true) {
    ExportSatellite s;
    s.prn = prn, s.l1_code = code, s.l1_phase = code / 0.19 + 0.5, s.slip = slip, s.phase_valid = valid;
    return s;
  }
  static ExportEpoch Epoch(double t, const std::vector<ExportSatellite>& sats) {
    ExportEpoch e;
    e.receiver_time = t, e.clock_offset = 1e-4, e.satellites = sats.data(), e.count = static_cast<int>(sats.size());
    return e;
  }

  fs::path dir_;
  RinexOptions options_;
};

// LLI: set at a flagged slip, at the first valid phase after an invalid
// one, when a satellite comes back after missing epochs, and for every
// satellite after epochs missing from the data; never at a first sight.
TEST_F(ExportSession, LossOfLockCases) {
  options_.week = 2292;
  ObservationExport out(options_, dir_.string());
  std::vector<std::vector<ExportSatellite>> epochs = {
      {Sat(1, 2e7), Sat(2, 2.1e7), Sat(3, 2.2e7)},                      // t 10: first sight, no LLI
      {Sat(1, 2e7, true), Sat(2, 2.1e7, false, false), Sat(3, 2.2e7)},  // t 11: slip on 1; 2 invalid; 3 fine
      {Sat(1, 2e7), Sat(2, 2.1e7)},                                     // t 12: 2 back after the invalid phase; 3 gone
      {Sat(1, 2e7), Sat(2, 2.1e7), Sat(3, 2.2e7)},                      // t 13: 3 back after a gap
      {Sat(1, 2e7), Sat(2, 2.1e7), Sat(3, 2.2e7)},                      // t 16: epochs missing: all
  };
  const double times[] = {10.0, 11.0, 12.0, 13.0, 16.0};
  for (std::size_t i = 0; i < epochs.size(); ++i) out.Epoch(Epoch(times[i], epochs[i]));
  RinexOutputs files;
  ASSERT_TRUE(out.Finish(&files)) << out.Failure().Message();
  EXPECT_EQ(fs::path(files.observation_path).filename(), "test344a.23o");
  EXPECT_EQ(files.epochs, 5);
  EXPECT_EQ(files.signals, 27);
  EXPECT_EQ(Body(ReadFile(files.observation_path)),
            "> 2023 12 10 00 00 10.0000000  0  3       0.000100000000\n"
            "G01  20000000.000   105263158.395\n"
            "G02  21000000.000   110526316.289\n"
            "G03  22000000.000   115789474.184\n"
            "> 2023 12 10 00 00 11.0000000  0  3       0.000100000000\n"
            "G01  20000000.000   105263158.3951\n"
            "G02  21000000.000\n"
            "G03  22000000.000   115789474.184\n"
            "> 2023 12 10 00 00 12.0000000  0  2       0.000100000000\n"
            "G01  20000000.000   105263158.395\n"
            "G02  21000000.000   110526316.2891\n"
            "> 2023 12 10 00 00 13.0000000  0  3       0.000100000000\n"
            "G01  20000000.000   105263158.395\n"
            "G02  21000000.000   110526316.289\n"
            "G03  22000000.000   115789474.1841\n"
            "> 2023 12 10 00 00 16.0000000  0  3       0.000100000000\n"
            "G01  20000000.000   105263158.3951\n"
            "G02  21000000.000   110526316.2891\n"
            "G03  22000000.000   115789474.1841\n");
  const std::string file = ReadFile(files.observation_path);
  EXPECT_NE(file.find("     1.000                                                  INTERVAL"), std::string::npos);
  EXPECT_NE(file.find("  2023    12    10     0     0   16.0000000     GPS         TIME OF LAST OBS"),
            std::string::npos);
}

// Time tags going back or repeated are left out with a warning, a slip in
// one carried to the next epoch written.
TEST_F(ExportSession, EpochsThatDoNotGoForward) {
  options_.week = 2292;
  ObservationExport out(options_, dir_.string());
  const std::vector<ExportSatellite> fine = {Sat(1, 2e7), Sat(2, 2.1e7)};
  const std::vector<ExportSatellite> slipped = {Sat(1, 2e7), Sat(2, 2.1e7, true)};
  out.Epoch(Epoch(10.0, fine));
  out.Epoch(Epoch(11.0, fine));
  out.Epoch(Epoch(10.5, slipped));
  out.Epoch(Epoch(11.0, fine));
  out.Epoch(Epoch(12.0, fine));
  RinexOutputs files;
  ASSERT_TRUE(out.Finish(&files)) << out.Failure().Message();
  EXPECT_EQ(files.epochs, 3);
  EXPECT_EQ(Body(ReadFile(files.observation_path)),
            "> 2023 12 10 00 00 10.0000000  0  2       0.000100000000\n"
            "G01  20000000.000   105263158.395\n"
            "G02  21000000.000   110526316.289\n"
            "> 2023 12 10 00 00 11.0000000  0  2       0.000100000000\n"
            "G01  20000000.000   105263158.395\n"
            "G02  21000000.000   110526316.289\n"
            "> 2023 12 10 00 00 12.0000000  0  2       0.000100000000\n"
            "G01  20000000.000   105263158.395\n"
            "G02  21000000.000   110526316.2891\n");
  EXPECT_EQ(files.warnings, std::vector<std::string>{"Warning: 2 epochs not later than the epoch written before left "
                                                     "out of the RINEX observation file"});
}

// A phase too wide for F14.3 is clipped by whole 10^9 cycles into the field,
// its loss-of-lock indicator set; one that fits is kept as it is.
TEST_F(ExportSession, PhasesTooWideAreClipped) {
  options_.week = 2292;
  ObservationExport out(options_, dir_.string());
  std::vector<ExportSatellite> sats = {Sat(1, 2e7), Sat(2, 2e7), Sat(3, 2e7)};
  sats[0].l1_phase = 12345678901.25, sats[1].l1_phase = -1500000000.5, sats[2].l1_phase = 9999999999.25;
  out.Epoch(Epoch(10.0, sats));
  RinexOutputs files;
  ASSERT_TRUE(out.Finish(&files));
  EXPECT_EQ(Body(ReadFile(files.observation_path)),
            "> 2023 12 10 00 00 10.0000000  0  3       0.000100000000\n"
            "G01  20000000.000   345678901.2501\n"
            "G02  20000000.000  -500000000.5001\n"
            "G03  20000000.000  9999999999.250\n");
}

// Without week, date or ephemeris the export is refused, saying what to give.
TEST_F(ExportSession, NoWeekRefused) {
  ObservationExport out(options_, dir_.string());
  const std::vector<ExportSatellite> sats = {Sat(1, 2e7)};
  out.Epoch(Epoch(100.0, sats));
  RinexOutputs files;
  EXPECT_FALSE(out.Finish(&files));
  EXPECT_NE(out.Failure().Message().find("--week N"), std::string_view::npos);
  EXPECT_NE(out.Failure().Message().find("--date YYYY-MM-DD"), std::string_view::npos);
  EXPECT_TRUE(fs::is_empty(dir_));
}

// Epochs before the first ephemeris wait for it; the session then runs
// over the end of the week, events keep their place, and the navigation
// file holds each set once, in time order.
TEST_F(ExportSession, WeekFromALateEphemerisAndOverTheWeekEnd) {
  ObservationExport out(options_, dir_.string());
  const std::vector<ExportSatellite> sats = {Sat(7, 2e7)};
  out.Epoch(Epoch(604798.0, sats));
  out.EventMarker(604798.5);
  gnss::BroadcastEphemeris late = Ephemeris(), early = Ephemeris();
  late.week = 2293, late.toe = late.toc = 0, late.prn = 7;
  early.week = 2292, early.toe = early.toc = 597600, early.prn = 9;
  out.Ephemeris(late);
  out.Epoch(Epoch(604799.0, sats));
  out.Epoch(Epoch(0.0, sats));
  out.EventMarker(0.25);
  out.Epoch(Epoch(1.0, sats));
  out.Ephemeris(early);
  out.Ephemeris(late);
  out.Ionosphere(nullptr, 40);  // a type-20 record of another length: said, not written
  RinexOutputs files;
  ASSERT_TRUE(out.Finish(&files)) << out.Failure().Message();
  EXPECT_EQ(Body(ReadFile(files.observation_path)),
            "> 2023 12 16 23 59 58.0000000  0  1       0.000100000000\n"
            "G07  20000000.000   105263158.395\n"
            "> 2023 12 16 23 59 58.5000000  5  0\n"
            "> 2023 12 16 23 59 59.0000000  0  1       0.000100000000\n"
            "G07  20000000.000   105263158.395\n"
            "> 2023 12 17 00 00  0.0000000  0  1       0.000100000000\n"
            "G07  20000000.000   105263158.395\n"
            "> 2023 12 17 00 00  0.2500000  5  0\n"
            "> 2023 12 17 00 00  1.0000000  0  1       0.000100000000\n"
            "G07  20000000.000   105263158.395\n");
  EXPECT_EQ(files.ephemerides, 2);
  const std::string nav = ReadFile(files.navigation_path);
  EXPECT_LT(nav.find("G09 2023 12 16 22 00 00"), nav.find("G07 2023 12 17 00 00 00"));
  EXPECT_NE(nav.find("\n    18                                                      LEAP SECONDS        \n"
                     "                                                            END OF HEADER"),
            std::string::npos);
  EXPECT_NE(nav.find("UTC PGM / RUN BY / DATE \n"
                     "ionosphere record ignored: 40 bytes, not 64                 COMMENT             \n"
                     "no ionosphere parameters in the data                        COMMENT             \n    18"),
            std::string::npos) << nav;
}

// The week of the files: from ephemerides that say week 0 the files are
// dated 1980 and the export warns; --week and --date date both files, the
// navigation records taking the week nearest the first epoch; a --date
// whose day the first epoch's time of week contradicts is refused.
TEST_F(ExportSession, WeekZeroWarnedWeekAndDateRedateBothFiles) {
  const struct {
    std::optional<std::int32_t> week;
    std::optional<RinexDate> date;
    const char* navigation;  // the record's first line, or the refusal
    const char* warning;
  } cases[] = {
      {{}, {}, "G17 1980 01 12 02 00 00", "Warning: the ephemerides say GPS week 0: the RINEX files are dated 1980-01-13"},
      {2292, {}, "G17 2023 12 09 02 00 00", nullptr},
      {{}, RinexDate{2023, 12, 10}, "G17 2023 12 09 02 00 00", nullptr},
      {{}, RinexDate{2023, 12, 11},
       "Error: --date 2023-12-11 is not the date of the first epoch: its time of week (3600.000 s) puts it on "
       "2023-12-10 in GPS week 2292", nullptr},
  };
  const std::vector<ExportSatellite> sats = {Sat(17, 2e7)};
  for (const auto& c : cases) {
    options_.week = c.week, options_.date = c.date;
    const fs::path dir = dir_ / std::to_string(&c - cases);
    fs::create_directories(dir);
    ObservationExport out(options_, dir.string());
    gnss::BroadcastEphemeris eph = Ephemeris();
    eph.week = 0, eph.toe = eph.toc = 7200 + 6 * 86400;  // Saturday, a day before the first epoch
    out.Ephemeris(eph);
    out.Epoch(Epoch(3600.0, sats));
    RinexOutputs files;
    const bool written = out.Finish(&files);
    EXPECT_EQ(files.date_refused, !written);
    if (!written) {
      EXPECT_EQ(out.Failure().Message(), c.navigation);
      EXPECT_TRUE(fs::is_empty(dir));
      continue;
    }
    EXPECT_EQ(Body(ReadFile(files.navigation_path)).substr(0, 23), c.navigation);
    EXPECT_EQ(files.warnings.empty() ? "" : files.warnings[0].substr(0, 77), c.warning ? c.warning : "");
  }
}

// Motion and occupation: a kinematic start is flag 2; back to static with a
// new point is flag 3 with its header records; an entry after the last
// epoch changes nothing.
TEST_F(ExportSession, OccupationsAndMotion) {
  options_.version = RinexVersion::k211;
  options_.week = 2292;
  ObservationExport out(options_, dir_.string());
  StationFacts facts;
  facts.marker_name = "SIMU";
  facts.antenna_height = 1.5;
  out.SetStation(facts);
  const std::vector<ExportSatellite> sats = {Sat(3, 2e7)};
  out.Epoch(Epoch(100.0, sats));
  ExportEpoch moving = Epoch(101.0, sats);
  moving.kinematic = true;
  out.Epoch(moving);
  out.StationEntry("PT2", 2.0);
  out.Epoch(Epoch(102.0, sats));
  out.StationEntry("PT2", 2.0);
  out.Epoch(Epoch(103.0, sats));
  out.StationEntry("END", 0.0);
  RinexOutputs files;
  ASSERT_TRUE(out.Finish(&files)) << out.Failure().Message();
  EXPECT_EQ(fs::path(files.observation_path).filename(), "simu344a.23o");
  EXPECT_EQ(Body(ReadFile(files.observation_path)),
            " 23 12 10  0  1 40.0000000  0  1G03                                  0.000100000\n"
            "  20000000.000   105263158.395\n"
            " 23 12 10  0  1 41.0000000  2  0\n"
            " 23 12 10  0  1 41.0000000  0  1G03                                  0.000100000\n"
            "  20000000.000   105263158.395\n"
            " 23 12 10  0  1 42.0000000  3  2\n"
            "PT2                                                         MARKER NAME         \n"
            "        2.0000        0.0000        0.0000                  ANTENNA: DELTA H/E/N\n"
            " 23 12 10  0  1 42.0000000  0  1G03                                  0.000100000\n"
            "  20000000.000   105263158.395\n"
            " 23 12 10  0  1 43.0000000  0  1G03                                  0.000100000\n"
            "  20000000.000   105263158.395\n");
}

// The header, whole, from the first epoch's station facts and types: the
// marker's position 1.5 m below the antenna's that the receiver gave.
TEST_F(ExportSession, WholeHeader) {
  options_.week = 2292;
  ObservationExport out(options_, dir_.string());
  StationFacts facts;
  facts.marker_name = "SIMU";
  facts.receiver_type = "GEODETIC L1/L2";
  facts.antenna_height = 1.5;
  facts.has_position = true;
  facts.latitude = 47.3769, facts.longitude = 8.5417, facts.height = 408.0;
  out.SetStation(facts);
  ExportSatellite s = Sat(5, 2e7);
  s.p_code = true, s.l2 = true, s.l2_code = 2e7 + 1.0, s.l2_phase = 8e7;
  const std::vector<ExportSatellite> sats = {s};
  out.Epoch(Epoch(86400.0, sats));
  RinexOutputs files;
  ASSERT_TRUE(out.Finish(&files));
  const std::string file = ReadFile(files.observation_path);
  EXPECT_EQ(file.substr(0, file.find("> ")),
            "     3.04           OBSERVATION DATA    G                   RINEX VERSION / TYPE\n"
            "morvelin test                           20240101 000000 UTC PGM / RUN BY / DATE \n"
            "SIMU                                                        MARKER NAME         \n"
            "GEODETIC                                                    MARKER TYPE         \n"
            "                                                            OBSERVER / AGENCY   \n"
            "                    GEODETIC L1/L2                          REC # / TYPE / VERS \n"
            "                                                            ANT # / TYPE        \n"
            "  4279226.8020   642719.0713  4670539.7748                  APPROX POSITION XYZ \n"
            "        1.5000        0.0000        0.0000                  ANTENNA: DELTA H/E/N\n"
            "G    4 C1W L1W C2W L2W                                      SYS / # / OBS TYPES \n"
            "G L1W  0.00000                                              SYS / PHASE SHIFT   \n"
            "G L2W  0.00000                                              SYS / PHASE SHIFT   \n"
            "interval: not known (fewer than two epochs)                 COMMENT             \n"
            "  2023    12    11     0     0    0.0000000     GPS         TIME OF FIRST OBS   \n"
            "  2023    12    11     0     0    0.0000000     GPS         TIME OF LAST OBS    \n"
            "     0                                                      RCV CLOCK OFFS APPL \n"
            "                                                            END OF HEADER       \n");
}

// A filled 2.11 header, written record by record; the two lines known at
// the end are patched where the writer says they begin.
TEST(RinexObservationHeader, WrittenAndPatched) {
  test::TempDir dir;
  ObservationHeader header;
  header.version = RinexVersion::k211;
  header.program = ProgramLine{"morvelin test", "lab", "20240101 000000 UTC"};
  header.comments = {"first comment", "second comment"};
  header.marker_name = "SITE";
  header.marker_type = "GEODETIC";  // 3.04 only
  header.receiver_type = "CA-CODE";
  header.position = {4279227.8065, 642719.2221, 4670540.8785};
  header.antenna_height = 1.25;
  header.layout = MakeLayout(RinexVersion::k211, {true, false, false});
  header.first_time = CivilFromGps(2292, 86400.0);
  OutputSet set("test");
  const Result<std::string> temporary = set.Temporary(dir.Path(), "site");
  ASSERT_TRUE(temporary.Ok());
  OutputFile file;
  ASSERT_TRUE(file.Open(set, *temporary));
  const HeaderPositions positions = WriteObservationHeader(file, header);
  FixedText<256> line;
  IntervalRecord(line, 30.0);
  EXPECT_TRUE(file.Patch(positions.interval, line.View()));
  line.Clear();
  TimeOfObservationRecord(line, CivilFromGps(2292, 90000.0), "TIME OF LAST OBS");
  EXPECT_TRUE(file.Patch(positions.last_obs, line.View()));
  ASSERT_TRUE(file.Close());
  ASSERT_TRUE(set.Bind(*temporary, dir.File("site.23o")).Ok());
  ASSERT_TRUE(set.Commit().Ok());
  EXPECT_EQ(ReadFile(dir.File("site.23o")),
            "     2.11           OBSERVATION DATA    G (GPS)             RINEX VERSION / TYPE\n"
            "morvelin test       lab                 20240101 000000 UTC PGM / RUN BY / DATE \n"
            "first comment                                               COMMENT             \n"
            "second comment                                              COMMENT             \n"
            "SITE                                                        MARKER NAME         \n"
            "                                                            OBSERVER / AGENCY   \n"
            "                    CA-CODE                                 REC # / TYPE / VERS \n"
            "                                                            ANT # / TYPE        \n"
            "  4279227.8065   642719.2221  4670540.8785                  APPROX POSITION XYZ \n"
            "        1.2500        0.0000        0.0000                  ANTENNA: DELTA H/E/N\n"
            "     1     0                                                WAVELENGTH FACT L1/2\n"
            "     2    C1    L1                                          # / TYPES OF OBSERV \n"
            "    30.000                                                  INTERVAL            \n"
            "  2023    12    11     0     0    0.0000000     GPS         TIME OF FIRST OBS   \n"
            "  2023    12    11     1     0    0.0000000     GPS         TIME OF LAST OBS    \n"
            "     0                                                      RCV CLOCK OFFS APPL \n"
            "                                                            END OF HEADER       \n");
}

// A file that cannot be created fails the export, and says which.
TEST_F(ExportSession, UnwritableFolderFails) {
  options_.week = 2292;
  ObservationExport out(options_, (dir_ / "missing" / "deeper").string());
  const std::vector<ExportSatellite> sats = {Sat(1, 2e7)};
  out.Epoch(Epoch(100.0, sats));
  EXPECT_NE(out.Failure().Message().find("Unable to create"), std::string_view::npos);
  EXPECT_FALSE(out.Finish(nullptr));
}

// An event marker before the first epoch, in a run whose week is known:
// it waited for the file, and writing it before the file was started hit
// a buffer not yet made (found by the conversion fuzz target). The run
// converts; the event has no place before the header and is left out.
TEST(RinexSink, EventBeforeTheFirstEpochConverts) {
  test::RawBuilder raw;
  raw.Write<MarkedEventRecord>({7, 86400500.0}, event_sub_record::kManualEvent);
  raw.Measurement(86401000.0, 0.25, {test::RawSatellite{}});
  const test::Bytes bytes = raw.Get();
  test::TempDir dir;
  RinexOptions options;
  options.week = 2292;
  options.creation_time = "20240101 000000 UTC";
  RinexOutputs outputs;
  Result<std::unique_ptr<ConversionSink>> made = MakeRinexSink(options, dir.Path(), &outputs);
  ASSERT_TRUE(made.Ok()) << made.Message();
  std::unique_ptr<ConversionSink> sink = std::move(*made);
  ConversionRequest request;
  request.input = MemoryInput{bytes, "SITE3450.dat"};
  request.host_files = false;
  request.sinks.push_back(sink.get());
  const ConversionOutcome outcome = Convert(request);
  EXPECT_EQ(outcome.result, ConversionResult::kDone) << outcome.failure;
  EXPECT_EQ(outputs.epochs, 1);
}

}  // namespace
}  // namespace morvelin::rinex

namespace morvelin::rinex {
namespace {

// One conversion of the sample with the RINEX sink, its outputs planned in
// set under folder: the paths put into place (by their names).
std::vector<std::string> ConvertSample(OutputSet& set, const std::string& folder) {
  const std::string sample = std::string(MORVELIN_TEST_DATA_DIR) + "/../examples/SIMU3450.dat";
  ConversionRequest request;
  request.input = FileInput{sample};
  request.host_name = "SIMU3450.dat";  // the .gpb header names the file alike in both
  request.output_base = folder.empty() ? "SIMU3450" : folder + "/SIMU3450";
  request.output_set = &set;
  RinexOptions options;
  options.creation_time = "20240101 000000 UTC";
  RinexOutputs outputs;
  auto sink = MakeRinexSink(options, folder, &outputs, &set);
  EXPECT_TRUE(sink.Ok()) << sink.Message();
  if (!sink.Ok()) return {};
  request.sinks.push_back(sink->get());
  const ConversionOutcome outcome = Convert(request);
  EXPECT_EQ(outcome.result, ConversionResult::kDone) << outcome.failure;
  return set.FinalPaths();
}

// A file's bytes as a reader compares them: the .gpb without its header's
// creation time, text with the platform's line ends read back as "\n".
std::string Comparable(std::string bytes, const std::string& name) {
  return name.ends_with(".gpb") ? bytes.replace(8, 12, 12, '\0') : bytes;
}

std::string DiskFile(const std::string& path) {
  if (!path.ends_with(".gpb")) return ReadFile(path);
  const test::Bytes bytes = test::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Every output a run keeps in memory holds what the same run writes to
// disk, under the same names; a run that is discarded leaves nothing.
TEST(MemoryOutputs, HoldWhatTheDiskGets) {
  test::TempDir dir;
  OutputSet on_disk("disk");
  const std::vector<std::string> disk_paths = ConvertSample(on_disk, dir.Path());
  ASSERT_TRUE(on_disk.Commit().Ok());
  MemoryOutputs memory;
  OutputSet in_memory("memory", nullptr, &memory);
  const std::vector<std::string> memory_paths = ConvertSample(in_memory, "");
  ASSERT_TRUE(in_memory.Commit().Ok());

  ASSERT_EQ(memory.Files().size(), 6u) << "the host's four files and two RINEX files";
  ASSERT_EQ(disk_paths.size(), memory_paths.size());
  for (std::size_t i = 0; i < disk_paths.size(); ++i) {
    const std::string name = fs::path(disk_paths[i]).filename().string();
    EXPECT_EQ(memory_paths[i], name);
    const std::string* bytes = memory.Find(name);
    ASSERT_NE(bytes, nullptr) << name;
    EXPECT_TRUE(Comparable(*bytes, name) == Comparable(DiskFile(disk_paths[i]), name)) << name;
  }

  MemoryOutputs discarded;
  OutputBatch batch(true);
  {
    OutputSet set("discarded", &batch, &discarded);
    ConvertSample(set, "");
    OutputSet other("other", &batch, &discarded);
    EXPECT_FALSE(other.Claim("./SIMU3450.gpb").Ok()) << "another run of the batch has that name";
  }
  EXPECT_TRUE(discarded.Files().empty());
}

}  // namespace
}  // namespace morvelin::rinex
