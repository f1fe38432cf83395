#include "rinex_options.h"

#ifndef MORVELIN_VERSION
#define MORVELIN_VERSION "0.1.0"
#endif

namespace morvelin::cli {

bool ParseFirstEpochDate(const std::string& text, RinexDate& date) {
  RinexDate parsed;
  if (!ParseRinexDate(text, &parsed) || parsed.year > 2099) return false;
  date = parsed;
  return true;
}

CLI::Validator RinexVersionCheck() {
  return CLI::Validator(
      [](std::string& text) {
        RinexVersion version;
        return ParseRinexVersion(text, &version) ? std::string() : "RINEX version must be 3.04 or 2.11, not " + text;
      },
      "3.04|2.11");
}

void AddFirstEpochOptions(CLI::App& command, std::int32_t& week, std::string& date, CLI::Option* needs) {
  const CLI::Validator day_check(
      [](std::string& text) {
        RinexDate day;
        if (ParseFirstEpochDate(text, day)) return std::string();
        return "must be a day YYYY-MM-DD from 1980-01-06 to 2099-12-31, not " + text;
      },
      "YYYY-MM-DD");
  auto* week_option =
      command.add_option("--week", week, "GPS week of the first epoch (default: from the ephemerides in the data)")
          ->type_name("WEEK")
          ->check(CLI::Range(0, kLastGpsWeek).description("0-" + std::to_string(kLastGpsWeek)));
  auto* date_option =
      command.add_option("--date", date, "Date of the first epoch, 1980-01-06 to 2099-12-31 (instead of --week)")
          ->check(day_check)
          ->excludes(week_option);
  if (needs != nullptr) week_option->needs(needs), date_option->needs(needs);
}

void AddLongNamesOption(CLI::App& command, bool& long_names, const std::string& version,
                        const std::string& description, CLI::Option* needs) {
  // The options' values are stored in the order the options were added, all
  // of them before any check of a later option runs: the version is in
  // place when this check looks at it, wherever it stood on the line.
  auto* option = command.add_flag("--long-names", long_names, description);
  if (needs != nullptr) option->needs(needs);
  option->check(CLI::Validator(
          [&version](std::string&) {
            RinexVersion parsed = RinexVersion::k304;
            if (!version.empty() && ParseRinexVersion(version, &parsed) && parsed != RinexVersion::k304)
              return std::string("long file names exist for RINEX 3 only, not with ") + version;
            return std::string();
          },
          ""));
}

void AddNavigationOptions(CLI::App& command, RinexCliOptions& options, CLI::Option* needs) {
  auto* doppler = command.add_flag(
      "--doppler", options.doppler,
      "Also write the L1 Doppler (the receiver's third L1 observable, Hz, positive for an approaching "
      "satellite) as D1C (D1W with P-code; RINEX 2.11: D1)");
  auto* iono = command.add_option(
      "--iono-from", options.iono_from,
      "Take the navigation header's ionosphere parameters from this RINEX navigation file (2.x ION ALPHA/ION "
      "BETA, 3.x IONOSPHERIC CORR GPSA/GPSB) instead of the raw data's ionosphere record");
  if (needs != nullptr) doppler->needs(needs), iono->needs(needs);
}

void AddRinexOptions(CLI::App& command, RinexCliOptions& options) {
  auto* rinex = command
                    .add_flag("--rinex{3.04}", options.version,
                              "Also write RINEX observation and navigation files (version 3.04, or --rinex=2.11)")
                    ->check(RinexVersionCheck());
  AddLongNamesOption(command, options.long_names, options.version,
                     "RINEX 3 long file names (station, country, start, period and rate, ending _GO.rnx "
                     "and _GN.rnx) instead of SSSSDDD0.YYo and .YYn",
                     rinex);
  AddFirstEpochOptions(command, options.week, options.date, rinex);
  AddNavigationOptions(command, options, rinex);
  AddRinexOutputOptions(command, options.output, rinex);
}

Status LoadIonosphere(RinexCliOptions& options) {
  if (options.iono_from.empty()) return {};
  Result<RinexIonosphere> read = ReadRinexIonosphere(options.iono_from);
  if (!read.Ok()) return read.Status();
  options.ionosphere = *read;
  return {};
}

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return "";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

Result<RinexOptions> ToRinexOptions(const RinexCliOptions& cli, const std::string& output_base) {
  RinexOptions options;
  const std::string version = cli.version.empty() ? "3.04" : cli.version;
  if (!ParseRinexVersion(version, &options.version))
    return Status::Failed("Error: RINEX version must be 3.04 or 2.11, not " + version);
  if (cli.long_names && options.version != RinexVersion::k304)
    return Status::Failed("Error: long file names exist for RINEX 3 only");
  options.long_names = cli.long_names;
  // The command line has checked these already; a caller that fills cli
  // itself gets the same refusals.
  if (cli.week < -1 || cli.week > kLastGpsWeek)
    return Status::Failed("Error: --week must be 0 to " + std::to_string(kLastGpsWeek) + ", not " +
                          std::to_string(cli.week));
  if (cli.week >= 0) options.week = cli.week;
  if (!cli.date.empty()) {
    RinexDate date;
    if (!ParseFirstEpochDate(cli.date, date))
      return Status::Failed("Error: --date must be a day YYYY-MM-DD from 1980-01-06 to 2099-12-31, not " + cli.date);
    options.date = date;
  }
  options.doppler = cli.doppler;
  if (!cli.iono_from.empty()) {
    if (!cli.ionosphere) return Status::Failed("Error: --iono-from " + cli.iono_from + " was not read");
    options.ionosphere = cli.ionosphere;
    const std::size_t name = cli.iono_from.find_last_of("/\\");
    options.ionosphere_source = name == std::string::npos ? cli.iono_from : cli.iono_from.substr(name + 1);
  }
  options.program = "morvelin " MORVELIN_VERSION;
  const std::size_t slash = output_base.find_last_of("/\\");
  options.fallback_name = slash == std::string::npos ? output_base : output_base.substr(slash + 1);
  if (Status applied = ApplyRinexOutputOptions(cli.output, options); !applied.Ok()) return applied;
  return options;
}

Result<std::unique_ptr<morvelin::ConversionSink>> MakeRinexSinkFor(const RinexCliOptions& cli,
                                                                   const std::string& output_base,
                                                                   RinexOutputs* outputs, OutputSet* set) {
  if (cli.version.empty()) return std::unique_ptr<morvelin::ConversionSink>();
  const Result<RinexOptions> options = ToRinexOptions(cli, output_base);
  if (!options.Ok()) return options.Status();
  return MakeRinexSink(*options, DirectoryOf(output_base), outputs, set);
}

}  // namespace morvelin::cli
