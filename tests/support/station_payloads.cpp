#include "support/station_payloads.h"

namespace morvelin::test {

Bytes StationNamePayload(std::string_view name) {
  return PayloadBuilder().Zeros(2).Text(name, 5).Zeros(87).Get();
}

Bytes ReceiverTypePayload(std::uint8_t code) { return PayloadBuilder().Zeros(36).U8(code).Zeros(23).Get(); }

Bytes AntennaHeightPayload(double metres) { return PayloadBuilder().Zeros(4).F64(metres).Zeros(148).Get(); }

Bytes AntennaNoticePayload(double time_ms, double metres) {
  return PayloadBuilder().Zeros(4).F64(time_ms).F64(metres).Get();
}

Bytes PositionPayload(double latitude_units, double longitude_units, double height, double clock_offset,
                      std::size_t extra) {
  return PayloadBuilder().F64(latitude_units).F64(longitude_units).F64(height).F64(clock_offset).Zeros(extra).Get();
}

Bytes StationEntryPayload(std::string_view description, std::string_view height_text, std::string_view name) {
  return PayloadBuilder().Text(description, 50).Text(height_text, 8).Zeros(1).Text(name, 8).Get();
}

Bytes TimeMarkPayload(std::string_view mark, std::size_t padding) {
  return PayloadBuilder().Text(mark, 6).Zeros(padding).Get();
}

Bytes DescribedPointPayload(std::string_view description, std::string_view name) {
  return PayloadBuilder().Text(description, 50).Text(name, 8).Get();
}

Bytes HeightEntryPayload(std::string_view height_text, char letter, std::string_view name,
                         std::optional<std::string_view> description) {
  PayloadBuilder p;
  p.Text(height_text, 8).U8(static_cast<std::uint8_t>(letter)).Text(name, 8).Zeros(16);
  if (description) p.Text(*description, description->size());
  return p.Get();
}

Bytes PointDescriptionPayload(std::string_view name, std::string_view description) {
  return PayloadBuilder().Text(name, 8).Zeros(16).Text(description, description.size()).Get();
}

Bytes HeightOnlyPayload(std::string_view height_text) { return PayloadBuilder().Text(height_text, 8).Get(); }

RawBuilder& StationSubRecord(RawBuilder& raw, std::uint8_t sub_record, const Bytes& payload) {
  return raw.Record(kStationSubRecordType, payload, -1, sub_record);
}

}  // namespace morvelin::test
