#include "records/ephemeris.h"

#include <span>

#include "base/message.h"
#include "base/text_builder.h"
#include "framing/record_layouts.h"
#include "gnss/ephemeris_record.h"

namespace morvelin {

std::int32_t DecodeEphemerisRecord(DecodeContext& context) {
  // Type 21 always takes 186 bytes, whatever its length byte says. A record
  // cut by the end of the file is dropped whole (no block, no count, no
  // message): half an ephemeris is not an ephemeris, and the bytes that did
  // not arrive must not be filled from an earlier record.
  std::span<const std::uint8_t> payload = context.input.ReadPayload(EphemerisRecord::kSize);
  EphemerisRecord record;
  if (payload.size() < EphemerisRecord::kSize || !ReadFields<EphemerisRecord>(payload, record)) {
    context.state.measurement.cut_record = true;
    return 0;
  }

  const GpsEph eph = gnss::ToGpsEph(record);
  context.events.Ephemeris(EphemerisEvent{&eph, payload});

  FixedText<kMessageSize> text;
  text.Str("Ephemeris recived on PRN ").Int(eph.prn);
  context.events.Message(static_cast<double>(eph.toe), text.View());
  return 0;
}

}  // namespace morvelin
