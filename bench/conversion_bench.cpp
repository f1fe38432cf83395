// Micro benchmarks of the hot paths: a whole conversion of realistic data,
// the byte scan over damaged stretches, measurement decoding, epoch writing,
// detection, and the number formatting of the ephemeris and RINEX files.
// Run: build/bench/bench/morvelin_bench (configure with -DMORVELIN_BUILD_BENCH=ON).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/buffered_writer.h"
#include "base/text_builder.h"
#include "formats/gpb_writer.h"
#include "framing/record_writer.h"
#include "gnss/geodesy.h"
#include "morvelin/converter.h"
#include "morvelin/morvelin.h"
#include "morvelin/output_set.h"
#include "rinex/observation_format.h"
#include "rinex/record_batch.h"
#include "session.h"

namespace {

namespace fs = std::filesystem;

std::string WriteInput(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  fs::path path = fs::temp_directory_path() / ("morvelin-bench-" + name + ".dat");
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return path.string();
}

// A simulated static dual-frequency session at 1 Hz, as a receiver records
// it: station records, ephemerides, events, cycle slips and invalid phases.
std::vector<std::uint8_t> SimulatedSession(double seconds) {
  morvelin::sim::SimulationConfig config;
  config.start = {2292, 86400.0};
  config.duration = seconds;
  config.seed = 345;
  config.event_interval = 300.0;
  config.observation.slip_rate = 0.0005;
  config.observation.invalid_rate = 0.0005;
  morvelin::sim::ReceiverSpec receiver;
  receiver.station = "BENC";
  receiver.position =
      morvelin::gnss::ToEcef({morvelin::gnss::Radians(47.3769), morvelin::gnss::Radians(8.5417), 408.0});
  config.receivers = {receiver};
  return std::move(morvelin::sim::Simulate(config).front().raw);
}

void Convert(benchmark::State& state, const std::string& path, std::size_t size) {
  MorvelinRequest request;
  MorvelinCallbacks callbacks;
  std::memset(&callbacks, 0, sizeof callbacks);
  callbacks.size = MORVELIN_CALLBACKS_SIZE;
  for (auto _ : state) {
    std::memset(&request, 0, sizeof request);
    request.size = MORVELIN_REQUEST_SIZE;
    request.options_size = MORVELIN_OPTIONS_SIZE;
    std::memcpy(request.path, path.c_str(), path.size() + 1);
    if (ConvertFile(&request, &callbacks, 0) != 0) state.SkipWithError("conversion failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_ConvertRealistic(benchmark::State& state) {
  static const std::vector<std::uint8_t> bytes = SimulatedSession(static_cast<double>(state.range(0)));
  static const std::string path = WriteInput("realistic", bytes);
  Convert(state, path, bytes.size());
}
BENCHMARK(BM_ConvertRealistic)->Arg(20000)->Unit(benchmark::kMillisecond);

// Random bytes without a preamble: every byte is one pass of the reader.
void BM_ScanJunk(benchmark::State& state) {
  static std::vector<std::uint8_t> bytes = [] {
    std::vector<std::uint8_t> junk(8 << 20);
    std::mt19937 random(7);
    for (auto& b : junk) {
      b = static_cast<std::uint8_t>(random());
      if (b == 0x74) b = 0x75;
    }
    return junk;
  }();
  static const std::string path = WriteInput("junk", bytes);
  Convert(state, path, bytes.size());
}
BENCHMARK(BM_ScanJunk)->Unit(benchmark::kMillisecond);

// The decoders and the converter alone: bytes from memory, no file written.
void BM_DecodeInMemory(benchmark::State& state) {
  static const std::vector<std::uint8_t> bytes = SimulatedSession(20000.0);
  morvelin::ConversionRequest request;
  request.input = morvelin::MemoryInput{bytes, "MEMO0010.dat"};
  request.host_files = false;
  for (auto _ : state) benchmark::DoNotOptimize(morvelin::Convert(request).counts.epochs);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_DecodeInMemory)->Unit(benchmark::kMillisecond);

// The epoch writer: a 12-satellite epoch into the measurement file's blocks.
void BM_WriteEpochs(benchmark::State& state) {
  const morvelin::Result<morvelin::GpbHeader> header = morvelin::MakeGpbHeader("BENC0010.gpb", 3, 1.0f, 8192, 12);
  morvelin::Result<std::unique_ptr<morvelin::OutputTarget>> target = morvelin::OpenFileTarget("/dev/null", false);
  if (!header || !target) return state.SkipWithError("no header or no /dev/null");
  morvelin::BufferedWriter out;
  out.Attach(target->get(), 1 << 20, true);
  morvelin::EpochRecord epoch{};
  epoch.measurement_count = 12;
  morvelin::ObservationRecord observations[12] = {};
  for (auto _ : state) {
    epoch.epoch_time += 0.05;
    if (!morvelin::AppendGpbEpoch(out, *header, epoch, observations).Ok()) state.SkipWithError("write failed");
  }
  out.Flush();
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (68 + 12 * 44)));
}
BENCHMARK(BM_WriteEpochs);

void BM_AutoDetect(benchmark::State& state) {
  static const std::string path = WriteInput("detect.DAT", SimulatedSession(200.0));
  for (auto _ : state) benchmark::DoNotOptimize(AutoDetect(path.c_str()));
}
BENCHMARK(BM_AutoDetect);

void BM_FormatEphemerisNumbers(benchmark::State& state) {
  double value = 1.5707963267948966;
  std::int64_t bytes = 0;
  for (auto _ : state) {
    morvelin::FixedText<128> text;
    text.Exp(value, 14).Char(' ').Exp(static_cast<double>(static_cast<float>(value)), 8).Char(' ').Fixed(value, 3);
    benchmark::DoNotOptimize(text.CStr());
    bytes += static_cast<std::int64_t>(text.View().size());
    value += 1e-9;
  }
  state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_FormatEphemerisNumbers);

// 12-satellite dual-frequency measurement records, the shape of a real
// session, decoded from memory without files.
void BM_DecodeDualFrequencyEpochs(benchmark::State& state) {
  static const std::vector<std::uint8_t> bytes = [] {
    morvelin::RecordWriter raw;
    std::vector<morvelin::SatelliteMeasurement> satellites(12);
    for (int k = 0; k < 20000; ++k) {
      for (int s = 1; s <= 12; ++s) {
        // Dual frequency, phase valid, full L2; P-code; F3.
        satellites[s - 1] = {static_cast<std::uint8_t>(s), 0x31, 0x01, 0x01, 20000000.0 + 1000.0 * s,
                             105000000.0 + 10.0 * k, 45.0, 82000000.0 + 8.0 * k, 3.25};
      }
      raw.Measurement(100000000.0 + 50.0 * k, 0.25, satellites);  // receiver time and clock offset, ms
    }
    return raw.Bytes();
  }();
  morvelin::ConversionRequest request;
  request.input = morvelin::MemoryInput{bytes, "DUAL0010.dat"};
  request.host_files = false;
  for (auto _ : state) {
    const morvelin::ConversionOutcome outcome = morvelin::Convert(request);
    if (outcome.measurement_records != 20000 || outcome.damage.Any()) state.SkipWithError("not 20000 clean epochs");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_DecodeDualFrequencyEpochs)->Unit(benchmark::kMillisecond);

// One satellite's values as a session gives them: a range of 20 000 to
// 26 000 km and the two phases in cycles, each with its own millimetres,
// so that no digit count or rounding repeats in a pattern a branch
// predictor could learn (a regular sequence made the formatting look
// twice as fast as it is on real data).
struct SessionValues {
  std::mt19937_64 random{7};
  std::uniform_real_distribution<double> range{20e6, 26e6};
  std::uniform_real_distribution<double> millimetres{-0.05, 0.05};
  // Range, L1 phase, L2 range, L2 phase.
  std::array<double, 4> Next() {
    const double r = range(random);
    return {r, r / 0.1902936728 + millimetres(random), r + 3.0 + millimetres(random), r / 0.2442102134};
  }
};

// RINEX observation values (F14.3), the bulk of an observation file's text,
// one after another as a line of satellites puts them out.
void BM_FormatRinexObservations(benchmark::State& state) {
  std::vector<double> values(4096);
  SessionValues session;
  for (std::size_t i = 0; i < values.size(); i += 4) {
    const std::array<double, 4> v = session.Next();
    std::copy(v.begin(), v.end(), values.begin() + static_cast<std::ptrdiff_t>(i));
  }
  std::vector<char> text(values.size() * 16);
  for (auto _ : state) {
    for (std::size_t i = 0; i < values.size(); ++i) morvelin::rinex::FormatObservationValue(&text[i * 16], values[i]);
    benchmark::DoNotOptimize(text.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * values.size() * 14));
}
BENCHMARK(BM_FormatRinexObservations);

// A batch of observation epochs as the export formats it, in one thread:
// 512 epochs of 12 dual-frequency satellites, RINEX 3.04.
void BM_FormatRinexBatch(benchmark::State& state) {
  using namespace morvelin::rinex;
  const ObservationLayout layout = MakeLayout(morvelin::RinexVersion::k304, {false, true, true});
  RecordBatch batch(false);
  SessionValues session;
  std::vector<std::array<double, 4>> values(RecordBatch::kEpochs * 12);
  for (std::array<double, 4>& v : values) v = session.Next();
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (std::size_t e = 0; e < RecordBatch::kEpochs; ++e) {
      SatelliteRecord* records = batch.Reserve(12);
      std::uint8_t prns[12];
      for (int i = 0; i < 12; ++i) {
        SatelliteRecord& r = records[i];
        r.prn = prns[i] = static_cast<std::uint8_t>(i * 2 + 1);
        const std::array<double, 4>& v = values[e * 12 + static_cast<std::size_t>(i)];
        std::size_t next = 0;
        for (Signal s : {Signal::kL1PCode, Signal::kL1PPhase, Signal::kL2Code, Signal::kL2Phase}) {
          const auto k = static_cast<std::size_t>(s);
          r.present[k] = true;
          r.value[k] = v[next++];
        }
      }
      batch.Commit(EpochLine{CivilFromGps(2291, 86400.0 + 0.05 * static_cast<double>(e)), 0, 12, prns, true, 0.0});
    }
    for (std::string_view text : batch.Finish(morvelin::RinexVersion::k304, layout)) bytes += text.size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * RecordBatch::kEpochs * 12));
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_FormatRinexBatch)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
