// A raw data file cut at every byte offset converts through the exports as
// a host calls them: the run completes, the measurement file holds exactly
// the epochs counted, nothing decreases as the file grows, and no file is
// left open. Natively and, cross-built, under Wine.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "morvelin/gpb.h"
#include "support/descriptors.h"
#include "support/harness.h"

namespace morvelin::test {
namespace {

std::string TestData(const std::string& name) { return std::string(MORVELIN_TEST_DATA_DIR) + "/data/" + name; }

int LinesIn(const std::string& text) {
  int lines = 0;
  for (char c : text) lines += c == '\n';
  return lines;
}

TEST(Truncation, EveryPrefixOfTheSampleConverts) {
  const Bytes sample = ReadBytes(TestData("TRNC3450.dat"));
  ASSERT_EQ(sample.size(), 6802u);
  TempDir dir;
  const std::string input = dir.File("TRNC3450.dat");
  ConvertOptions quiet;
  quiet.message_callback = quiet.progress_callback = false;

  const int descriptors = OpenDescriptors();
  int previous[4] = {0, 0, 0, 0};
  for (std::size_t cut = 0; cut <= sample.size(); ++cut) {
    // Fresh files each time: emptying a file and writing it again makes
    // some file systems put it out at once, and the test would wait on the disk.
    for (const char* extension : {".dat", ".gpb", ".epp", ".sum", ".sta"})
      std::remove(WithExtension(input, extension).c_str());
    WriteBytes(input, Bytes(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(cut)));
    const Conversion c = ConvertAsHost(input, quiet);
    ASSERT_EQ(c.result, MORVELIN_DONE) << "cut at " << cut << ": " << c.error_text;
    ASSERT_EQ(EpochsIn(WithExtension(input, ".gpb")), c.counts[0]) << "cut at " << cut;
    ASSERT_EQ(LinesIn(ReadText(WithExtension(input, ".sta"))), c.counts[2]) << "cut at " << cut;
    for (int k = 0; k < 4; ++k) {
      ASSERT_GE(c.counts[k], previous[k]) << "count " << k << " fell at cut " << cut;
      previous[k] = c.counts[k];
    }
    ASSERT_EQ(OpenDescriptors(), descriptors) << "cut at " << cut;
  }
  // The whole file: three epochs, 24 ephemerides, three station lines, two events.
  EXPECT_EQ(previous[0], 3);
  EXPECT_EQ(previous[1], 24);
  EXPECT_EQ(previous[2], 3);
  EXPECT_EQ(previous[3], 2);
}

}  // namespace
}  // namespace morvelin::test
