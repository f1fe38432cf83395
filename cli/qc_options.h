// The quality report beside a conversion: `convert --qc` and its options.
// convert adds them with AddQcOptions, attaches the sink MakeQcSinkFor
// gives to the conversion of each file, and calls WriteQcOutputs once that
// conversion is over.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "morvelin/converter.h"

namespace morvelin::cli {

struct QcCliOptions {
  bool report = false;   // --qc: OUTPUT_BASE.qc.txt and OUTPUT_BASE.qc.svg
  bool json = false;     // --qc-json: OUTPUT_BASE.qc.json too
  double elevation_mask = 10.0;  // --qc-mask
};

// Adds --qc, --qc-json and --qc-mask to the convert command.
void AddQcOptions(CLI::App& convert, QcCliOptions& options);

// The sink to attach to a conversion, or null when no report is asked for.
std::unique_ptr<ConversionSink> MakeQcSinkFor(const QcCliOptions& options);

// The files of the report asked for: OUTPUT_BASE.qc.txt, .qc.svg and, with
// --qc-json, .qc.json; none without --qc.
std::vector<std::string> QcOutputPaths(const QcCliOptions& options, const std::string& output_base);

// Writes the report of a finished conversion into its files, under the
// temporaries of set. sink: what MakeQcSinkFor gave (null: nothing to
// write). Refused, naming the file, when one cannot be written.
Status WriteQcOutputs(ConversionSink* sink, const QcCliOptions& options, const std::string& output_base,
                      OutputSet& set);

// Claims path in set and writes text to its temporary; refused naming the
// file, with the system's reason.
Status WriteSetFile(OutputSet& set, const std::string& path, const std::string& text);

}  // namespace morvelin::cli
