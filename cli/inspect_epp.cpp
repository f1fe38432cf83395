#include <fstream>
#include <iostream>

#include "commands.h"

namespace morvelin::cli {

int PrintEphemerisFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    std::cerr << path << ": cannot be read\n";
    return 2;
  }
  std::cout << in.rdbuf();
  return 0;
}

}  // namespace morvelin::cli
