#include "host/library_state.h"

#include <climits>

namespace morvelin {

LibraryState& Library() {
  static LibraryState state;
  return state;
}

void ScaleProgress(std::int64_t position, std::int64_t length, std::int32_t& scaled_position,
                   std::int32_t& scaled_length) {
  int shift = 0;
  while ((length >> shift) > INT32_MAX || (position >> shift) > INT32_MAX) ++shift;
  scaled_position = static_cast<std::int32_t>(position >> shift);
  scaled_length = static_cast<std::int32_t>(length >> shift);
}

}  // namespace morvelin
