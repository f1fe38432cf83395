// The subcommands of the morvelin command-line host.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

#include "standard_output.h"

namespace morvelin::cli {

// Exit codes of the command line.
inline constexpr int kExitDone = 0;
inline constexpr int kExitStopped = 1;   // Ctrl-C, SIGTERM, SIGHUP, a closed pipe; or nothing to do
inline constexpr int kExitFailed = 2;    // a file could not be converted (or was refused)
inline constexpr int kExitDamaged = 3;   // converted, but the input was damaged
inline constexpr int kExitUsage = 64;    // the command line itself was wrong

// Each adds its subcommand to app; the callback sets exit_code.
void AddConvertCommand(CLI::App& app, int& exit_code);
void AddDetectCommand(CLI::App& app, int& exit_code);
void AddInspectCommand(CLI::App& app, int& exit_code);
void AddQcCommand(CLI::App& app, int& exit_code);
void AddTimeCommand(CLI::App& app, int& exit_code);
void AddRinexCommand(CLI::App& app, int& exit_code);

// Lists the ephemerides of an .epp file, one line per block; 0 on success,
// 2 when the file cannot be read.
int PrintEphemerisFile(const std::string& path);

}  // namespace morvelin::cli
