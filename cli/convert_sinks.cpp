#include "convert_sinks.h"

namespace morvelin::cli {

void AddExtraSinkOptions(CLI::App& convert, ExtraSinkOptions& options) {
  AddRinexOptions(convert, options.rinex);
  AddQcOptions(convert, options.qc);
}

std::vector<std::string> PlannedExtraOutputs(const ExtraSinkOptions& options, const std::string& output_base) {
  return QcOutputPaths(options.qc, output_base);
}

bool MakeExtraSinks(const ExtraSinkOptions& options, const std::string& output_base, OutputSet& set,
                    ExtraSinks& sinks, std::string& error) {
  sinks.output_base = output_base;
  sinks.set = &set;
  if (auto rinex = MakeRinexSinkFor(options.rinex, output_base, error, &sinks.rinex, &set)) {
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

bool FinishExtraSinks(const ExtraSinkOptions& options, ExtraSinks& sinks, std::string& error,
                      std::string& reason) {
  return sinks.qc == nullptr || WriteQcOutputs(sinks.qc, options.qc, sinks.output_base, *sinks.set, error, reason);
}

std::vector<std::string> ExtraOutputPaths(const ExtraSinkOptions& options, const ExtraSinks& sinks) {
  std::vector<std::string> paths;
  for (const std::string& path : {sinks.rinex.observation_path, sinks.rinex.navigation_path})
    if (!path.empty()) paths.push_back(path);
  if (sinks.qc != nullptr)
    for (const std::string& path : QcOutputPaths(options.qc, sinks.output_base)) paths.push_back(path);
  return paths;
}

}  // namespace morvelin::cli
