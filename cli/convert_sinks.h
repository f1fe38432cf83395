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
};

// Adds the options of the further outputs to the convert command.
void AddExtraSinkOptions(CLI::App& convert, ExtraSinkOptions& options);

// The sinks asked for, writing beside output_base (the host files' path
// without extension). False, with error set, when one cannot be made.
bool MakeExtraSinks(const ExtraSinkOptions& options, const std::string& output_base, ExtraSinks& sinks,
                    std::string& error);

// After the conversion: what the sinks still have to write (reports). A
// line to show when something failed, else empty.
std::string FinishExtraSinks(const ExtraSinkOptions& options, ExtraSinks& sinks);

// The files the further outputs wrote (after FinishExtraSinks).
std::vector<std::string> ExtraOutputPaths(const ExtraSinkOptions& options, const ExtraSinks& sinks);

}  // namespace morvelin::cli
