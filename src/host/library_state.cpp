#include "host/library_state.h"

namespace morvelin {

LibraryState& Library() {
  static LibraryState state;
  return state;
}

}  // namespace morvelin
