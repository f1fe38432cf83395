// Payloads of the station, antenna and position records (types 5, 6, 8,
// 11, 16), laid out by their layouts, for RawBuilder::Record.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "support/raw_builder.h"

namespace morvelin::test {

inline constexpr std::uint8_t kStationNameType = record_type::kStationName;
inline constexpr std::uint8_t kAntennaHeightType = record_type::kAntennaHeight;
inline constexpr std::uint8_t kAntennaNoticeType = record_type::kAntennaNotice;
inline constexpr std::uint8_t kPositionType = record_type::kPosition;
inline constexpr std::uint8_t kLongSkipType = record_type::kLongSkipped;
inline constexpr std::uint8_t kSkippedType = record_type::kStationText;
inline constexpr std::uint8_t kStationSubRecordType = record_type::kStationEntries;

// Type 5: the station name (94 bytes) or the receiver type code (60).
Bytes StationNamePayload(std::string_view name);
Bytes ReceiverTypePayload(std::uint8_t code);
// Type 6: the antenna height, metres. Type 8: time (ms) and antenna height.
Bytes AntennaHeightPayload(double metres);
Bytes AntennaNoticePayload(double time_ms, double metres);
// Type 11: latitude and longitude in units of 180 degrees, height, clock
// offset, then extra unused bytes.
Bytes PositionPayload(double latitude_units, double longitude_units, double height, double clock_offset,
                      std::size_t extra = 0);

// Type 16 sub-records. Texts are NUL-padded to their widths.
// Sub-record 3: description, height text, point name.
Bytes StationEntryPayload(std::string_view description, std::string_view height_text, std::string_view name);
// Sub-records 5 and 27: the 6-character time mark, then padding bytes.
Bytes TimeMarkPayload(std::string_view mark, std::size_t padding = 2);
// Sub-record 29: description, point name.
Bytes DescribedPointPayload(std::string_view description, std::string_view name);
// Sub-record 30: height text, height type letter, point name, then the
// description when given (n = 33 + its size).
Bytes HeightEntryPayload(std::string_view height_text, char letter, std::string_view name,
                         std::optional<std::string_view> description = std::nullopt);
// Sub-record 31: point name, description.
Bytes PointDescriptionPayload(std::string_view name, std::string_view description);
// Sub-record 43: height text.
Bytes HeightOnlyPayload(std::string_view height_text);

// A type-16 record with its sub-record number.
RawBuilder& StationSubRecord(RawBuilder& raw, std::uint8_t sub_record, const Bytes& payload = {});

}  // namespace morvelin::test
