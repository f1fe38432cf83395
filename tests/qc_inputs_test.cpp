// What the quality report reads besides a conversion: measurement files
// (the flagged slips known by their lock times, the +10000-cycle marker
// taken off), ephemeris files, and the session's times as texts.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "gnss/constants.h"
#include "morvelin/gpb.h"
#include "formats/ephemeris_reader.h"
#include "morvelin/qc.h"
#include "qc/report_text.h"
#include "support/harness.h"

namespace morvelin::qc {
namespace {

using gnss::kL1Wavelength;
using gnss::kL2Wavelength;

struct GpbEpoch {
  int lock_time;  // -1: the satellite is not in this epoch
  bool marker;    // +10000 cycles on L1, as the converter writes a flagged slip
};

struct LockCase {
  const char* name;
  double interval;
  std::vector<GpbEpoch> epochs;
  int flagged;
};

// A measurement file of one dual-frequency satellite at a smooth range.
QcReport ReportOf(const LockCase& c, const std::string& path) {
  MeasurementFile* file = CreateMeasurementFile(path.c_str(), 3, 1.0f, 8192, 12);
  EXPECT_NE(file, nullptr);
  for (std::size_t k = 0; k < c.epochs.size(); ++k) {
    EpochRecord epoch{};
    epoch.epoch_time = 3600.0 + c.interval * static_cast<double>(k);
    ObservationRecord obs[2]{};
    ObservationRecord& o = obs[0];
    const double rho = 2.1e7 + 300.0 * c.interval * static_cast<double>(k);
    o.prn = 7;
    o.l1_pseudorange = rho + 3.0;
    o.l1_phase = (rho - 3.0) / kL1Wavelength + 1000.0 + (c.epochs[k].marker ? 10000.0 : 0.0);
    o.l2_pseudorange = rho + 3.0 * gnss::kL1L2Gamma;
    o.l2_phase = (rho - 3.0 * gnss::kL1L2Gamma) / kL2Wavelength - 400.0;
    // A second satellite keeps every epoch in the file.
    obs[1] = o, obs[1].prn = 9, obs[1].l1_phase = (rho - 3.0) / kL1Wavelength;
    ObservationRecord* first = c.epochs[k].lock_time < 0 ? &obs[1] : &obs[0];
    o.lock_time = static_cast<std::uint8_t>(std::max(0, c.epochs[k].lock_time));
    obs[1].lock_time = static_cast<std::uint8_t>(std::min(255.0, c.interval * static_cast<double>(k) + 1e-9));
    epoch.measurement_count = c.epochs[k].lock_time < 0 ? 1 : 2;
    EXPECT_EQ(WriteMeasurementEpoch(file, &epoch, first), 0);
  }
  CloseMeasurementFile(file);
  Result<QcReport> report = BuildQcReportFromFiles(path, "", QcOptions{});
  EXPECT_TRUE(report.Ok()) << report.Message();
  return report.Ok() ? *report : QcReport{};
}

TEST(QcMeasurementFile, FlaggedSlipsAreKnownByTheirLockTimes) {
  const LockCase cases[] = {
      {"1 Hz: lock falls to 0", 1.0, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {0, 1}, {1, 0}, {2, 0}, {3, 0}, {4, 0}}, 1},
      {"1 Hz: two slips", 1.0, {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 0}, {0, 1}, {1, 0}, {2, 0}, {3, 0}}, 2},
      {"1 Hz: 0 after a gap starts an arc", 1.0, {{0, 0}, {1, 0}, {2, 0}, {-1, 0}, {0, 0}, {1, 0}, {2, 0}}, 0},
      {"5 Hz: 0 during the first second is no slip", 0.2,
       {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {1, 0}, {1, 0}, {1, 0}, {0, 1}, {0, 0}, {0, 0}, {0, 0}}, 1},
      {"no slip at all", 1.0, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}}, 0},
  };
  for (const LockCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    const QcReport r = ReportOf(c, dir.File("LOCK0010.gpb"));
    ASSERT_EQ(r.satellites.size(), 2u);
    EXPECT_EQ(r.satellites[0].prn, 7);
    EXPECT_EQ(r.satellites[0].slips_flagged, c.flagged);
    EXPECT_EQ(r.satellites[0].slips_found, 0) << "the marker is taken off the phase";
    EXPECT_EQ(r.satellites[1].slips_flagged + r.satellites[1].slips_found, 0);
  }
}

