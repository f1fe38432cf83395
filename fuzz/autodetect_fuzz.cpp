// Any bytes as a candidate file for AutoDetect, through the export a host
// calls: the answer must be the documented rule's (at least 11
// measurement-record headers in the first 32000 bytes, none before the end
// of the scan with more than 12 satellites), and the file must be closed.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "morvelin/morvelin.h"

namespace {

int ExpectedAnswer(const std::uint8_t* data, std::size_t size) {
  const std::size_t m = size < 32000 ? size : 32000;
  int count = 0;
  for (std::size_t i = 0; i + 16 < m; ++i) {
    if (data[i] != 0x74 || data[i + 3] != 17) continue;
    ++count;
    if (i + 20 < m && data[i + 20] > 12) return 0;
  }
  return count > 10 ? 1 : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = morvelin::fuzz::ScratchFile("CAND0010.dAt");
  if (!morvelin::fuzz::WriteFile(path, data, size)) return 0;
  const int descriptors = morvelin::fuzz::OpenDescriptors();
  MORVELIN_FUZZ_CHECK(AutoDetect(path.c_str()) == ExpectedAnswer(data, size));
  MORVELIN_FUZZ_CHECK(morvelin::fuzz::OpenDescriptors() == descriptors);
  return 0;
}
