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
  const Status planned = first.Plan(dir.File("A.gpb"));
  ASSERT_TRUE(planned.Ok()) << planned.Message();
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
    const Status claimed = second.Claim(c.path);
    EXPECT_FALSE(claimed.Ok()) << c.path;
    EXPECT_NE(claimed.Reason().find(c.reason_part), std::string::npos) << claimed.Reason();
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2) << "nothing written";
}

TEST(OutputSet, CommitPutsEveryFileInPlaceAndDiscardNone) {
  TempDir dir;
  WriteBytes(dir.File("A.gpb"), Bytes{'o', 'l', 'd'});
  for (const bool commit : {false, true}) {
    OutputSet set("run");
    for (const char* name : {"A.gpb", "A.epp"}) {
      const Status claimed = set.Claim(dir.File(name));
      ASSERT_TRUE(claimed.Ok()) << claimed.Message() << " " << claimed.Reason();
      WriteBytes(set.WritePath(dir.File(name)), Bytes{'n', 'e', 'w'});
    }
    if (commit) {
      const Status committed = set.Commit();
      ASSERT_TRUE(committed.Ok()) << committed.Message() << " " << committed.Reason();
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
