// `morvelin rinex`: RINEX observation and navigation files from a
// measurement file (.gpb) and ephemeris file (.epp) converted earlier.
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "morvelin/rinex.h"
#include "rinex_options.h"

namespace morvelin::cli {

void AddRinexCommand(CLI::App& app, int& exit_code) {
  auto* command = app.add_subcommand(
      "rinex",
      "Write RINEX observation and navigation files from an earlier conversion's FILE.gpb and FILE.epp "
      "(default: the .epp beside the .gpb). The .sum and .sta files beside them give the station name, "
      "receiver type, L1 code type and antenna height. Exit code 0 done, 2 refused or failed, 64 usage.");
  struct Settings {
    std::string gpb, epp, directory;
    RinexCliOptions rinex;
  };
  auto settings = std::make_shared<Settings>();
  command->add_option("FILE.gpb", settings->gpb, "Measurement file")->required();
  command->add_option("FILE.epp", settings->epp, "Ephemeris file");
  command->add_option("--version", settings->rinex.version, "RINEX version: 3.04 (default) or 2.11");
  command->add_flag("--long-names", settings->rinex.long_names, "RINEX 3 long file names");
  auto* week = command->add_option("--week", settings->rinex.week, "GPS week of the first epoch");
  command->add_option("--date", settings->rinex.date, "Date of the first epoch, YYYY-MM-DD")->excludes(week);
  command->add_option("-d,--directory", settings->directory, "Folder for the RINEX files (default: beside the .gpb)");
  command->callback([settings, &exit_code] {
    std::string base = settings->gpb;
    if (const std::size_t dot = base.rfind('.');
        dot != std::string::npos && base.find_first_of("/\\", dot) == std::string::npos)
      base.resize(dot);
    RinexOptions options;
    std::string error;
    if (!ToRinexOptions(settings->rinex, base, options, error)) {
      std::cerr << error << '\n';
      exit_code = kExitUsage;
      return;
    }
    const std::string directory = settings->directory.empty() ? DirectoryOf(base) : settings->directory;
    RinexOutputs outputs;
    const int result = WriteRinexFromGpb(settings->gpb, settings->epp, options, directory, &outputs, error);
    if (result != 0) {
      std::cerr << error << '\n';
      exit_code = kExitFailed;
      return;
    }
    if (!outputs.observation_path.empty())
      std::cout << outputs.observation_path << "  (" << outputs.epochs << " epochs)\n";
    if (!outputs.navigation_path.empty())
      std::cout << outputs.navigation_path << "  (" << outputs.ephemerides << " ephemerides)\n";
  });
}

}  // namespace morvelin::cli
