// The re-entrant converter: decoders fed from memory into a recording sink,
// and conversions in parallel threads giving the bytes of sequential ones.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <signal.h>
#endif

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "morvelin/converter.h"
#include "support/ephemeris_payloads.h"
#include "support/harness.h"
#include "support/recording_sink.h"
#include "support/station_payloads.h"

namespace morvelin::test {
namespace {

namespace fs = std::filesystem;

// One record of each family, in an order that shows the events keep it.
RawBuilder Session() {
  RawBuilder raw;
  raw.Record(5, StationNamePayload("BASE1"));
  StationSubRecord(raw, 3, StationEntryPayload("pillar", "1.25", "PT01"));
  RawSatellite slipped{3};
  slipped.f1 = 0x12;  // phase valid, cycle slip
  raw.Measurement(100000.0, 2.0, {RawSatellite{}, slipped});
  raw.Record(21, EphemerisPayload(EphemerisRecord{.prn = 1}));
  raw.Write<MarkedEventRecord>({7, 100500.0}, event_sub_record::kManualEvent);
  raw.Measurement(101000.0, 2.0, {RawSatellite{}});
  return raw;
}

TEST(Converter, DecodersReportToSinksWithoutFiles) {
  const MemoryConversion run = ConvertInMemory(Session().Get());
  EXPECT_EQ(run.outcome.result, ConversionResult::kDone);
  EXPECT_EQ(run.events,
            (std::vector<std::string>{
                "station PT01 0.0 1.250 pillar",
                "summary PRN: 3  L1 Cycle Slip: # 1 at 100.00 \n",
                "epoch 100.000 rx 100.0000 clock 0.002000 | 1 lock 0 L1 100000.000 | 3 lock 0 L1 110000.000"
                " # 1 f1 16 phase 100000.000 # 3 f1 18 phase 100000.000",
                "ephemeris prn 1 toe 0 bytes 186",
                "summary EVENT MARKER 2: (MANUAL EVENT)\n    MARK ID: 7\n    GPS_TIME: 100.50000\n\n",
                "marker 2 id 7 time 100.500 counted",
                "epoch 101.000 rx 101.0000 clock 0.002000 | 1 lock 1 L1 100000.000 # 1 f1 16 phase 100000.000",
                "station BASE1 0.0 1.250 Entered at start",
                "end BASE1 records 2 observations 3",
            }));
  EXPECT_EQ(run.messages, (std::vector<std::string>{"100.000 PRN: 3, L1 Cycle Slip: # 1",
                                                    "0.000 Ephemeris recived on PRN 1"}));
  EXPECT_EQ(run.outcome.counts.epochs, 2);
  EXPECT_EQ(run.outcome.counts.station_lines, 2);
  EXPECT_FALSE(run.outcome.damage.Any());
}

// An ionosphere record gives its eight coefficients when its payload is
// the 64 bytes of the layout; any other length only its length, and the
// record's bytes are never taken for another record.
TEST(Converter, IonosphereRecordsByTheirLength) {
  const IonosphereRecord klobuchar{{1.1e-8, 7.5e-9, -6e-8, -6e-8}, {90112.0, 49152.0, -131072.0, -327680.0}};
  const Bytes hidden = RawBuilder().Record(21, EphemerisPayload(EphemerisRecord{.prn = 1})).Get();
  const Bytes whole = RawBuilder().Write<IonosphereRecord>(klobuchar).Get();
  struct Case {
    RawBuilder raw;
    std::vector<std::string> events;
  } cases[] = {
      {RawBuilder().Write<IonosphereRecord>(klobuchar),
       {"ionosphere 64 bytes 1.1e-08 7.5e-09 -6e-08 -6e-08 90112 49152 -131072 -327680"}},
      {RawBuilder().Record(20, Bytes(hidden.begin(), hidden.begin() + 40)), {"ionosphere 40 bytes"}},
      {RawBuilder().Record(20, {}, 2), {"ionosphere 0 bytes"}},
      {RawBuilder().Raw(Bytes(whole.begin(), whole.begin() + 50)), {}},  // cut by the end of the input
  };
  const std::string end_line = "end  records 0 observations 0";
  for (Case& c : cases) {
    c.events.push_back(end_line);
    const MemoryConversion run = ConvertInMemory(c.raw.Get());
    EXPECT_EQ(run.events, c.events);
    EXPECT_EQ(run.outcome.damage.cut_record, false);
  }
}

// Files converted in threads of their own equal those converted one after
// the other: no conversion sees another's state.
TEST(Converter, ParallelConversionsEqualSequentialOnes) {
  TempDir dir;
  std::vector<std::string> inputs;
  for (int i = 0; i < 4; ++i) {
    RawBuilder raw = Session();
    for (int k = 0; k < 200 * (i + 1); ++k)
      raw.Measurement(102000.0 + 1000.0 * k, 0.5 * i, {RawSatellite{}, RawSatellite{static_cast<std::uint8_t>(5 + i)}});
    inputs.push_back(dir.File("SITE" + std::to_string(120 + i) + "0.dat"));
    raw.WriteTo(inputs.back());
  }
  auto convert = [&](const std::string& input, const std::string& folder) {
    ConversionRequest request;
    request.input = FileInput{input};
    request.host_name = fs::path(input).filename().string();
    request.output_dir = dir.File(folder);
    return Convert(request);
  };
  fs::create_directory(dir.File("one"));
  fs::create_directory(dir.File("many"));
  for (const std::string& input : inputs) ASSERT_EQ(convert(input, "one").result, ConversionResult::kDone);
  for (int round = 0; round < 5; ++round) {
    std::vector<std::thread> threads;
    for (const std::string& input : inputs) threads.emplace_back([&, input] { convert(input, "many"); });
    for (std::thread& thread : threads) thread.join();
    for (const std::string& input : inputs) {
      const std::string stem = fs::path(input).stem().string();
      for (const char* extension : {".gpb", ".epp", ".sum", ".sta"}) {
        Bytes one = ReadBytes(dir.File("one/" + stem + extension));
        Bytes many = ReadBytes(dir.File("many/" + stem + extension));
        if (std::string(extension) == ".gpb") {
          one = WithoutGpbStamp(one);
          many = WithoutGpbStamp(many);
        }
        ASSERT_EQ(one, many) << stem << extension << " round " << round;
      }
    }
  }
}

// A sink that fails when it is finished fails the run with its text, and
// every sink is finished exactly once, before it or after it (those before
// it were finished a second time; the conversion fuzz target's counting
// sink showed it).
TEST(Converter, EverySinkIsFinishedOnceWhenOneFailsAtTheEnd) {
  struct Counting : ConversionSink {
    explicit Counting(bool fail) : fail_(fail) {}
    Status Finish() override {
      if (++finishes > 0 && fail_) failure_ = Status::Failed("Error: cannot finish");
      return failure_;
    }
    const Status& Failure() const override { return failure_; }
    int finishes = 0;
    bool fail_;
    Status failure_;
  };
  Counting first(false), failing(true), last(false);
  const Bytes bytes = Session().Get();
  ConversionRequest request;
  request.input = MemoryInput{bytes, "MEMORY.dat"};
  request.host_files = false;
  request.sinks = {&first, &failing, &last};
  const ConversionOutcome outcome = Convert(request);
  EXPECT_EQ(outcome.result, ConversionResult::kFailed);
  EXPECT_EQ(outcome.failure, "Error: cannot finish");
  EXPECT_EQ(first.finishes, 1);
  EXPECT_EQ(failing.finishes, 1);
  EXPECT_EQ(last.finishes, 1);
}

// Inputs are mapped on Linux only.
#if !defined(_WIN32)
namespace mapped {

// About 10 MB (windows of the mapping are 2 MiB): 12-satellite dual-frequency
// epochs, junk across a window's end, a record cut by the end.
Bytes LargeInput() {
  RawBuilder raw = Session();
  std::vector<RawSatellite> satellites(12);
  for (int s = 0; s < 12; ++s) {
    satellites[s].prn = static_cast<std::uint8_t>(s + 1);
    satellites[s].f1 = 0x31;  // phase valid, full L2
    satellites[s].l2_phase = 80000.0;
    satellites[s].l2_code_offset = 3.5;
  }
  for (int k = 0; raw.Size() < (std::size_t{10} << 20); ++k) {
    if (k == 4700) raw.Raw(Bytes(3000, 0x74));  // about the 4 MiB mark
    raw.Measurement(102000.0 + 50.0 * k, 0.5, satellites);
  }
  raw.Raw({0x74, 200, 0, 17, 1, 2, 3});
  return raw.Get();
}

struct FileRun {
  ConversionOutcome outcome;
  Bytes files[4];
};

FileRun ConvertFile(const std::string& input, const std::string& folder, bool mapped,
                ConversionObserver* observer = nullptr) {
  fs::create_directory(folder);
  ConversionRequest request;
  request.input = FileInput{input, mapped};
  request.host_name = fs::path(input).filename().string();
  request.output_dir = folder;
  request.observer = observer;
  FileRun run{Convert(request), {}};
  const char* extensions[] = {".gpb", ".epp", ".sum", ".sta"};
  for (int i = 0; i < 4; ++i) run.files[i] = ReadBytes(folder + "/SITE1230" + extensions[i]);
  run.files[0] = WithoutGpbStamp(run.files[0]);
  return run;
}

// A mapped input gives every byte, count and damage figure a read one gives.
TEST(MappedInput, EqualsReadInput) {
  TempDir dir;
  const std::string input = dir.File("SITE1230.dat");
  WriteBytes(input, LargeInput());
  const FileRun read = ConvertFile(input, dir.File("read"), false);
  const FileRun mapped = ConvertFile(input, dir.File("mapped"), true);
  ASSERT_EQ(read.outcome.result, ConversionResult::kDone);
  EXPECT_GT(read.outcome.counts.epochs, 11000);
  EXPECT_EQ(mapped.outcome.result, ConversionResult::kDone);
  EXPECT_EQ(mapped.outcome.counts.epochs, read.outcome.counts.epochs);
  EXPECT_EQ(mapped.outcome.damage.skipped_bytes, read.outcome.damage.skipped_bytes);
  EXPECT_TRUE(mapped.outcome.damage.cut_record && read.outcome.damage.cut_record);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(mapped.files[i], read.files[i]) << i;
}

// Files ending just before, at and just after a window's end (the page-in
// thread starts only past one window) give every byte and figure of a read.
TEST(MappedInput, WindowEndsEqualReadInput) {
  const Bytes large = LargeInput();
  constexpr std::size_t kWindow = std::size_t{2} << 20;
  for (const std::size_t size : {kWindow - 1, kWindow, kWindow + 1, 2 * kWindow + 100}) {
    TempDir dir;
    const std::string input = dir.File("SITE1230.dat");
    WriteBytes(input, Bytes(large.begin(), large.begin() + static_cast<std::ptrdiff_t>(size)));
    const FileRun read = ConvertFile(input, dir.File("read"), false);
    const FileRun mapped = ConvertFile(input, dir.File("mapped"), true);
    EXPECT_EQ(mapped.outcome.counts.epochs, read.outcome.counts.epochs) << size;
    EXPECT_EQ(mapped.outcome.damage.cut_record, read.outcome.damage.cut_record) << size;
    EXPECT_EQ(mapped.outcome.damage.skipped_bytes, read.outcome.damage.skipped_bytes) << size;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(mapped.files[i], read.files[i]) << size << " " << i;
  }
}

// Mapped inputs converted at once in threads, each with its page-in thread,
// give the files of a read input.
TEST(MappedInput, RunsAtOnceEqualReadInput) {
  TempDir dir;
  const std::string input = dir.File("SITE1230.dat");
  WriteBytes(input, LargeInput());
  const FileRun read = ConvertFile(input, dir.File("read"), false);
  std::vector<FileRun> runs(3);
  std::vector<std::thread> threads;
  for (std::size_t n = 0; n < runs.size(); ++n)
    threads.emplace_back([&, n] { runs[n] = ConvertFile(input, dir.File("mapped" + std::to_string(n)), true); });
  for (std::thread& thread : threads) thread.join();
  for (const FileRun& run : runs) {
    EXPECT_EQ(run.outcome.result, ConversionResult::kDone);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(run.files[i], read.files[i]) << i;
  }
}

// Cuts the input to a tenth at the first progress report.
class CutOnProgress final : public ConversionObserver {
 public:
  explicit CutOnProgress(std::string path) : path_(std::move(path)) {}
  void OnProgress(std::int64_t, std::int64_t length) override {
    if (!cut_ && length > 0) fs::resize_file(path_, static_cast<std::uintmax_t>(length / 10));
    cut_ = true;
  }

 private:
  std::string path_;
  bool cut_ = false;
};

extern "C" void RecoverOrDie(int, siginfo_t* info, void*) {
  if (!RecoverMappedInputFault(info->si_addr)) std::abort();
}

// A file cut short by another program while it is mapped fails the run,
// named as an unreadable input; the process lives on.
TEST(MappedInput, FileCutWhileReadFailsTheRun) {
  struct sigaction action {}, previous {};
  action.sa_sigaction = RecoverOrDie;
  action.sa_flags = SA_SIGINFO;
  ASSERT_EQ(sigaction(SIGBUS, &action, &previous), 0);
  TempDir dir;
  const std::string input = dir.File("SITE1230.dat");
  WriteBytes(input, LargeInput());
  CutOnProgress cut(input);
  const FileRun run = ConvertFile(input, dir.File("out"), true, &cut);
  sigaction(SIGBUS, &previous, nullptr);
  EXPECT_EQ(run.outcome.result, ConversionResult::kFailed);
  EXPECT_EQ(run.outcome.failure, "Error: Unable to read SITE1230.dat");
  EXPECT_EQ(run.outcome.reason, "the file was cut short while it was read");
}

}  // namespace mapped
#endif

}  // namespace
}  // namespace morvelin::test
