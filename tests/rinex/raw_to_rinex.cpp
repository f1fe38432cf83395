// raw_to_rinex: the RINEX export in the same pass as a conversion, through
// the library (Convert() with the RINEX sink attached): the test bench's
// way from a simulated raw data file to the files RTKLIB judges.
//
//   raw_to_rinex [--version 3.04|2.11] [--week N] [--date YYYY-MM-DD]
//                [--long-names] [--no-host-files] IN.dat OUTDIR
#include <cstdio>
#include <cstring>
#include <string>

#include "morvelin/converter.h"
#include "morvelin/rinex.h"

int main(int argc, char** argv) {
  morvelin::RinexOptions options;
  options.program = "morvelin test";
  options.creation_time = "20240101 000000 UTC";
  bool host_files = true;
  std::string input, output_dir;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--version" && has_value) {
      if (!morvelin::ParseRinexVersion(argv[++i], &options.version)) return 2;
    } else if (arg == "--week" && has_value) {
      options.week = std::stoi(argv[++i]);
    } else if (arg == "--date" && has_value) {
      morvelin::RinexDate date;
      if (!morvelin::ParseRinexDate(argv[++i], &date)) return 2;
      options.date = date;
    } else if (arg == "--long-names") {
      options.long_names = true;
    } else if (arg == "--no-host-files") {
      host_files = false;
    } else if (input.empty()) {
      input = arg;
    } else {
      output_dir = arg;
    }
  }
  if (input.empty()) {
    std::fprintf(stderr, "usage: raw_to_rinex [options] IN.dat OUTDIR\n");
    return 2;
  }
  std::string base = output_dir.empty() ? input : output_dir + "/" + input.substr(input.find_last_of('/') + 1);
  if (const std::size_t dot = base.rfind('.'); dot != std::string::npos) base.resize(dot);
  options.fallback_name = base.substr(base.find_last_of('/') + 1);
  morvelin::RinexOutputs outputs;
  auto made = morvelin::MakeRinexSink(options, output_dir, &outputs);
  if (!made.Ok()) {
    std::fprintf(stderr, "%s\n", made.Message().c_str());
    return 2;
  }
  std::unique_ptr<morvelin::ConversionSink> sink = std::move(*made);
  morvelin::ConversionRequest request;
  request.input = morvelin::FileInput{input};
  request.output_base = base;
  request.host_files = host_files;
  request.sinks.push_back(sink.get());
  const morvelin::ConversionOutcome outcome = morvelin::Convert(request);
  if (outcome.result != morvelin::ConversionResult::kDone) {
    std::fprintf(stderr, "%s\n", outcome.failure.c_str());
    return 1;
  }
  std::printf("%s\n%s\n%lld epochs %lld signals %lld ephemerides\n", outputs.observation_path.c_str(),
              outputs.navigation_path.c_str(), static_cast<long long>(outputs.epochs),
              static_cast<long long>(outputs.signals), static_cast<long long>(outputs.ephemerides));
  return 0;
}
