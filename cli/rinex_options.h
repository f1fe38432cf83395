// The RINEX options of `morvelin convert` (--rinex[=VER], --long-names,
// --week, --date) and the sink they ask for; the checks of those values,
// shared with `morvelin rinex` and `morvelin qc`, so that a bad value is a
// usage error wherever it is typed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <CLI/CLI.hpp>

#include "morvelin/converter.h"
#include "morvelin/rinex.h"

namespace morvelin::cli {

struct RinexCliOptions {
  std::string version;  // empty: no RINEX asked for; "3.04" for a bare --rinex
  bool long_names = false;
  std::int32_t week = -1;  // -1: not given
  std::string date;        // YYYY-MM-DD of the first epoch, or empty
};

// The GPS weeks the command line takes, those `morvelin time` converts:
// week 0 begins on 1980-01-06, week 6260 holds 2099-12-31.
inline constexpr std::int32_t kLastGpsWeek = 6260;

// "YYYY-MM-DD" of a day from 1980-01-06 to 2099-12-31; false otherwise.
bool ParseFirstEpochDate(const std::string& text, RinexDate& date);

// The check of a RINEX version as typed: 3.04 or 2.11 (3 or 2 for short).
CLI::Validator RinexVersionCheck();

// Adds --week and --date, the first epoch's GPS week or day, each
// excluding the other, their values checked as they are parsed.
void AddFirstEpochOptions(CLI::App& command, std::int32_t& week, std::string& date);

// Adds --long-names, refused as it is parsed when version, the value of an
// option added to command before this one, is a RINEX 2 version.
void AddLongNamesOption(CLI::App& command, bool& long_names, const std::string& version,
                        const std::string& description);

// Adds the options to a command (convert, or any that writes RINEX).
void AddRinexOptions(CLI::App& command, RinexCliOptions& options);

// The library's options from the command line's; refused when a value is
// not valid. output_base: the path without extension where the host files
// go (its folder receives the RINEX files, its name is the fallback station
// name).
Result<RinexOptions> ToRinexOptions(const RinexCliOptions& cli, const std::string& output_base);

// The RINEX sink for one conversion whose host files go to output_base
// (path without extension); null when RINEX was not asked for. outputs,
// when given, receives the paths written once the conversion has finished.
// set: where the files are named and put into place (see MakeRinexSink).
Result<std::unique_ptr<morvelin::ConversionSink>> MakeRinexSinkFor(const RinexCliOptions& options,
                                                                   const std::string& output_base,
                                                                   RinexOutputs* outputs = nullptr,
                                                                   OutputSet* set = nullptr);

// The folder part of a path ("" for none).
std::string DirectoryOf(const std::string& path);

}  // namespace morvelin::cli
