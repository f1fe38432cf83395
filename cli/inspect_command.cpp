#include "commands.h"

namespace morvelin::cli {

void AddInspectCommand(CLI::App&, int&) {}

}  // namespace morvelin::cli
