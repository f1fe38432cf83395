// Abort from another thread while a conversion runs, many times, and
// conversions stopped by their own flags while others run beside them.
// Meant for ThreadSanitizer as much as for the plain build: every run ends
// done or stopped, whole, with its files closed.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/helper_thread.h"
#include "morvelin/converter.h"
#include "morvelin/gpb.h"
#include "support/descriptors.h"
#include "support/harness.h"

namespace morvelin::test {
namespace {

std::string Sample() { return std::string(MORVELIN_TEST_DATA_DIR) + "/../examples/SIMU3450.dat"; }

TEST(Threads, AbortFromAnotherThreadWhileConverting) {
  TempDir dir;
  const std::string input = dir.File("SIMU3450.dat");
  WriteBytes(input, ReadBytes(Sample()));
  ConvertOptions quiet;
  quiet.message_callback = quiet.progress_callback = false;

  const auto start = std::chrono::steady_clock::now();
  const Conversion whole = ConvertAsHost(input, quiet);
  ASSERT_EQ(whole.result, MORVELIN_DONE);
  const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);

  std::mt19937 random(15);
  std::uniform_int_distribution<long long> delay(0, took.count() + 1);
  const int descriptors = OpenDescriptors();
  int stopped = 0;
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const auto wait = std::chrono::microseconds(delay(random));
    std::thread aborter([wait] {
      std::this_thread::sleep_for(wait);
      Abort();
    });
    const Conversion c = ConvertAsHost(input, quiet);
    aborter.join();
    ASSERT_TRUE(c.result == MORVELIN_DONE || c.result == MORVELIN_STOPPED) << c.result << " " << c.error_text;
    if (c.result == MORVELIN_STOPPED) {
      ++stopped;
      EXPECT_EQ(c.error_text, "User Quit");
      EXPECT_LE(c.counts[0], whole.counts[0]);
    } else {
      EXPECT_EQ(c.counts[0], whole.counts[0]);
    }
    // Stopped or not, the files are whole and closed.
    EXPECT_EQ(EpochsIn(WithExtension(input, ".gpb")), c.counts[0]);
    EXPECT_NE(ReadText(WithExtension(input, ".sum")).find("DAY #"), std::string::npos);
    EXPECT_EQ(OpenDescriptors(), descriptors);
  }
  EXPECT_GT(stopped, 0);
}

// Four conversions at once, each with its own abort flag raised at a
// random moment by a fifth thread.
TEST(Threads, ReentrantConversionsStoppedByTheirOwnFlags) {
  TempDir dir;
  const Bytes sample = ReadBytes(Sample());
  constexpr int kRuns = 4;
  std::vector<std::string> inputs;
  for (int i = 0; i < kRuns; ++i) {
    inputs.push_back(dir.File("SIMU345" + std::to_string(i) + ".dat"));
    WriteBytes(inputs.back(), sample);
  }
  std::mt19937 random(7);
  for (int round = 0; round < 10; ++round) {
    std::atomic<std::int32_t> flags[kRuns] = {};
    ConversionOutcome outcomes[kRuns];
    std::vector<std::thread> threads;
    for (int i = 0; i < kRuns; ++i) {
      threads.emplace_back([&, i] {
        ConversionRequest request;
        request.input = FileInput{inputs[static_cast<std::size_t>(i)]};
        request.abort = &flags[i];
        outcomes[i] = morvelin::Convert(request);
      });
    }
    std::uniform_int_distribution<int> pause(0, 3000);
    for (int i = 0; i < kRuns; ++i) {
      std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
      flags[i].fetch_add(1);
    }
    for (std::thread& thread : threads) thread.join();
    for (int i = 0; i < kRuns; ++i) {
      SCOPED_TRACE("round " + std::to_string(round) + " run " + std::to_string(i));
      EXPECT_EQ(outcomes[i].result, ConversionResult::kDone) << outcomes[i].failure;
      EXPECT_EQ(EpochsIn(WithExtension(inputs[static_cast<std::size_t>(i)], ".gpb")), outcomes[i].counts.epochs);
    }
  }
}

// The helper thread the RINEX export and the quality report keep for a
// run: round after round, the owner and the helper share a piece of work
// part by part, and after Wait the owner sees every part done once; a
// failure in the work comes back from Wait once; the end waits for the
// work still running.
TEST(Threads, HelperThreadSharesWorkRoundAfterRound) {
  constexpr int kParts = 64;
  std::vector<int> done(kParts);
  std::atomic<int> next{0};
  auto take_parts = [&] {
    for (int p = next.fetch_add(1); p < kParts; p = next.fetch_add(1)) ++done[static_cast<std::size_t>(p)];
  };
  HelperThread helper;
  EXPECT_EQ(helper.Wait(), nullptr);  // nothing given yet
  for (int round = 1; round <= 2000; ++round) {
    next.store(0);
    ASSERT_TRUE(helper.Give(take_parts));
    take_parts();
    ASSERT_EQ(helper.Wait(), nullptr);
    for (int d : done) ASSERT_EQ(d, round);
  }

  ASSERT_TRUE(helper.Give([] { throw std::runtime_error("no room"); }));
  const std::exception_ptr failure = helper.Wait();
  ASSERT_NE(failure, nullptr);
  EXPECT_THROW(std::rethrow_exception(failure), std::runtime_error);
  EXPECT_EQ(helper.Wait(), nullptr);  // handed back once

  std::atomic<bool> finished{false};
  {
    HelperThread ending;
    ASSERT_TRUE(ending.Give([&finished] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      finished = true;
    }));
  }
  EXPECT_TRUE(finished);
}

}  // namespace
}  // namespace morvelin::test
