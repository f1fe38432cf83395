#include "convert_sinks.h"

namespace morvelin::cli {

void AddExtraSinkOptions(CLI::App& convert, ExtraSinkOptions& options) { AddQcOptions(convert, options.qc); }

bool MakeExtraSinks(const ExtraSinkOptions& options, const std::string& output_base, ExtraSinks& sinks,
                    std::string& error) {
  sinks.output_base = output_base;
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

}  // namespace morvelin::cli
