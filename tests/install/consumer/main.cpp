// Converts a raw data file through the installed C++ library, with a RINEX
// sink beside the host's four files, all or none through an output set.
//   cxx_consumer RAW_FILE OUTPUT_DIR
#include <cstdio>
#include <filesystem>
#include <memory>

#include <morvelin/converter.h>
#include <morvelin/rinex.h>

int main(int argc, char** argv) {
  if (argc != 3) return 64;
  std::filesystem::create_directories(argv[2]);
  morvelin::OutputSet set(argv[1]);
  morvelin::RinexOutputs rinex_outputs;
  auto rinex = morvelin::MakeRinexSink(morvelin::RinexOptions{}, argv[2], &rinex_outputs, &set);
  if (!rinex.Ok()) return std::fprintf(stderr, "%s\n", rinex.Message().c_str()), 1;
  morvelin::ConversionRequest request;
  request.input = morvelin::FileInput{argv[1]};
  request.host_name = std::filesystem::path(argv[1]).filename().string();  // SITE3450.dat
  request.output_dir = argv[2];
  request.output_set = &set;
  request.sinks.push_back(rinex->get());
  const morvelin::ConversionOutcome outcome = morvelin::Convert(request);
  if (outcome.result != morvelin::ConversionResult::kDone) return std::fprintf(stderr, "%s\n", outcome.failure.c_str()), 1;
  if (morvelin::Status committed = set.Commit(); !committed.Ok()) return std::fprintf(stderr, "%s\n", committed.Message().c_str()), 1;
  std::printf("epochs %d, rinex epochs %lld, %s\n", outcome.counts.epochs, static_cast<long long>(rinex_outputs.epochs),
              rinex_outputs.observation_path.c_str());
  return 0;
}