TEST(QcMeasurementFile, ReportsWhatCannotBeRead) {
  test::TempDir dir;
  const std::string gpb = dir.File("GOOD0010.gpb");
  CloseMeasurementFile(CreateMeasurementFile(gpb.c_str(), 3, 1.0f, 0, 12));
  const std::string block = "$EPHREC Ver6.02 MORVELIN \nGpsEph { Prn: 3\n}\n";  // a block without its rows
  test::WriteBytes(dir.File("BAD00010.epp"), test::Bytes(block.begin(), block.end()));
  test::WriteBytes(dir.File("NOT00010.epp"), test::Bytes(block.begin() + 26, block.end()));
  const struct {
    std::string gpb, epp, text;
  } refused[] = {
      {dir.File("NONE0010.gpb"), "", "NONE0010.gpb"},
      {gpb, dir.File("NONE0010.epp"), "NONE0010.epp"},
      {gpb, dir.File("BAD00010.epp"), "ephemeris block 1 cannot be read"},
      {gpb, dir.File("NOT00010.epp"), "NOT00010.epp: not an ephemeris file"},
  };
  for (const auto& c : refused) {
    const Result<QcReport> report = BuildQcReportFromFiles(c.gpb, c.epp, QcOptions{});
    EXPECT_FALSE(report.Ok());
    EXPECT_NE(report.Message().find(c.text), std::string::npos) << report.Message();
  }
  const Result<QcReport> report = BuildQcReportFromFiles(gpb, "", QcOptions{});
  ASSERT_TRUE(report.Ok()) << "an empty file is a report";
  EXPECT_EQ(report->session.epochs, 0);
  EXPECT_EQ(report->session.verdict, QcVerdict::kPoor);
}

TEST(QcEphemerisFile, ReadsTheBlocksAsTheFileHoldsThem) {
  const std::string text =
      "$EPHREC Ver6.02 MORVELIN \n"
      "GpsEph { Prn: 17\n"
      "\tEl1: 2291 7200 -9.31322575e-10 44 512\n"
      "\tEl2: 2.44140625e-04 -9.09494702e-13 0.00000000e+00\n"
      "\tEl3: 44 -1.18750000e+02 4.50018764e-09 1.23456789012345e+00\n"
      "\tEl4: -6.13741577e-06 1.23456789012345e-02 5.36441803e-06 5.15366210937500e+03\n"
      "\tEl5: 7200 1.30385160e-08 -2.12345678901234e+00 -2.04890966e-08\n"
      "\tEl6: 9.61234567890123e-01 2.53093750e+02 6.54321098765432e-01 -8.11534510e-09 2.28580380e-10\n"
      "}\n";
  test::TempDir dir;
  const std::string path = dir.File("EPHE0010.epp");
  test::WriteBytes(path, test::Bytes(text.begin(), text.end()));
  const Result<std::vector<gnss::BroadcastEphemeris>> read = ReadEphemerisFile(path);
  ASSERT_TRUE(read.Ok()) << read.Message();
  const std::vector<gnss::BroadcastEphemeris>& got = *read;
  ASSERT_EQ(got.size(), 1u);
  const gnss::BroadcastEphemeris& e = got[0];
  EXPECT_EQ(e.prn, 17);
  EXPECT_EQ(e.week, 2291);
  EXPECT_EQ(e.toc, 7200);
  EXPECT_EQ(e.iodc, 44);
  EXPECT_EQ(e.ura, 2);
  EXPECT_EQ(e.health, 0);
  EXPECT_EQ(e.tgd, -0x1p-30);
  EXPECT_EQ(e.af0, 0x1p-12);
  EXPECT_EQ(e.af1, -0x1p-40);
  EXPECT_EQ(e.af2, 0.0);
  EXPECT_EQ(e.iode, 44);
  EXPECT_EQ(e.toe, 7200);
  EXPECT_EQ(e.crs, -118.75);
  EXPECT_EQ(e.sqrt_a, 5153.662109375);
  EXPECT_DOUBLE_EQ(e.m0, 1.23456789012345);
  EXPECT_DOUBLE_EQ(e.e, 1.23456789012345e-2);
  EXPECT_DOUBLE_EQ(e.omega0, -2.12345678901234);
  EXPECT_DOUBLE_EQ(e.i0, 0.961234567890123);
  EXPECT_DOUBLE_EQ(e.omega, 0.654321098765432);
  EXPECT_EQ(e.crc, 253.09375);
  EXPECT_EQ(e.omega_dot, static_cast<double>(-8.11534510e-09f));
  EXPECT_EQ(e.idot, static_cast<double>(2.28580380e-10f));
}

