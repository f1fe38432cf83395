#include "support/decoder_harness.h"

#include "base/text_builder.h"
#include "formats/station_file.h"
#include "records/station.h"

namespace morvelin::test {

std::int32_t DecoderHarness::DecodeStation(std::uint8_t type, const Bytes& payload, int length_byte,
                                           std::uint8_t sub_record) {
  MemorySource source(payload);
  RecordInput input(source);
  DecodeContext context{input, state, *this};
  const int length = length_byte >= 0 ? length_byte : static_cast<int>(payload.size()) + 4;
  RecordHeader header{static_cast<std::uint8_t>(length), sub_record, type, ExpectedRecordLength(type) - kHeaderSize};
  const std::int32_t skip = DecodeStationRecord(context, header);
  consumed_ = source.Position();
  return skip;
}

void DecoderHarness::StationLine(const StationLineEvent& event) {
  FixedText<kStationLineCapacity> line;
  FormatStationLine(line, event.time, event.point_name, event.antenna_height, event.description);
  station_text += line.View();
  ++station_lines;
}

}  // namespace morvelin::test
