// The subcommands of the morvelin command-line host.
#pragma once

#include <CLI/CLI.hpp>

namespace morvelin::cli {

// Each adds its subcommand to app; the callback sets exit_code.
void AddConvertCommand(CLI::App& app, int& exit_code);
void AddDetectCommand(CLI::App& app, int& exit_code);

}  // namespace morvelin::cli
