// Payloads of the station, antenna and position records (types 5, 6, 8,
// 11, 16), each field at its offset, for RawBuilder::Record.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "support/raw_builder.h"

namespace morvelin::test {

inline constexpr std::uint8_t kStationNameType = 5;
inline constexpr std::uint8_t kAntennaHeightType = 6;
inline constexpr std::uint8_t kAntennaNoticeType = 8;
inline constexpr std::uint8_t kPositionType = 11;
inline constexpr std::uint8_t kLongSkipType = 12;
inline constexpr std::uint8_t kSkippedType = 15;
inline constexpr std::uint8_t kStationSubRecordType = 16;

// Type 5, 94 bytes: the station name at offset 2 (5 characters).
Bytes StationNamePayload(std::string_view name);
// Type 5, 60 bytes: the receiver type code at offset 36.
Bytes ReceiverTypePayload(std::uint8_t code);
// Type 6, 160 bytes: the antenna height (metres) at offset 4.
Bytes AntennaHeightPayload(double metres);
// Type 8, 20 bytes: the time (ms) at offset 4, the antenna height at 12.
Bytes AntennaNoticePayload(double time_ms, double metres);
// Type 11: latitude and longitude in units of 180 degrees, height, clock
// offset, then extra unused bytes.
Bytes PositionPayload(double latitude_units, double longitude_units, double height, double clock_offset,
                      std::size_t extra = 0);

// Type 16 sub-records. Texts are NUL-padded to their widths.
// Sub-record 3: description (50), height text (8), one unused byte, point name (8).
Bytes StationEntryPayload(std::string_view description, std::string_view height_text, std::string_view name);
// Sub-records 5 and 27: the 6-character time mark, then padding bytes.
Bytes TimeMarkPayload(std::string_view mark, std::size_t padding = 2);
// Sub-record 29: description (50), point name (8).
Bytes DescribedPointPayload(std::string_view description, std::string_view name);
// Sub-record 30: height text (8), height type letter, point name (8), 16
// unused bytes, then the description when given (n = 33 + its size).
Bytes HeightEntryPayload(std::string_view height_text, char letter, std::string_view name,
                         std::optional<std::string_view> description = std::nullopt);
// Sub-record 31: point name (8), 16 unused bytes, description.
Bytes PointDescriptionPayload(std::string_view name, std::string_view description);
// Sub-record 43: height text (8).
Bytes HeightOnlyPayload(std::string_view height_text);

// A type-16 record with its sub-record number.
RawBuilder& StationSubRecord(RawBuilder& raw, std::uint8_t sub_record, const Bytes& payload = {});

}  // namespace morvelin::test
