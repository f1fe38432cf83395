// The subcommands of the morvelin command-line host.
#pragma once

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "standard_output.h"

namespace morvelin::cli {

// Exit codes of the command line, one table for every command (docs/cli.md,
// "Exit codes").
inline constexpr int kExitDone = 0;      // all that was asked was done
inline constexpr int kExitStopped = 1;   // Ctrl-C, SIGTERM, SIGHUP (convert), standard output closed by its reader
inline constexpr int kExitAnswerNo = 1;  // the answer is no: detect, a file that is not raw data; inspect, no epoch
inline constexpr int kExitFailed = 2;    // refused or failed: missing, unreadable or unfit input, an output not written
inline constexpr int kExitDamaged = 3;   // convert: converted, but the input was damaged
inline constexpr int kExitUsage = 64;    // the command line itself was wrong: no command, an unknown option, a
                                         // malformed value, options that do not go together

static_assert(kOutputFailed == kExitFailed && kOutputClosed == kExitStopped);

// Makes folder (-d) and its parents, unless every one of inputs is missing
// ("-", standard input, is never missing). False, with the reason on
// standard error, when folder cannot be made or is not a folder.
bool MakeOutputFolder(const std::string& folder, const std::vector<std::string>& inputs);

// Each adds its subcommand to app; the callback sets exit_code.
void AddConvertCommand(CLI::App& app, int& exit_code);
void AddDetectCommand(CLI::App& app, int& exit_code);
void AddInspectCommand(CLI::App& app, int& exit_code);
void AddQcCommand(CLI::App& app, int& exit_code);
void AddTimeCommand(CLI::App& app, int& exit_code);
void AddRinexCommand(CLI::App& app, int& exit_code);
void AddImportCommand(CLI::App& app, int& exit_code);

}  // namespace morvelin::cli
