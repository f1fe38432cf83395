// The damaged raw data files of tests/baddata, each through the exports as
// a host converts it, natively and under Wine: the expected result and
// counts, a measurement file that reads back whole, no descriptor left open.
#include <gtest/gtest.h>

#include <string>

#include "morvelin/gpb.h"
#include "support/descriptors.h"
#include "support/harness.h"

namespace morvelin::test {
namespace {

struct BadData {
  const char* file;
  int result;
  int counts[4];  // epochs, ephemerides, station lines, events
};

const BadData kBadData[] = {
    {"SNLF3450.dat", MORVELIN_DONE, {0, 1, 2, 0}},
};

TEST(BadData, EachFileGetsItsOutcome) {
  for (const BadData& bad : kBadData) {
    SCOPED_TRACE(bad.file);
    TempDir dir;
    const std::string input = dir.File(bad.file);
    WriteBytes(input, ReadBytes(std::string(MORVELIN_TEST_DATA_DIR) + "/baddata/" + bad.file));
    const int descriptors = OpenDescriptors();
    const Conversion c = ConvertAsHost(input);
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(c.result, bad.result) << c.error_text;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(c.counts[k], bad.counts[k]) << "count " << k;
    EXPECT_EQ(EpochsIn(WithExtension(input, ".gpb")), c.counts[0]);
  }
}

}  // namespace
}  // namespace morvelin::test
