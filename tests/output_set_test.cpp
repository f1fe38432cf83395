// The plan of a run's outputs on both targets: what a claim refuses, and
// that a run's files reach their names all together or not at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "morvelin/output_set.h"
#include "support/harness.h"

namespace morvelin::test {
namespace {

namespace fs = std::filesystem;

TEST(OutputSet, ClaimsRefusedBeforeAnythingIsWritten) {
  TempDir dir;
  WriteBytes(dir.File("IN.dat"), Bytes(3, 1));
  fs::create_directory(dir.File("folder"));
  OutputBatch batch;
  batch.AddInput(dir.File("IN.dat"));
  OutputSet first("first", &batch), second("second", &batch);
  std::string error, reason;
  ASSERT_TRUE(first.Plan(dir.File("A.gpb"), error, reason)) << error;
  const struct {
    std::string path;
    std::string reason_part;
  } refused[] = {
      {dir.File("IN.dat"), "it is the input"},
      {dir.File("folder/../A.gpb"), "the output of first"},
      {dir.File("folder"), ""},         // a folder at the name
      {dir.File("missing/B.gpb"), ""},  // no such folder
  };
  for (const auto& c : refused) {
    EXPECT_FALSE(second.Claim(c.path, error, reason)) << c.path;
    EXPECT_NE(reason.find(c.reason_part), std::string::npos) << reason;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2) << "nothing written";
}

TEST(OutputSet, CommitPutsEveryFileInPlaceAndDiscardNone) {
  TempDir dir;
  WriteBytes(dir.File("A.gpb"), Bytes{'o', 'l', 'd'});
  for (const bool commit : {false, true}) {
    OutputSet set("run");
    std::string error, reason;
    for (const char* name : {"A.gpb", "A.epp"}) {
      ASSERT_TRUE(set.Claim(dir.File(name), error, reason)) << error << " " << reason;
      WriteBytes(set.WritePath(dir.File(name)), Bytes{'n', 'e', 'w'});
    }
    if (commit) {
      ASSERT_TRUE(set.Commit(error, reason)) << error << " " << reason;
    } else {
      set.Discard();
    }
    EXPECT_EQ(ReadBytes(dir.File("A.gpb")), commit ? Bytes({'n', 'e', 'w'}) : Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(fs::exists(dir.File("A.epp")), commit);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), commit ? 2 : 1)
        << "no temporary left";
  }
}

}  // namespace
}  // namespace morvelin::test
