// morvelin-make-sample: writes the sample raw data file.
//
//   morvelin-make-sample OUTPUT.dat [EPOCHS]
#include <cstdio>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "sample_generator.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes a small deterministic raw data file: a static occupation with its position, station "
               "name, receiver type, antenna height, station entries, an event marker, broadcast ephemerides "
               "and one epoch a second of eight dual-frequency satellites.",
               "morvelin-make-sample"};
  std::string output;
  int epochs = 300;
  app.add_option("OUTPUT", output, "The raw data file to write (replaced when it exists)")->required();
  app.add_option("EPOCHS", epochs, "One-second epochs to write (default 300)")->check(CLI::Range(0, 1000000));
  CLI11_PARSE(app, argc, argv);

  const std::vector<std::uint8_t> out = morvelin::tools::MakeSampleRawData(epochs);
  std::FILE* file = std::fopen(output.c_str(), "wb");
  if (file == nullptr || std::fwrite(out.data(), 1, out.size(), file) != out.size() || std::fclose(file) != 0) {
    std::fprintf(stderr, "%s: cannot be written\n", output.c_str());
    return 1;
  }
  std::printf("%s: %zu bytes, %d epochs\n", output.c_str(), out.size(), epochs);
  return 0;
}
