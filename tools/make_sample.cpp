// morvelin-make-sample: writes the sample raw data file.
//
//   morvelin-make-sample OUTPUT.dat [EPOCHS]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sample_generator.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(stderr, "usage: morvelin-make-sample OUTPUT.dat [EPOCHS]\n"
                         "Writes a small deterministic raw data file (default 300 one-second epochs).\n");
    return argc < 2 ? 2 : 0;
  }
  const int epochs = argc == 3 ? std::atoi(argv[2]) : 300;
  if (epochs < 0 || epochs > 1000000) {
    std::fprintf(stderr, "EPOCHS must lie between 0 and 1000000\n");
    return 2;
  }
  const std::vector<std::uint8_t> out = morvelin::tools::MakeSampleRawData(epochs);
  std::FILE* file = std::fopen(argv[1], "wb");
  if (file == nullptr || std::fwrite(out.data(), 1, out.size(), file) != out.size() || std::fclose(file) != 0) {
    std::fprintf(stderr, "%s: cannot be written\n", argv[1]);
    return 1;
  }
  std::printf("%s: %zu bytes, %d epochs\n", argv[1], out.size(), epochs);
  return 0;
}
