// Any bytes as a raw data file: the conversion must end (no hang), read
// nothing outside its buffers, and leave every file closed.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "morvelin/morvelin.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/morvelin-fuzz-" + std::to_string(getpid()) + ".dat";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  AutoDetect(path.c_str());
  MorvelinRequest request;
  std::memset(&request, 0, sizeof request);
  request.size = MORVELIN_REQUEST_SIZE;
  request.options_size = MORVELIN_OPTIONS_SIZE;
  request.options.kinematic = size > 0 ? data[0] & 1u : 0u;
  std::memcpy(request.path, path.c_str(), path.size() + 1);
  MorvelinCallbacks callbacks;
  std::memset(&callbacks, 0, sizeof callbacks);
  callbacks.size = MORVELIN_CALLBACKS_SIZE;
  int32_t result = ConvertFile(&request, &callbacks, 0);
  if (result != 0) __builtin_trap();  // a raw data file of any content converts
  return 0;
}
