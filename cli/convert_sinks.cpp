#include "convert_sinks.h"

namespace morvelin::cli {

void AddExtraSinkOptions(CLI::App& convert, ExtraSinkOptions& options) {
  AddRinexOptions(convert, options.rinex);
  AddQcOptions(convert, options.qc);
}

std::vector<std::string> PlannedExtraOutputs(const ExtraSinkOptions& options, const std::string& output_base) {
  return QcOutputPaths(options.qc, output_base);
}

Status MakeExtraSinks(const ExtraSinkOptions& options, const std::string& output_base, OutputSet& set,
                      ExtraSinks& sinks) {
  sinks.output_base = output_base;
  sinks.set = &set;
  Result<std::unique_ptr<ConversionSink>> rinex = MakeRinexSinkFor(options.rinex, output_base, &sinks.rinex, &set);
  if (!rinex.Ok()) return rinex.Status();
  if (*rinex) sinks.sinks.push_back(std::move(*rinex));
  if (auto qc = MakeQcSinkFor(options.qc)) {
    sinks.qc = qc.get();
    sinks.sinks.push_back(std::move(qc));
  }
  return {};
}

Status FinishExtraSinks(const ExtraSinkOptions& options, ExtraSinks& sinks) {
  if (sinks.qc == nullptr) return {};
  return WriteQcOutputs(sinks.qc, options.qc, sinks.output_base, *sinks.set);
}

std::vector<std::string> ExtraOutputPaths(const ExtraSinkOptions& options, const ExtraSinks& sinks) {
  std::vector<std::string> paths;
  for (const RinexObservationFile& file : sinks.rinex.observation_files) paths.push_back(file.path);
  if (!sinks.rinex.navigation_path.empty()) paths.push_back(sinks.rinex.navigation_path);
  if (sinks.qc != nullptr)
    for (const std::string& path : QcOutputPaths(options.qc, sinks.output_base)) paths.push_back(path);
  return paths;
}

}  // namespace morvelin::cli
