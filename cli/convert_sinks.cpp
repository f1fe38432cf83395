#include "convert_sinks.h"

namespace morvelin::cli {

void AddExtraSinkOptions(CLI::App& /*convert*/, ExtraSinkOptions& /*options*/) {}

bool MakeExtraSinks(const ExtraSinkOptions& /*options*/, const std::string& /*output_base*/, ExtraSinks& /*sinks*/,
                    std::string& /*error*/) {
  return true;
}

std::string FinishExtraSinks(ExtraSinks& /*sinks*/, bool /*stopped*/) { return {}; }

}  // namespace morvelin::cli
