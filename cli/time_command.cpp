#include "commands.h"

namespace morvelin::cli {

void AddTimeCommand(CLI::App&, int&) {}

}  // namespace morvelin::cli
