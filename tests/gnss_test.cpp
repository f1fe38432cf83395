// The GNSS library: the type-21 record and its clock value table as the
// converter reads them, the user algorithm, geodesy, atmosphere and time.
#include <gtest/gtest.h>

#include <cmath>

#include "gnss/atmosphere.h"
#include "gnss/constants.h"
#include "gnss/ephemeris_record.h"
#include "gnss/orbit.h"
#include "gnss/time.h"
#include "support/harness.h"

namespace morvelin::gnss {
namespace {

BroadcastEphemeris Sample() {
  BroadcastEphemeris e;
  e.prn = 17;
  e.week = 2291, e.toe = e.toc = 7200, e.iode = e.iodc = 44, e.ura = 2;
  e.sqrt_a = 5153.625, e.e = 0.0078125;
  e.i0 = RecordableRadians(0.96, false), e.omega0 = RecordableRadians(-2.5, false);
  e.omega = RecordableRadians(0.75, false), e.m0 = RecordableRadians(1.25, false);
  e.delta_n = RecordableRadians(4.5e-9, true), e.idot = RecordableRadians(2e-10, true);
  e.omega_dot = RecordableRadians(-8e-9, true);
  e.cuc = RecordableRadians(-5e-6, true), e.cus = RecordableRadians(7e-6, true);
  e.cic = RecordableRadians(1e-7, true), e.cis = RecordableRadians(-1e-7, true);
  e.crc = 250.5, e.crs = -60.25, e.af0 = 0x1p-12, e.af1 = -0x1p-40, e.af2 = 0.0, e.tgd = -0x1p-30;
  return e;
}

TEST(EphemerisRecord, ClockValuesReachTheEphemerisFileWhereTheTableSays) {
  test::TempDir dir;
  const std::string path = dir.File("EPHM3450.dat");
  test::RawBuilder().Write<EphemerisRecord>(RecordOf(Sample())).WriteTo(path);
  ASSERT_EQ(test::ConvertAsHost(path).result, 0);
  const std::string epp = test::ReadText(test::WithExtension(path, ".epp"));
  // El1: week, toc, TGD, IODC, health + 256 URA; El2: af0, af1, af2.
  EXPECT_NE(epp.find(test::LineEnds("GpsEph { Prn: 17\n\tEl1: 2291 7200 -9.31322575e-10 44 512\n"
                                    "\tEl2: 2.44140625e-04 -9.09494702e-13 0.00000000e+00\n\tEl3: 44 ")),
            std::string::npos)
      << epp;
}

TEST(EphemerisRecord, RecordableValuesSurviveTheRecordBitForBit) {
  const BroadcastEphemeris e = Sample();
  EXPECT_EQ(AsRecorded(e), e);
  BroadcastEphemeris rough = e;
  rough.cuc = 1.234567890123e-6;  // not a single: narrowed as the ephemeris file narrows it
  EXPECT_EQ(AsRecorded(rough).cuc, static_cast<double>(static_cast<float>(rough.cuc * 1.0)));
}

TEST(Orbit, CircularOrbitWithoutPerturbationsIsKepler) {
  BroadcastEphemeris e;
  e.sqrt_a = 5153.6;
  const double a = e.sqrt_a * e.sqrt_a;
  const double period = 2.0 * kPi * std::sqrt(a * a * a / kEarthGravitation);
  struct Case {
    double t, x, y, z;
  } cases[] = {{0.0, a, 0.0, 0.0}, {period / 4.0, 0.0, a, 0.0}, {period / 2.0, -a, 0.0, 0.0}};
  e.omega_dot = kEarthRotation;  // an inertial node that turns with the Earth: no rotation in the Earth's frame
  for (const Case& c : cases) {
    const SatelliteState s = SatelliteAt(e, c.t);
    EXPECT_NEAR(s.position.x, c.x, 1e-5) << c.t;
    EXPECT_NEAR(s.position.y, c.y, 1e-5) << c.t;
    EXPECT_NEAR(s.position.z, c.z, 1e-5) << c.t;
  }
}

TEST(Orbit, TimesAcrossTheWeekEndAreTakenFromToe) {
  const BroadcastEphemeris e = [] { BroadcastEphemeris s = Sample(); s.toe = s.toc = 0; return s; }();
  const SatelliteState before_end = SatelliteAt(e, 604790.0), negative = SatelliteAt(e, -10.0);
  EXPECT_EQ(before_end.position, negative.position);
  EXPECT_EQ(before_end.clock, negative.clock);
  // Relativistic term and group delay.
  const SatelliteState s = SatelliteAt(e, 100.0);
  EXPECT_NEAR(s.clock, e.af0 + e.af1 * 100.0 + s.relativistic, 1e-18);
  EXPECT_NE(s.relativistic, 0.0);
  EXPECT_NEAR(L2ClockCorrection(e, s) - s.clock, -kL1L2Gamma * e.tgd, 1e-18);
}

TEST(Orbit, SignalPathTurnsTheSatelliteWithTheEarth) {
  const BroadcastEphemeris e = Sample();
  const Ecef receiver = ToEcef({Radians(46.5), Radians(7.25), 550.0});
  const SignalPath p = SignalTo(e, receiver, 7300.0);
  EXPECT_NEAR(p.travel_time * kSpeedOfLight, p.range, 1e-6);
  const Ecef sat = SatelliteAt(e, p.transmit_time).position;
  const double angle = kEarthRotation * p.travel_time;
  EXPECT_NEAR(p.satellite.x, sat.x * std::cos(angle) + sat.y * std::sin(angle), 1e-6);
  EXPECT_NEAR(Distance(p.satellite, receiver), p.range, 1e-6);
}

TEST(Geodesy, KnownPointsBothWays) {
  struct Case {
    Geodetic g;
    Ecef x;
  } cases[] = {{{0.0, 0.0, 0.0}, {kWgs84A, 0.0, 0.0}},
               {{Radians(90.0), 0.0, 0.0}, {0.0, 0.0, 6356752.314245179}},
               {{0.0, Radians(90.0), 100.0}, {0.0, kWgs84A + 100.0, 0.0}},
               {{Radians(-45.0), Radians(-135.0), 1000.0}, {-3194919.145060574, -3194919.145060574, -4488055.515647106}}};
  for (const Case& c : cases) {
    const Ecef x = ToEcef(c.g);
    EXPECT_NEAR(x.x, c.x.x, 1e-6);
    EXPECT_NEAR(x.y, c.x.y, 1e-6);
    EXPECT_NEAR(x.z, c.x.z, 1e-6);
    const Geodetic g = ToGeodetic(c.x);
    EXPECT_NEAR(g.latitude, c.g.latitude, 1e-11);
    EXPECT_NEAR(g.height, c.g.height, 1e-5);
    if (std::fabs(c.g.latitude) < 1.5) {
      EXPECT_NEAR(g.longitude, c.g.longitude, 1e-11);
    }
  }
  const Geodetic here{Radians(10.0), Radians(20.0), 0.0};
  const Ecef origin = ToEcef(here);
  const LookAngles up = LookAt(here, origin, OffsetBy(origin, here, {0.0, 0.0, 2e7}));
  const LookAngles east = LookAt(here, origin, OffsetBy(origin, here, {1000.0, 0.0, 0.0}));
  EXPECT_NEAR(Degrees(up.elevation), 90.0, 1e-9);
  EXPECT_NEAR(Degrees(east.elevation), 0.0, 1e-9);
  EXPECT_NEAR(Degrees(east.azimuth), 90.0, 1e-9);
}

TEST(Atmosphere, KlobucharAndSaastamoinenAtTheirKnownPoints) {
  const Geodetic equator{0.0, 0.0, 0.0};
  // Zenith at local midnight: the night-time constant 5 ns times the slant factor at 90 degrees.
  EXPECT_NEAR(KlobucharDelay(kDefaultKlobuchar, equator, kPi / 2.0, 0.0, 0.0),
              5e-9 * (1.0 + 16.0 * std::pow(0.03, 3.0)), 1e-15);
  // Local 14 h: the amplitude (alpha at the magnetic latitude) on top.
  const double noon = KlobucharDelay(kDefaultKlobuchar, equator, kPi / 2.0, 0.0, 50400.0);
  EXPECT_GT(noon, 5.5e-9);
  EXPECT_LT(noon, 3e-8);
  EXPECT_NEAR(SaastamoinenDelay(equator, kPi / 2.0), 2.4, 0.1);
  EXPECT_NEAR(SaastamoinenDelay(equator, Radians(30.0)), 2.0 * SaastamoinenDelay(equator, kPi / 2.0), 1e-9);
  EXPECT_LT(SaastamoinenDelay({0.0, 0.0, 3000.0}, kPi / 2.0), 1.9);
}

TEST(Time, WeeksDaysAndTheWeekEnd) {
  struct Case {
    GpsTime t;
    int year, month, day, day_of_year;
  } cases[] = {{{0, 0.0}, 1980, 1, 6, 6},
               {{2292, 86400.0}, 2023, 12, 11, 345},
               {{2295, 604799.0}, 2024, 1, 6, 6},
               {{2086, 259200.0}, 2020, 1, 1, 1},
               {{2099, 172800.0}, 2020, 3, 31, 91}};
  for (const Case& c : cases) {
    const CalendarDate d = DateOf(c.t);
    EXPECT_EQ(d.year, c.year);
    EXPECT_EQ(d.month, c.month);
    EXPECT_EQ(d.day, c.day);
    EXPECT_EQ(d.day_of_year, c.day_of_year) << c.t.week << " " << c.t.seconds;
  }
  const GpsTime next = AddSeconds({2291, 604799.5}, 1.0);
  EXPECT_EQ(next.week, 2292);
  EXPECT_DOUBLE_EQ(next.seconds, 0.5);
  EXPECT_DOUBLE_EQ(SecondsBetween(next, {2291, 604799.5}), 1.0);
  EXPECT_DOUBLE_EQ(WrapHalfWeek(604790.0 - 0.0), -10.0);
}

// GPS - UTC: none before the first leap second, each one from its day on.
TEST(Time, LeapSecondsByDay) {
  const struct {
    int year, month, day, leap;
  } cases[] = {{1980, 1, 6, 0},   {1981, 6, 30, 0},  {1981, 7, 1, 1},  {1987, 12, 31, 4},
               {1988, 1, 1, 5},   {2005, 12, 31, 13}, {2006, 1, 1, 14}, {2016, 12, 31, 17},
               {2017, 1, 1, 18},  {2026, 12, 7, 18}};
  for (const auto& c : cases)
    EXPECT_EQ(GpsMinusUtc(GpsDayOfDate(c.year, c.month, c.day)), c.leap) << c.year << "-" << c.month << "-" << c.day;
}

// Day counts from the GPS epoch and dates agree both ways, before the epoch
// too, through the century years (2000 leap, 1900 and 2100 not).
TEST(Time, GpsDaysAndDates) {
  EXPECT_EQ(GpsDayOfDate(1980, 1, 6), 0);
  EXPECT_EQ(GpsDayOfDate(1980, 1, 5), -1);
  EXPECT_EQ(GpsDayOfDate(2023, 12, 17), 2293 * 7);
  const CalendarDate leap_end = DateOfGpsDay(GpsDayOfDate(2000, 12, 31));
  EXPECT_EQ(leap_end.day_of_year, 366);
  EXPECT_EQ(DateOfGpsDay(GpsDayOfDate(2100, 3, 1)).day_of_year, 60);
  EXPECT_EQ(DateOfGpsDay(GpsDayOfDate(1900, 3, 1)).day_of_year, 60);
  for (std::int64_t day = -40000; day <= 60000; day += 37) {
    const CalendarDate d = DateOfGpsDay(day);
    EXPECT_EQ(GpsDayOfDate(d.year, d.month, d.day), day);
    EXPECT_EQ(DateOfGpsDay(day + 1).day_of_year, d.month == 12 && d.day == 31 ? 1 : d.day_of_year + 1) << day;
  }
}

}  // namespace
}  // namespace morvelin::gnss
