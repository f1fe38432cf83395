// The further outputs `convert` can write beside the host's four files, each
// a sink of the converter attached to the same single pass over the input.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "morvelin/events.h"
#include "qc_options.h"
#include "rinex_options.h"

namespace morvelin::cli {

struct ExtraSinkOptions {
  QcCliOptions qc;
  RinexCliOptions rinex;
};

// The sinks of one file's conversion and what must be done once it is over.
struct ExtraSinks {
  std::vector<std::unique_ptr<ConversionSink>> sinks;
  ConversionSink* qc = nullptr;
  RinexOutputs rinex;  // the RINEX files written, once the conversion is over
  std::string output_base;
  OutputSet* set = nullptr;
};

// Adds the options of the further outputs to the convert command.
void AddExtraSinkOptions(CLI::App& convert, ExtraSinkOptions& options);

// The files the further outputs will write beside output_base whose names
// are known before the run (the quality report's), to plan with the host
// files. The RINEX files are named by the data, once they are written.
std::vector<std::string> PlannedExtraOutputs(const ExtraSinkOptions& options, const std::string& output_base);

// The sinks asked for, writing beside output_base (the host files' path
// without extension) through set. Refused when one cannot be made.
Status MakeExtraSinks(const ExtraSinkOptions& options, const std::string& output_base, OutputSet& set,
                      ExtraSinks& sinks);

// After the conversion: what the sinks still have to write (reports), under
// the set's temporaries.
Status FinishExtraSinks(const ExtraSinkOptions& options, ExtraSinks& sinks);

// The files the further outputs wrote (after FinishExtraSinks).
std::vector<std::string> ExtraOutputPaths(const ExtraSinkOptions& options, const ExtraSinks& sinks);

}  // namespace morvelin::cli
