#include "records/ionosphere.h"

#include <span>

#include "framing/record_layouts.h"

namespace morvelin {

std::int32_t DecodeIonosphereRecord(DecodeContext& context, const RecordHeader& header) {
  // The header's length frames the record. A length below the header's own
  // 4 bytes declares no payload: the reader scans on from the byte after
  // the header.
  const auto declared = static_cast<std::size_t>(DeclaredPayloadLength(header));
  const std::span<const std::uint8_t> payload = context.input.ReadPayload(declared);
  // Cut by the end of the input: not a record that was read whole. (The
  // reader never counted a cut type-20 record as damage; it still does not.)
  if (payload.size() < declared) return 0;

  IonosphereEvent event;
  event.payload_length = static_cast<std::int32_t>(declared);
  IonosphereRecord record;
  if (declared == IonosphereRecord::kSize && ReadFields<IonosphereRecord>(payload, record)) {
    event.has_coefficients = true;
    for (std::size_t i = 0; i < record.alpha.size(); ++i) {
      event.alpha[i] = record.alpha[i];
      event.beta[i] = record.beta[i];
    }
  }
  context.events.Ionosphere(event);
  return 0;
}

}  // namespace morvelin
