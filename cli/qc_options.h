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

// The sink to attach to the conversion whose host files go to output_base
// (their path without extension), or null when no report is asked for.
// error is left empty (kept for a sink that could fail to start).
std::unique_ptr<ConversionSink> MakeQcSinkFor(const QcCliOptions& options, const std::string& output_base,
                                              std::string& error);

// The files of the report asked for: OUTPUT_BASE.qc.txt, .qc.svg and, with
// --qc-json, .qc.json; none without --qc.
std::vector<std::string> QcOutputPaths(const QcCliOptions& options, const std::string& output_base);

// Writes the report of a finished conversion into its files, under the
// temporaries of set. sink: what MakeQcSinkFor gave (null: nothing to
// write). False with the texts set when a file cannot be written.
bool WriteQcOutputs(ConversionSink* sink, const QcCliOptions& options, const std::string& output_base,
                    OutputSet& set, std::string& error, std::string& reason);

// Puts a file of text at path whole or not at all (through a temporary
// beside it, renamed into place); false with "PATH: reason" in error, path
// unchanged.
bool WriteTextFile(const std::string& path, const std::string& text, std::string& error);

// Writes text to path (created or replaced); false with error naming shown
// (path when empty) and the system's reason.
bool WriteTextFile(const std::string& path, const std::string& text, std::string& error, std::string& reason,
                   const std::string& shown = std::string());

}  // namespace morvelin::cli
