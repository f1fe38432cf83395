#include "framing/record.h"

namespace morvelin {

namespace {

// Expected total length of each record type, header included; 0 = unknown.
constexpr std::int16_t kExpectedLength[kRecordTypeCount] = {
    82, 82, 82, 206, 0, 395, 164, 82, 24, 9, 90, 0, 0, 0, 0, 124, 0, 0, 0, 0, 0, 190,
};

}  // namespace

std::int16_t ExpectedRecordLength(int type) {
  return type >= 0 && type < kRecordTypeCount ? kExpectedLength[type] : std::int16_t{0};
}

}  // namespace morvelin
