#include "records/station.h"

namespace morvelin {

std::int32_t DecodeStationRecord(Run&, const RecordHeader& header) {
  return header.default_skip > 0 ? header.default_skip : 0;
}

void DegreesToDms(double, std::int32_t*, std::int32_t*, float*) {}

}  // namespace morvelin
