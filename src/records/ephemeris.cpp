#include "records/ephemeris.h"

namespace morvelin {

std::int32_t DecodeEphemerisRecord(Run&, const RecordHeader& header) {
  if (header.type == 21) return header.default_skip;
  return header.length >= 4 ? header.length - 4 : 0;
}

}  // namespace morvelin
