// One decoder fed from memory, with a decoding state of its own: what it
// reports is kept (station lines as the station file would hold them,
// messages, summary texts), and no file is opened.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framing/memory_source.h"
#include "framing/record.h"
#include "records/decode_state.h"
#include "records/decoder.h"
#include "support/harness.h"

namespace morvelin::test {

class DecoderHarness : public DecodeEvents {
 public:
  DecoderHarness() : input_(no_bytes_), context_{input_, state, *this} {}

  // Hands bytes to the decoder as the payload of a record whose header says
  // length_byte (payload size + 4 when -1); returns the decoder's skip.
  std::int32_t DecodeStation(std::uint8_t type, const Bytes& payload, int length_byte = -1,
                             std::uint8_t sub_record = 0);
  // Bytes the last DecodeStation read or skipped.
  std::int64_t Consumed() const { return consumed_; }
  // A context over no bytes, for what decodes none.
  DecodeContext& Context() { return context_; }
  // The station lines, with the platform's line ends, as the file holds them.
  std::string StationText() const { return LineEnds(station_text); }

  void Epoch(const EpochEvent&) override {}
  void Ephemeris(const EphemerisEvent&) override {}
  void Ionosphere(const IonosphereEvent&) override {}
  void StationLine(const StationLineEvent& event) override;
  void SummaryText(std::string_view text) override { summary_text += text; }
  void EventMarker(const EventMarkerEvent&) override {}
  void Message(double time, std::string_view text) override { messages.push_back(::morvelin::test::Message{time, std::string(text)}); }
  void ConstantMessage(double time, const char* text) override { messages.push_back(::morvelin::test::Message{time, text}); }
  void ReceiverTime(double) override {}

  DecodeState state;
  std::string station_text;
  std::int32_t station_lines = 0;
  std::string summary_text;
  std::vector<::morvelin::test::Message> messages;

 private:
  MemorySource no_bytes_{{}};
  RecordInput input_;
  DecodeContext context_;
  std::int64_t consumed_ = 0;
};

}  // namespace morvelin::test
