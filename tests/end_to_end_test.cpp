// One raw data file with every row of the record type table, dropped and
// invalid types among them, converted whole: the four outputs and every
// message are compared in full.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/harness.h"

namespace morvelin::test {
namespace {

constexpr double kPi = 3.141592653589793;

Bytes Filler(std::size_t size, std::uint8_t value = 0x55) { return Bytes(size, value); }

// Angles and rates in semicircles, as the receiver sends them.
constexpr EphemerisRecord kEphemeris = {
    .prn = 7, .el1_1 = -1, .el1_4 = 3, .iode = 99, .el1_2 = 11, .el1_5 = -12, .toe = 345600,
    .el1_3 = 0.1, .el2_1 = 0.0, .el2_2 = -0.25, .el2_3 = 1e-9, .crs = 12.5, .delta_n = 1e-9 / kPi, .m0 = 0.5,
    .cuc = 1e-6 / kPi, .eccentricity = 0.01, .cus = 2e-6 / kPi, .sqrt_a = 5153.75, .cic = 3e-8 / kPi,
    .omega0 = -0.75, .cis = -4e-8 / kPi, .i0 = 0.3, .crc = 220.5, .omega = 0.125, .omega_dot = -2.5e-9 / kPi,
    .idot = 1e-10 / kPi};

RawBuilder EveryType() {
  RawBuilder raw;
  raw.Raw({0x00, 0x13, 0x37});  // junk before the first record
  raw.Record(0, {0x74, 4, 0, 40}, 82);  // dropped: its payload is scanned, and holds an invalid header
  raw.Record(1, Filler(78));
  raw.Record(2, Filler(78));
  raw.Record(3, Filler(202));
  raw.Record(4, Filler(6));
  raw.Write<StationNameRecord>({TextOf<5>("SITE1")});
  raw.Write<ReceiverTypeRecord>({4});
  raw.Write<AntennaHeightRecord>({1.75});
  raw.TimeRecord(345599.5);
  raw.Write<AntennaNoticeRecord>({345600250.0, 2.5});
  raw.Record(9, Filler(5));
  raw.Record(10, Filler(86));
  raw.Write<PositionRecord>({45.5 / 180.0, -7.25 / 180.0, 412.125, 0.5});
  raw.Raw({0x74, 0x0A, 0x00, 12}).Raw(Filler(6));  // 16-bit length 10
  raw.Record(13, Filler(3));
  raw.Record(14, {});
  raw.Record(15, Filler(20));
  raw.Write<MotionModeRecord>({}, station_sub_record::kKinematic);  // kinematic from here on
  raw.Write<HeightEntryRecord>({TextOf<8>("1.5"), 'V', TextOf<8>("PT7"), ""});
  raw.Measurement(345600004.0, 0.001, {RawSatellite{3}, RawSatellite{8, 0x02}, RawSatellite{12, 0x31, 1, 1, 2.1e7, 5.0, 1.0, 7.0, 2.5}});
  raw.Record(18, {1, 2, 3}, 7);
  raw.Write<MarkedEventRecord>({65535, 345600123.0});
  raw.Record(20, Filler(36));
  raw.Write<EphemerisRecord>(kEphemeris);
  raw.Raw({0x74, 4, 0, 22});  // invalid
  raw.Measurement(345601016.0, 0.0, {RawSatellite{3, 0x00}});
  return raw;
}

TEST(EndToEnd, EveryRecordTypeConvertsExactly) {
  TempDir dir;
  std::string path = dir.File("SITE3450.DAT");
  RawBuilder raw = EveryType();
  raw.WriteTo(path);
  Conversion c = ConvertAsHost(path);
  ASSERT_EQ(c.result, 0) << c.error_text;
  EXPECT_EQ(c.path_after, dir.File("SITE3450.dat"));
  EXPECT_EQ(c.counts[0], 2) << "epochs";
  EXPECT_EQ(c.counts[1], 1) << "ephemerides";
  EXPECT_EQ(c.counts[2], 3) << "station lines";
  EXPECT_EQ(c.counts[3], 1) << "events";

  const std::vector<Message> messages = {
      {-1.0, "Error(1): Invalid record type (40) encountered--Previous record type is 99"},
      {-1.0, "Antenna height is 1.750 metres"},
      {-1.0, "Record 8 detected, AntHght: 2.500, Name: 0, Time: 345600.2, Mode: 0"},
      {345600.0, "PRN: 8, L1 Cycle Slip: # 1"},
      {345600.0, "PRN 8, Phase invalid: #1 "},
      {345600.0, "Ephemeris recived on PRN 7"},
      {345599.5, "Error(23): Invalid record type (22) encountered--Previous record type is 21"},
      {345601.02, "PRN 3, Phase invalid: #2 "},
  };
  EXPECT_EQ(c.messages, messages);
  EXPECT_EQ(c.error_text, "PRN 3, Phase invalid: #2 ");
  EXPECT_EQ(c.progress, (std::vector<std::pair<int32_t, int32_t>>{{int32_t(raw.Size()), int32_t(raw.Size())}}));

  EXPECT_EQ(ReadText(dir.File("SITE3450.sta")),
            LineEnds("STA:  *  0.0  * PT7  *  1.500  *  True-vert HI  * \n"
                     "STA:  *  0.0  * SITE1  *  1.500  *  Entered at start  * \n"
                     "STA:  *  0.0  * SITE1  *  1.750  *  Entered at start  * \n"));
  // The day comes from characters 5 to 7 of the whole path.
  EXPECT_EQ(ReadText(dir.File("SITE3450.sum")),
            LineEnds(std::string("PRN: 8  L1 Cycle Slip: # 1 at 345600.00 \n"
                     "EVENT MARKER 0: (EXTERNAL EVENT)\n"
                     "    MARKER ID: 65535\n"
                     "    GPS_TIME: 345600.12300\n"
                     "\n"
                     "\n"
                     "STA: SITE1   DAY # " + path.substr(4, 3) + "   EPOCHS 2  Start 345600  End 345601\n"
                     "RECEIVER TYPE: GEODETIC L1/L2\n"
                     "\n"
                     "LAT:      45 30  0.00\n"
                     "LONG:     -7 15  0.00\n"
                     "HEIGHT: 412.125\n"
                     "Clock O/S: 0.500\n"
                     "\n"
                     "\n"
                     " FLAGS SUMMARY :\n"
                     "  L1_only  L1 and L2  L1 Pcode  L1 Ca  Full l2  L2 Squa  L1 Invalid  F3 val.\n"
                     "   3        1         1      4      1       0         2        1\n"
                     "  Total Number of Observations:  4    \n")));
  EXPECT_EQ(ReadText(dir.File("SITE3450.epp")),
            LineEnds("$EPHREC Ver6.02 MORVELIN \n"
                     "GpsEph { Prn: 7\n"
                     "\tEl1: -1 11 1.00000001e-01 3 -12\n"
                     "\tEl2: 0.00000000e+00 -2.50000000e-01 9.99999972e-10\n"
                     "\tEl3: 99 1.25000000e+01 9.99999972e-10 1.57079632679490e+00\n"
                     "\tEl4: 9.99999997e-07 1.00000000000000e-02 1.99999999e-06 5.15375000000000e+03\n"
                     "\tEl5: 345600 2.99999989e-08 -2.35619449019234e+00 -3.99999998e-08\n"
                     "\tEl6: 9.42477796076938e-01 2.20500000e+02 3.92699081698724e-01 -2.49999998e-09 "
                     "1.00000001e-10\n"
                     "}\n"));

  // The measurement file: header, then two epochs of kinematic data.
  Bytes gpb = ReadBytes(dir.File("SITE3450.gpb"));
  ASSERT_EQ(gpb.size(), 202u + (68 + 2 * 44) + 68);
  EXPECT_EQ(gpb[6], 3) << "the header keeps the receiver type of its creation";
  EXPECT_EQ(gpb[202 + 2], 2) << "satellites 3 and 12; 8 was dropped for its invalid phase";
  EXPECT_EQ(gpb[202 + 3], 2) << "kinematic, fewer than four satellites";
  EXPECT_EQ(gpb[270 + 2], 3);
  EXPECT_EQ(gpb[314 + 2], 12);
  EXPECT_EQ(gpb[358 + 2], 0) << "the second epoch lost its only satellite";
}

// Damaged records can carry doubles of any size: the text files print them
// in full, as printf would, never cut.
TEST(EndToEnd, HugeValuesArePrintedInFull) {
  TempDir dir;
  std::string path = dir.File("HUGE1230.DAT");
  RawBuilder raw;
  raw.Write<PositionRecord>({0.25, 0.5, -1.5e300, 1.7e308});
  raw.Write<SecondFormEventRecord>({1, -1.7976931348623157e308});
  raw.WriteTo(path);
  Conversion c = ConvertAsHost(path);
  ASSERT_EQ(c.result, 0) << c.error_text;
  auto printed = [](const char* format, double value) {
    char text[512];
    std::snprintf(text, sizeof text, format, value);
    return std::string(text);
  };
  const std::string sum = ReadText(dir.File("HUGE1230.sum"));
  EXPECT_NE(sum.find(LineEnds(printed("HEIGHT: %.3f\n", -1.5e300))), std::string::npos);
  EXPECT_NE(sum.find(LineEnds(printed("Clock O/S: %.3f\n", 1.7e308))), std::string::npos);
  EXPECT_NE(sum.find(LineEnds(printed("    GPS_TIME: %f\n\n", -1.7976931348623157e308 / 1000.0))), std::string::npos);
}

}  // namespace
}  // namespace morvelin::test
