// What every decoder is handed: the current record's input, the decoding
// state and the events interface of the conversion.
#pragma once

#include "events/decode_events.h"
#include "framing/record.h"
#include "records/decode_state.h"

namespace morvelin {

struct DecodeContext {
  RecordInput& input;
  DecodeState& state;
  DecodeEvents& events;
};

}  // namespace morvelin
