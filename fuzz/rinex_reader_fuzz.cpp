// Any bytes as RINEX for the import: the observation file, and after a NUL
// byte a navigation file; the first byte's low bit asks for --lenient. The
// records the import writes go through the converter (no files written), so
// a value of any size reaches the decoders. A refusal names the file, line
// and column of what it refuses; nothing is read outside a line.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "import/rinex_import.h"
#include "morvelin/converter.h"

using namespace morvelin;

namespace {

bool Placed(const Status& status) {
  const std::string& text = status.Message();
  return text.rfind("memory.obs:", 0) == 0 || text.rfind("memory.nav:", 0) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool lenient = (data[0] & 1) != 0;
  const std::string_view all(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::size_t split = all.find('\0');
  // Copies of their own, so that a read past either is caught.
  const std::string observation(all.substr(0, split));
  const std::string navigation(split == std::string_view::npos ? std::string_view() : all.substr(split + 1));

  import::RinexImport source;
  const Status opened = source.OpenMemory(observation, navigation, lenient);
  if (!opened.Ok()) {
    MORVELIN_FUZZ_CHECK(Placed(opened));
    return 0;
  }
  ConversionRequest request;
  std::int64_t total = 0;
  request.input = GeneratedInput{[&](std::uint8_t* out, std::size_t room) {
                                   const std::int64_t got = source.Read(out, room);
                                   MORVELIN_FUZZ_CHECK(got >= -1 && got <= static_cast<std::int64_t>(room));
                                   if (got > 0) total += got;
                                   return got;
                                 },
                                 "memory.obs"};
  request.host_name = source.HostName();
  request.host_files = false;
  const ConversionOutcome outcome = Convert(request);
  MORVELIN_FUZZ_CHECK(source.Failure().Ok() || Placed(source.Failure()));
  MORVELIN_FUZZ_CHECK(source.Failure().Ok() == (outcome.result == ConversionResult::kDone));
  MORVELIN_FUZZ_CHECK(!outcome.damage.Any() || outcome.damage.skipped_bytes == 0);
  const import::ImportCounts counts = source.Counts();
  MORVELIN_FUZZ_CHECK(counts.left_out >= 0 && counts.epochs >= 0 && total >= 0);
  return 0;
}
