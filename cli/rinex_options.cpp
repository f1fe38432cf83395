#include "rinex_options.h"

#ifndef MORVELIN_VERSION
#define MORVELIN_VERSION "0.1.0"
#endif

namespace morvelin::cli {

void AddRinexOptions(CLI::App& command, RinexCliOptions& options) {
  command.add_flag("--rinex{3.04}", options.version,
                   "Also write RINEX observation and navigation files (version 3.04, or --rinex=2.11)");
  command.add_flag("--long-names", options.long_names,
                   "RINEX 3 long file names (station, country, start, period and rate, ending _GO.rnx "
                   "and _GN.rnx) instead of SSSSDDD0.YYo and .YYn");
  auto* week = command.add_option("--week", options.week,
                                  "GPS week of the first epoch (default: from the ephemerides in the data)");
  command.add_option("--date", options.date, "Date of the first epoch, YYYY-MM-DD (instead of --week)")
      ->excludes(week);
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return "";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

bool ToRinexOptions(const RinexCliOptions& cli, const std::string& output_base, RinexOptions& options,
                    std::string& error) {
  const std::string version = cli.version.empty() ? "3.04" : cli.version;
  if (!ParseRinexVersion(version, &options.version)) {
    error = "Error: RINEX version must be 3.04 or 2.11, not " + version;
    return false;
  }
  if (cli.long_names && options.version != RinexVersion::k304) {
    error = "Error: long file names exist for RINEX 3 only";
    return false;
  }
  options.long_names = cli.long_names;
  if (cli.week >= 0) options.week = cli.week;
  if (!cli.date.empty()) {
    RinexDate date;
    if (!ParseRinexDate(cli.date, &date)) {
      error = "Error: --date must be a day YYYY-MM-DD from 1980-01-06 on, not " + cli.date;
      return false;
    }
    options.date = date;
  }
  options.program = "morvelin " MORVELIN_VERSION;
  const std::size_t slash = output_base.find_last_of("/\\");
  options.fallback_name = slash == std::string::npos ? output_base : output_base.substr(slash + 1);
  return true;
}

std::unique_ptr<morvelin::ConversionSink> MakeRinexSinkFor(const RinexCliOptions& cli, const std::string& output_base,
                                                           std::string& error, RinexOutputs* outputs,
                                                           OutputSet* set) {
  error.clear();
  if (cli.version.empty()) return nullptr;
  RinexOptions options;
  if (!ToRinexOptions(cli, output_base, options, error)) return nullptr;
  return MakeRinexSink(options, DirectoryOf(output_base), outputs, error, set);
}

}  // namespace morvelin::cli
