#include "support/station_payloads.h"

namespace morvelin::test {

Bytes StationNamePayload(std::string_view name) { return PayloadOf<StationNameRecord>({TextOf<5>(name)}); }

Bytes ReceiverTypePayload(std::uint8_t code) { return PayloadOf<ReceiverTypeRecord>({code}); }

Bytes AntennaHeightPayload(double metres) { return PayloadOf<AntennaHeightRecord>({metres}); }

Bytes AntennaNoticePayload(double time_ms, double metres) {
  return PayloadOf<AntennaNoticeRecord>({time_ms, metres});
}

Bytes PositionPayload(double latitude_units, double longitude_units, double height, double clock_offset,
                      std::size_t extra) {
  Bytes payload = PayloadOf<PositionRecord>({latitude_units, longitude_units, height, clock_offset});
  payload.resize(payload.size() + extra);
  return payload;
}

Bytes StationEntryPayload(std::string_view description, std::string_view height_text, std::string_view name) {
  return PayloadOf<StationEntryRecord>({TextOf<50>(description), TextOf<8>(height_text), TextOf<8>(name)});
}

Bytes TimeMarkPayload(std::string_view mark, std::size_t padding) {
  Bytes payload = PayloadOf<TimeMarkRecord>({TextOf<6>(mark)});
  payload.resize(TimeMarkRecord::kMark.size + padding);
  return payload;
}

Bytes DescribedPointPayload(std::string_view description, std::string_view name) {
  return PayloadOf<DescribedPointRecord>({TextOf<50>(description), TextOf<8>(name)});
}

Bytes HeightEntryPayload(std::string_view height_text, char letter, std::string_view name,
                         std::optional<std::string_view> description) {
  return PayloadOf<HeightEntryRecord>({TextOf<8>(height_text), letter, TextOf<8>(name), description.value_or("")});
}

Bytes PointDescriptionPayload(std::string_view name, std::string_view description) {
  return PayloadOf<PointDescriptionRecord>({TextOf<8>(name), description});
}

Bytes HeightOnlyPayload(std::string_view height_text) { return PayloadOf<HeightOnlyRecord>({TextOf<8>(height_text)}); }

RawBuilder& StationSubRecord(RawBuilder& raw, std::uint8_t sub_record, const Bytes& payload) {
  return raw.Record(kStationSubRecordType, payload, -1, sub_record);
}

}  // namespace morvelin::test
