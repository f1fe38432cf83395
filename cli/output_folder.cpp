// The folder of -d, made when a run has something to put in it.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "commands.h"

namespace morvelin::cli {

bool MakeOutputFolder(const std::string& folder, const std::vector<std::string>& inputs) {
  namespace fs = std::filesystem;
  std::error_code error;
  bool any_input = false;
  for (const std::string& input : inputs) any_input = any_input || input == "-" || fs::exists(input, error);
  // Every input missing: each is refused on its own, and no folder is left
  // behind by a run that writes nothing.
  if (!any_input) return true;
  fs::create_directories(folder, error);
  if (fs::is_directory(folder, error)) return true;
  std::fprintf(stderr, "morvelin: cannot use %s as the output folder: %s\n", folder.c_str(),
               error ? error.message().c_str() : "not a folder");
  return false;
}

}  // namespace morvelin::cli
