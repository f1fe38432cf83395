#include <gtest/gtest.h>
#include "support/harness.h"
using namespace morvelin::test;
TEST(Smoke, EmptyFile) {
  TempDir dir;
  std::string path = dir.File("ABCD1230.DAT");
  WriteBytes(path, {});
  Conversion c = Convert(path);
  EXPECT_EQ(c.result, 0) << c.error_text;
}