TEST(QcTimes, AsTheReportWritesThem) {
  QcSession known;
  known.week_known = true;
  known.week = 2291;
  const QcSession unknown;
  const struct {
    double time;
    const char* with_week;
    const char* iso;
    const char* without_week;
  } cases[] = {
      {0.0, "2023-12-03 00:00:00", "2023-12-03T00:00:00", "0.00 s of week"},
      {86400.0, "2023-12-04 00:00:00", "2023-12-04T00:00:00", "86400.00 s of week"},
      {86399.95, "2023-12-03 23:59:59.95", "2023-12-03T23:59:59.95", "86399.95 s of week"},
      {604799.0, "2023-12-09 23:59:59", "2023-12-09T23:59:59", "604799.00 s of week"},
      {604800.0 + 61.5, "2023-12-10 00:01:01.50", "2023-12-10T00:01:01.50", "604861.50 s of week"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SessionTimeText(known, c.time), c.with_week);
    EXPECT_EQ(SessionDateTime(known, c.time), c.iso);
    EXPECT_EQ(SessionTimeText(unknown, c.time), c.without_week);
    EXPECT_EQ(SessionDateTime(unknown, c.time), "");
  }
  const struct {
    double seconds;
    const char* text;
  } durations[] = {{0.0, "0.0 s"}, {59.94, "59.9 s"}, {60.0, "1 min 0 s"}, {899.0, "14 min 59 s"},
                   {3600.0, "1 h 0 min"}, {86399.0, "23 h 59 min"}};
  for (const auto& d : durations) EXPECT_EQ(DurationText(d.seconds), d.text);
  EXPECT_EQ(ClockText(86400.0 + 3723.0, false), "01:02");
  EXPECT_EQ(ClockText(3723.0, true), "01:02:03");
}

TEST(QcPicture, DrawsEveryRowSlipAndGap) {
  QcReport r;
  r.session.first_time = 100.0, r.session.last_time = 199.0, r.session.interval = 1.0, r.session.epochs = 100;
  r.picture.start = 100.0, r.picture.bin_width = 1.0;
  r.picture.epochs.assign(100, 1);
  r.picture.mean_satellites.assign(100, 2.0f), r.picture.min_satellites.assign(100, 2.0f);
  r.picture.max_satellites.assign(100, 2.0f);
  for (const int prn : {3, 30}) {
    QcSatellite sat;
    sat.prn = prn, sat.epochs = 99, sat.slips = {{150.0, prn == 3 ? kSlipFlagged : kSlipWideLane}};
    r.satellites.push_back(sat);
    QcPicture::Row row;
    row.prn = prn;
    row.tracked.assign(100, 1), row.dual.assign(100, prn == 3 ? 1 : 0);
    row.tracked[60] = 0, row.dual[60] = 0;
    row.gaps = {{159.0, 161.0}};
    r.picture.rows.push_back(row);
  }
  r.picture.events = {120.0};
  const std::string svg = QcReportSvg(r);
  EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u);
  EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
  for (const char* text : {">PRN 03<", ">PRN 30<", "fill=\"#0072b2\"", "fill=\"#e69f00\"", "stroke=\"#000000\"",
                           "stroke=\"#d7191c\"", "stroke=\"#7b3294\"", ">needs ephemerides and a position<",
                           ">GPS time of day (hours:minutes)<", ">no L1 and L2 data: no multipath<"})
    EXPECT_NE(svg.find(text), std::string::npos) << text;
  // Each row: its L1 and L2 (or L1 only) runs before and after the bin without tracking.
  std::size_t runs = 0;
  for (std::size_t at = svg.find("height=\"10.0\" fill=\"#"); at != std::string::npos;
       at = svg.find("height=\"10.0\" fill=\"#", at + 1))
    if (svg.compare(at + 21, 6, "0072b2") == 0 || svg.compare(at + 21, 6, "e69f00") == 0) ++runs;
  EXPECT_EQ(runs, 4u);
}

}  // namespace
}  // namespace morvelin::qc
