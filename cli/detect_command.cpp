#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "morvelin/morvelin.h"
#include "standard_output.h"

namespace morvelin::cli {

namespace {

// Why a file cannot be tested at all, or empty when it can.
std::string Unreadable(const std::string& file) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(file, error);
  if (status.type() == fs::file_type::not_found) return "not found";
  if (status.type() == fs::file_type::directory) return "is a folder";
  std::FILE* in = std::fopen(file.c_str(), "rb");
  if (in == nullptr) return std::string("cannot be read (") + std::strerror(errno) + ")";
  std::fclose(in);
  return {};
}

}  // namespace

void AddDetectCommand(CLI::App& app, int& exit_code) {
  auto* command = app.add_subcommand(
      "detect",
      "Say for each file whether it is a raw data file this library converts (its name ends in DAT and "
      "its first 32000 bytes hold more than ten measurement records, none with more than 12 satellites). "
      "Exit code 0 when every file is one; 1 when one is not (or standard output was closed); 2 when a file "
      "is missing, a folder or unreadable, or standard output cannot be written.");
  auto files = std::make_shared<std::vector<std::string>>();
  command->add_option("FILE", *files, "Files to test")->required();
  command->callback([files, &exit_code] {
    for (const std::string& file : *files) {
      if (const std::string reason = Unreadable(file); !reason.empty()) {
        std::cerr << "morvelin detect: " << file << ": " << reason << '\n';
        exit_code = kExitFailed;
        continue;
      }
      const bool yes = AutoDetect(file.c_str()) == 1;
      std::cout << file << ": " << (yes ? "raw data file" : "not a raw data file") << '\n';
      if (!yes && exit_code == kExitDone) exit_code = kExitAnswerNo;
    }
    exit_code = FinishStandardOutput(exit_code);
  });
}

}  // namespace morvelin::cli
