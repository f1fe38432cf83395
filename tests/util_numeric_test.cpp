// MJD and GPS-time arithmetic, angle splitting, Earth-centred to geodetic.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "morvelin/util.h"

namespace morvelin {
namespace {

constexpr double kPi = 3.14159265358979323846;

TEST(IntMod, Remainders) {
  EXPECT_EQ(IntMod(10, 7), 3);
  EXPECT_EQ(IntMod(14, 7), 0);
  EXPECT_EQ(IntMod(51547, 7), 6);
  EXPECT_EQ(IntMod(5, 0), 0);
}

TEST(MjdFromDate, Anchors) {
  struct Case {
    int year, month, day, mjd, weekday;
  };
  const Case cases[] = {
      {2000, 1, 1, 51544, 6}, {1980, 1, 6, 44244, 0}, {1858, 11, 17, 0, 3},
      {2000, 3, 1, 51604, 3}, {1999, 8, 22, 51412, 0}, {2024, 2, 29, 60369, 4},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MjdFromDate(c.year, c.month, c.day), c.mjd) << c.year;
    EXPECT_EQ(DayOfWeekFromDate(c.year, c.month, c.day), c.weekday) << c.year;
  }
  EXPECT_EQ(DayOfWeekFromMjd(51544), 6);
  EXPECT_EQ(DayOfWeekFromMjd(44244), 0);
}

TEST(AngleToDms, SignOnDegreesOnly) {
  struct Case {
    double value;
    int degrees, minutes;
    double seconds;
  };
  const Case cases[] = {
      {-12.5, -12, 30, 0.0}, {370.25, 10, 15, 0.0}, {-0.5, 0, 30, 0.0}, {45.0, 45, 0, 0.0}};
  for (const auto& c : cases) {
    int degrees, minutes;
    double seconds;
    AngleToDms(c.value, degrees, minutes, seconds);
    EXPECT_EQ(degrees, c.degrees) << c.value;
    EXPECT_EQ(minutes, c.minutes) << c.value;
    EXPECT_NEAR(seconds, c.seconds, 1e-9) << c.value;
  }
}

TEST(SecondsOfWeekToHms, RangeAndSplit) {
  struct Case {
    double t;
    int hours, minutes;
    double seconds;
  };
  const Case cases[] = {{90061.5, 1, 1, 1.5},  {-1.0, 0, 0, 0.0},  {604800.5, 0, 0, 0.0}, {518400.0 + 86399.0, 23, 59, 59.0},
                        {43200.0, 12, 0, 0.0}, {604800.0, 0, 0, 0.0},
                        {std::numeric_limits<double>::quiet_NaN(), 0, 0, 0.0}};
  for (const auto& c : cases) {
    int hours = -1, minutes = -1;
    double seconds = -1.0;
    SecondsOfWeekToHms(c.t, hours, minutes, seconds);
    EXPECT_EQ(hours, c.hours) << c.t;
    EXPECT_EQ(minutes, c.minutes) << c.t;
    EXPECT_NEAR(seconds, c.seconds, 1e-6) << c.t;
  }
}

TEST(MonthDayFromDayOfYear, Table) {
  struct Case {
    int year, doy, month, day;
  };
  const Case cases[] = {{2000, 60, 2, 29}, {2001, 60, 3, 1},   {1999, 365, 12, 31},
                        {2000, 366, 12, 31}, {2001, 1, 1, 1},  {2001, 31, 1, 31},
                        {2001, 32, 2, 1},    {2000, 91, 3, 31}, {2001, 334, 11, 30}};
  for (const auto& c : cases) {
    int month, day;
    MonthDayFromDayOfYear(c.year, c.doy, month, day);
    EXPECT_EQ(month, c.month) << c.year << " " << c.doy;
    EXPECT_EQ(day, c.day) << c.year << " " << c.doy;
  }
  // Outside the year: no table read outside the table, whatever the answer.
  int month, day;
  MonthDayFromDayOfYear(2001, -500, month, day);
  MonthDayFromDayOfYear(2001, 100000, month, day);
  EXPECT_EQ(month, 13);
}

TEST(GpsTimeToMjd, WindowAndReciprocal) {
  struct Case {
    int week;
    double t;
    int mjd;
  };
  const Case cases[] = {{0, 0.0, 51412}, {499, 0.0, 54905}, {500, 0.0, 47744}, {1024, 0.0, 51412}};
  for (const auto& c : cases) {
    int mjd;
    double fraction;
    GpsTimeToMjd(c.week, c.t, mjd, fraction);
    EXPECT_EQ(mjd, c.mjd) << c.week;
    EXPECT_EQ(fraction, 0.0) << c.week;
  }
  int mjd;
  double fraction;
  GpsTimeToMjd(1000, 86400.0, mjd, fraction);
  EXPECT_EQ(mjd, 51244);
  EXPECT_LT(fraction, 1.0);
  EXPECT_GT(fraction, 0.999999999);
  // Seconds counted far past the week (115741 days and 20800 s): the day's
  // seconds are taken off in real arithmetic, not a 32-bit product.
  GpsTimeToMjd(0, 1e10 + 43200.0, mjd, fraction);
  EXPECT_EQ(mjd, 51412 + 115741);
  EXPECT_NEAR(fraction, 20800.0 / 86400.0, 1e-9);
}

// "Y-M-D h:m:s" with the seconds to a microsecond, or "Y/doy ..." by day of year.
std::string Calendar(int week, double t) {
  int year, month, day, hours, minutes;
  double seconds;
  GpsTimeToCalendar(week, t, year, month, day, hours, minutes, seconds);
  char text[64];
  std::snprintf(text, sizeof text, "%d-%d-%d %d:%d:%.6f", year, month, day, hours, minutes, seconds);
  return text;
}

std::string YearDay(int week, double t) {
  int year, doy, hours, minutes;
  double seconds;
  GpsTimeToYearDay(week, t, year, doy, hours, minutes, seconds);
  char text[64];
  std::snprintf(text, sizeof text, "%d/%d %d:%d:%.6f", year, doy, hours, minutes, seconds);
  return text;
}

TEST(GpsTimeToCalendar, Anchors) {
  EXPECT_EQ(Calendar(1024, 0.0), "1999-8-22 0:0:0.000000");
  EXPECT_EQ(Calendar(0, 0.0), "1999-8-22 0:0:0.000000");
  // Just under the half day: the day reciprocal is a hair small.
  EXPECT_EQ(Calendar(1024, 43200.0), "1999-8-22 11:59:60.000000");
  EXPECT_EQ(Calendar(2300, 86400.0 + 3600.5), "2024-2-5 1:0:0.500000");
  EXPECT_EQ(YearDay(1303, 518400.5), "2005/1 0:0:0.500000");
  EXPECT_EQ(YearDay(1303, 518400.5 - 86400.0), "2004/366 0:0:0.500000");
}

// The forward conversion on the same ellipsoid.
void GeodeticToEcef(double latitude, double longitude, double height, double& x, double& y,
                    double& z) {
  const double a = 6378137.0;
  const double e2 = 0.006694380066;
  const double n = a / std::sqrt(1.0 - e2 * std::sin(latitude) * std::sin(latitude));
  x = (n + height) * std::cos(latitude) * std::cos(longitude);
  y = (n + height) * std::cos(latitude) * std::sin(longitude);
  z = (n * (1.0 - e2) + height) * std::sin(latitude);
}

TEST(EcefToGeodetic, Anchors) {
  double latitude, longitude, height;
  EcefToGeodetic(6378137.0, 0.0, 0.0, latitude, longitude, height);
  EXPECT_EQ(latitude, 0.0);
  EXPECT_EQ(longitude, 0.0);
  EXPECT_NEAR(height, 0.0, 1e-9);
  EcefToGeodetic(0.0, 0.0, 6356752.0, latitude, longitude, height);
  EXPECT_EQ(latitude, 0.0);
  EXPECT_EQ(longitude, 0.0);
  EXPECT_EQ(height, 0.0);
}

TEST(EcefToGeodetic, RoundTrips) {
  for (double lat_deg = -89.5; lat_deg <= 89.5; lat_deg += 4.75) {
    for (double lon_deg = -179.0; lon_deg < 180.0; lon_deg += 37.0) {
      for (double h : {-400.0, 0.0, 100.0, 8848.0, 20200000.0}) {
        double x, y, z;
        GeodeticToEcef(lat_deg * kPi / 180.0, lon_deg * kPi / 180.0, h, x, y, z);
        double latitude, longitude, height;
        EcefToGeodetic(x, y, z, latitude, longitude, height);
        EXPECT_NEAR(latitude * 180.0 / kPi, lat_deg, 1e-8) << lat_deg << " " << lon_deg << " " << h;
        EXPECT_NEAR(longitude * 180.0 / kPi, lon_deg, 1e-9) << lat_deg << " " << lon_deg;
        // The height comes from the latitude before the last step, and is
        // p / cos(latitude): it loosens towards the poles.
        const double tolerance = std::fabs(lat_deg) <= 60.0 ? 1e-3 : std::fabs(lat_deg) <= 80.0 ? 1e-2 : 0.5;
        EXPECT_NEAR(height, h, tolerance) << lat_deg << " " << h;
      }
    }
  }
  double x, y, z;
  GeodeticToEcef(45.0 * kPi / 180.0, 10.0 * kPi / 180.0, 100.0, x, y, z);
  double latitude, longitude, height;
  EcefToGeodetic(x, y, z, latitude, longitude, height);
  EXPECT_NEAR(latitude * 180.0 / kPi, 45.0, 1e-9);
  EXPECT_NEAR(longitude * 180.0 / kPi, 10.0, 1e-9);
  EXPECT_NEAR(height, 100.0, 1e-3);
}

TEST(EcefToGeodetic, TerminatesNearTheCentreAndOnNonFiniteInput) {
  const double points[][3] = {{1.0, 0.0, 0.5}, {0.001, 0.002, -0.003}, {10.0, -20.0, 30.0},
                              {1e-300, 0.0, 1e-300}, {5000.0, 5000.0, 100000.0}};
  for (const auto& p : points) {
    double latitude = 7.0, longitude = 7.0, height = 7.0;
    EcefToGeodetic(p[0], p[1], p[2], latitude, longitude, height);
    EXPECT_NE(latitude, 7.0);
    EXPECT_NE(height, 7.0);
  }
  const double inf = std::numeric_limits<double>::infinity();
  double latitude, longitude, height;
  EcefToGeodetic(inf, 0.0, 0.0, latitude, longitude, height);
  EXPECT_TRUE(std::isnan(latitude) && std::isnan(longitude) && std::isnan(height));
  EcefToGeodetic(1.0, 2.0, std::numeric_limits<double>::quiet_NaN(), latitude, longitude, height);
  EXPECT_TRUE(std::isnan(latitude));
}

}  // namespace
}  // namespace morvelin
