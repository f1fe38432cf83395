#include "records/event.h"

namespace morvelin {

std::int32_t DecodeEventRecord(Run&, const RecordHeader& header) {
  return header.length >= 4 ? header.length - 4 : 0;
}

}  // namespace morvelin
