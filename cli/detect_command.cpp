#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "morvelin/morvelin.h"
#include "standard_output.h"

namespace morvelin::cli {

void AddDetectCommand(CLI::App& app, int& exit_code) {
  auto* command = app.add_subcommand(
      "detect",
      "Say for each file whether it is a raw data file this library converts (its name ends in DAT and "
      "its first 32000 bytes hold more than ten measurement records, none with more than 12 satellites). "
      "Exit code 0 when every file is one, 1 otherwise, 2 when standard output cannot be written.");
  auto files = std::make_shared<std::vector<std::string>>();
  command->add_option("FILE", *files, "Files to test")->required();
  command->callback([files, &exit_code] {
    for (const std::string& file : *files) {
      bool yes = AutoDetect(file.c_str()) == 1;
      std::cout << file << ": " << (yes ? "raw data file" : "not a raw data file") << '\n';
      if (!yes) exit_code = 1;
    }
    exit_code = FinishStandardOutput(exit_code);
  });
}

}  // namespace morvelin::cli
