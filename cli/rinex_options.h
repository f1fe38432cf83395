// The RINEX options of `morvelin convert` (--rinex[=VER], --long-names,
// --week, --date, --doppler, --iono-from) and the sink they ask for; the checks of those values,
// shared with `morvelin rinex` and `morvelin qc`, so that a bad value is a
// usage error wherever it is typed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "morvelin/converter.h"
#include "morvelin/rinex.h"
#include "rinex_output_options.h"

namespace morvelin::cli {

struct RinexCliOptions {
  std::string version;  // empty: no RINEX asked for; "3.04" for a bare --rinex
  bool long_names = false;
  std::int32_t week = -1;  // -1: not given
  std::string date;        // YYYY-MM-DD of the first epoch, or empty
  bool doppler = false;    // also the L1 Doppler (D1C / D1)
  std::string iono_from;   // a RINEX navigation file whose ionosphere parameters to write, or empty
  std::optional<RinexIonosphere> ionosphere;  // read from iono_from by LoadIonosphere
  RinexOutputCliOptions output;  // epochs, header values, compression
};

// The GPS weeks the command line takes, those `morvelin time` converts:
// week 0 begins on 1980-01-06, week 6260 holds 2099-12-31.
inline constexpr std::int32_t kLastGpsWeek = 6260;

// "YYYY-MM-DD" of a day from 1980-01-06 to 2099-12-31; false otherwise.
bool ParseFirstEpochDate(const std::string& text, RinexDate& date);

// The check of a RINEX version as typed: 3.04 or 2.11 (3 or 2 for short).
CLI::Validator RinexVersionCheck();

// Adds --week and --date, the first epoch's GPS week or day, each
// excluding the other, their values checked as they are parsed; each needs
// the option `needs` when one is given.
void AddFirstEpochOptions(CLI::App& command, std::int32_t& week, std::string& date, CLI::Option* needs = nullptr);

// Adds --long-names, refused as it is parsed when version, the value of an
// option added to command before this one, is a RINEX 2 version; it needs
// the option `needs` when one is given.
void AddLongNamesOption(CLI::App& command, bool& long_names, const std::string& version,
                        const std::string& description, CLI::Option* needs = nullptr);

// Adds --doppler and --iono-from; each needs the option `needs` when given.
void AddNavigationOptions(CLI::App& command, RinexCliOptions& options, CLI::Option* needs = nullptr);

// Adds the options to a command (convert, or any that writes RINEX).
void AddRinexOptions(CLI::App& command, RinexCliOptions& options);

// Reads the ionosphere parameters of --iono-from, once, before any file is
// converted; refused when the file cannot be read or holds none (an input
// the command cannot take: exit code 2).
Status LoadIonosphere(RinexCliOptions& options);

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
