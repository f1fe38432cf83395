#include "convert_sinks.h"

namespace morvelin::cli {

void AddExtraSinkOptions(CLI::App& convert, ExtraSinkOptions& options) {
  AddRinexOptions(convert, options.rinex);
  AddQcOptions(convert, options.qc);
}

bool MakeExtraSinks(const ExtraSinkOptions& options, const std::string& output_base, ExtraSinks& sinks,
                    std::string& error) {
  sinks.output_base = output_base;
  if (auto rinex = MakeRinexSinkFor(options.rinex, output_base, error, &sinks.rinex)) {
    sinks.sinks.push_back(std::move(rinex));
  } else if (!error.empty()) {
    return false;
  }
  if (auto qc = MakeQcSinkFor(options.qc, output_base, error)) {
    sinks.qc = qc.get();
    sinks.sinks.push_back(std::move(qc));
  } else if (!error.empty()) {
    return false;
  }
  return true;
}

std::string FinishExtraSinks(const ExtraSinkOptions& options, ExtraSinks& sinks) {
  std::string error;
  if (sinks.qc != nullptr && !WriteQcOutputs(sinks.qc, options.qc, sinks.output_base, error))
    return "quality report not written: " + error;
  return {};
}

std::vector<std::string> ExtraOutputPaths(const ExtraSinkOptions& options, const ExtraSinks& sinks) {
  std::vector<std::string> paths;
  for (const std::string& path : {sinks.rinex.observation_path, sinks.rinex.navigation_path})
    if (!path.empty()) paths.push_back(path);
  if (sinks.qc != nullptr) {
    paths.push_back(sinks.output_base + ".qc.txt");
    paths.push_back(sinks.output_base + ".qc.svg");
    if (options.qc.json) paths.push_back(sinks.output_base + ".qc.json");
  }
  return paths;
}

}  // namespace morvelin::cli
