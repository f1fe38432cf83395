// What every decoder is handed (the current record's input, the decoding
// state, the conversion's events) and the interface it reports through.
#pragma once

#include <string_view>

#include "framing/record.h"
#include "morvelin/events.h"
#include "records/decode_state.h"

namespace morvelin {

// What a decoder reports. The conversion implements it: it hands each event
// to its sinks, counts what the host is told, and forwards messages to its
// observer. A decoder opens no file and calls no host callback.
class DecodeEvents {
 public:
  virtual void Epoch(const EpochEvent& event) = 0;
  virtual void Ephemeris(const EphemerisEvent& event) = 0;
  virtual void Ionosphere(const IonosphereEvent& event) = 0;
  virtual void StationLine(const StationLineEvent& event) = 0;
  virtual void SummaryText(std::string_view text) = 0;
  virtual void EventMarker(const EventMarkerEvent& event) = 0;
  // A message formatted for the host (it becomes the last message text).
  virtual void Message(double time, std::string_view text) = 0;
  // A fixed text handed to the host as it is.
  virtual void ConstantMessage(double time, const char* text) = 0;
  virtual void ReceiverTime(double time) = 0;

 protected:
  ~DecodeEvents() = default;
};

struct DecodeContext {
  RecordInput& input;
  DecodeState& state;
  DecodeEvents& events;
};

}  // namespace morvelin
