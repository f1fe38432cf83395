// `morvelin rinex`: RINEX observation and navigation files from a
// measurement file (.gpb) and ephemeris file (.epp) converted earlier.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "morvelin/rinex.h"
#include "rinex_options.h"

namespace morvelin::cli {

namespace {

struct Settings {
  std::string gpb, epp, directory;
  RinexCliOptions rinex;
};

int RunRinex(Settings& settings) {
  if (const Status loaded = LoadIonosphere(settings.rinex); !loaded.Ok()) {
    std::cerr << loaded.Message() << (loaded.Reason().empty() ? "" : " (" + loaded.Reason() + ")") << '\n';
    return kExitFailed;
  }
  std::string base = settings.gpb;
  if (const std::size_t dot = base.rfind('.');
      dot != std::string::npos && base.find_first_of("/\\", dot) == std::string::npos)
    base.resize(dot);
  const Result<RinexOptions> options = ToRinexOptions(settings.rinex, base);
  if (!options.Ok()) {
    std::cerr << options.Message() << '\n';
    return kExitUsage;
  }
  const std::string directory = settings.directory.empty() ? DirectoryOf(base) : settings.directory;
  if (!settings.directory.empty() && !MakeOutputFolder(directory, {settings.gpb})) return kExitFailed;
  RinexOutputs outputs;
  if (const Status written = WriteRinexFromGpb(settings.gpb, settings.epp, *options, directory, &outputs);
      !written.Ok()) {
    std::cerr << written.Message() << '\n';
    return outputs.date_refused ? kExitUsage : kExitFailed;
  }
  for (const std::string& warning : outputs.warnings) std::cerr << warning << '\n';
  for (const RinexObservationFile& file : outputs.observation_files)
    std::cout << file.path << "  (" << file.epochs << " epochs)\n";
  if (!outputs.navigation_path.empty())
    std::cout << outputs.navigation_path << "  (" << outputs.ephemerides << " ephemerides)\n";
  return kExitDone;
}

}  // namespace

void AddRinexCommand(CLI::App& app, int& exit_code) {
  auto* command = app.add_subcommand(
      "rinex",
      "Write RINEX observation and navigation files from an earlier conversion's FILE.gpb and FILE.epp "
      "(default: the .epp beside the .gpb). The .sum and .sta files beside them give the station name, "
      "receiver type, L1 code type and antenna height. Neither file holds the broadcast ionosphere: "
      "--iono-from gives it. -d creates its folder when missing. Exit code 0 done; 1 stopped (standard output "
      "closed); 2 refused or failed (--iono-from unreadable or without the parameters included); 64 usage error "
      "(a --date that is not the first epoch's included).");
  auto settings = std::make_shared<Settings>();
  command->add_option("FILE.gpb", settings->gpb, "Measurement file")->required();
  command->add_option("FILE.epp", settings->epp, "Ephemeris file");
  command->add_option("--version", settings->rinex.version, "RINEX version: 3.04 (default) or 2.11")
      ->check(RinexVersionCheck());
  AddLongNamesOption(*command, settings->rinex.long_names, settings->rinex.version, "RINEX 3 long file names");
  AddFirstEpochOptions(*command, settings->rinex.week, settings->rinex.date);
  AddNavigationOptions(*command, settings->rinex);
  AddRinexOutputOptions(*command, settings->rinex.output);
  command->add_option("-d,--directory", settings->directory,
                      "Folder for the RINEX files, created if missing (default: beside the .gpb)");
  command->callback([settings, &exit_code] { exit_code = FinishStandardOutput(RunRinex(*settings)); });
}

}  // namespace morvelin::cli
