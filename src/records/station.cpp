#include "records/station.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <span>

#include "formats/station_file.h"
#include "host/library_state.h"
#include "util/byte_reader.h"
#include "util/text_builder.h"

namespace morvelin {

namespace {

using Payload = std::span<const std::uint8_t>;

constexpr double kNoTime = -1.0;

// Record type 5: two layouts told apart by their payload length.
constexpr std::int32_t kNamePayload = 94;
constexpr std::size_t kNameRead = 7;
constexpr std::size_t kNameOffset = 2;
constexpr std::size_t kNameLength = 5;
constexpr std::int32_t kReceiverPayload = 60;
constexpr std::size_t kReceiverRead = 37;
constexpr std::size_t kReceiverTypeOffset = 36;

// Record type 6.
constexpr std::uint8_t kAntennaRecordLength = 164;
constexpr std::size_t kAntennaHeightOffset = 4;

// Record type 8.
constexpr std::uint8_t kNoticeRecordLength = 24;
constexpr std::size_t kNoticeTimeOffset = 4;
constexpr std::size_t kNoticeHeightOffset = 12;

// Record type 11.
constexpr std::size_t kPositionFields = 32;
constexpr double kDegreesPerUnit = 180.0;

// Record type 16 sub-records.
enum SubRecord : std::uint8_t {
  kStatic = 1,
  kKinematic = 2,
  kStationEntry = 3,
  kTimeMark = 5,
  kDescribedPoint = 29,
  kHeightEntry = 30,
  kPointDescription = 31,
  kTimeMarkAgain = 27,
  kHeightOnly = 43,
};
constexpr std::size_t kTimeMarkWidth = 6;
constexpr std::int32_t kLongDescriptionWidth = 50;
constexpr std::size_t kEntryHeightOffset = 50;
constexpr std::size_t kEntryNameOffset = 59;
constexpr std::size_t kDescribedPointNameOffset = 50;
constexpr std::size_t kHeightTypeOffset = 8;
constexpr std::size_t kHeightEntryNameOffset = 9;
constexpr std::int32_t kHeightEntryDescriptionOffset = 33;
constexpr std::int32_t kPointDescriptionOffset = 24;

constexpr std::int32_t kKinematicMode = 2;
constexpr std::int32_t kStaticMode = 0;


std::int32_t NotNegative(std::int32_t count) { return count > 0 ? count : 0; }

Payload ReadWhole(Run& run, std::int32_t length) {
  return length > 0 ? ReadPayload(run, static_cast<std::size_t>(length)) : Payload{};
}

// The part of a text field that the payload covers. A field that starts at
// or past the payload's end is not there at all: without its point name a
// sub-record writes no line.
StationField Covered(Payload payload, std::size_t offset, std::size_t width) {
  if (offset >= payload.size()) return std::nullopt;
  return payload.subspan(offset, std::min(width, payload.size() - offset));
}

// A height text is a number only when all of it is there: a cut "12345678"
// would otherwise read as a different height. A missing one is no height.
StationField Whole(Payload payload, std::size_t offset, std::size_t width) {
  if (offset > payload.size() || payload.size() - offset < width) return std::nullopt;
  return payload.subspan(offset, width);
}

double LoadDouble(Payload payload, std::size_t offset) { return LoadLittle<double>(payload.data() + offset); }

std::int32_t DecodeStationName(Run& run, const RecordHeader& header) {
  const std::int32_t length = DeclaredPayloadLength(header);
  if (length == kNamePayload) {
    Payload payload = ReadPayload(run, kNameRead);
    if (payload.size() == kNameRead) {
      char* name = run.state.station.station_name;
      std::memcpy(name, payload.data() + kNameOffset, kNameLength);
      name[kNameLength] = '\0';
    }
    return kNamePayload - static_cast<std::int32_t>(kNameRead);
  }
  if (length == kReceiverPayload) {
    Payload payload = ReadPayload(run, kReceiverRead);
    if (payload.size() == kReceiverRead && run.gpb != nullptr)
      run.gpb->header.receiver_type = payload[kReceiverTypeOffset];
    return kReceiverPayload - static_cast<std::int32_t>(kReceiverRead);
  }
  return length;
}

std::int32_t DecodeAntennaHeight(Run& run, const RecordHeader& header) {
  if (header.length != kAntennaRecordLength) return NotNegative(header.default_skip);
  Payload payload = ReadPayload(run, kAntennaRecordLength - kHeaderSize);
  // A record cut by the end of the input still counts when its height is whole.
  if (payload.size() < kAntennaHeightOffset + sizeof(double)) return 0;
  const double height = LoadDouble(payload, kAntennaHeightOffset);
  run.state.station.logged_antenna_height = height;
  FixedText<kMessageSize> text;
  text.Str("Antenna height is ").Fixed(height, 3).Str(" metres");
  SendMessage(kNoTime, text.View());
  return 0;
}

std::int32_t DecodeAntennaNotice(Run& run, const RecordHeader& header) {
  if (header.length != kNoticeRecordLength) return NotNegative(header.default_skip);
  constexpr std::size_t kPayloadSize = kNoticeRecordLength - kHeaderSize;
  Payload payload = ReadPayload(run, kPayloadSize);
  if (payload.size() < kPayloadSize) return 0;
  // Name and Mode would follow the antenna height, beyond this record's
  // 20 bytes: the record does not carry them, so both show as 0.
  constexpr std::int32_t kName = 0;
  constexpr std::int32_t kMode = 0;
  FixedText<kMessageSize> text;
  text.Str("Record 8 detected, AntHght: ").Fixed(LoadDouble(payload, kNoticeHeightOffset), 3);
  text.Str(", Name: ").Int(kName).Str(", Time: ").Fixed(LoadDouble(payload, kNoticeTimeOffset) * 0.001, 1);
  text.Str(", Mode: ").Int(kMode);
  SendMessage(kNoTime, text.View());
  return 0;
}

std::int32_t DecodePosition(Run& run, const RecordHeader& header) {
  Payload payload = ReadWhole(run, DeclaredPayloadLength(header));
  // All four fields or none: a short record leaves the position as it was.
  ByteReader reader(payload);
  double latitude = 0.0, longitude = 0.0, height = 0.0, clock_offset = 0.0;
  if (!(reader.F64(latitude) && reader.F64(longitude) && reader.F64(height) && reader.F64(clock_offset)))
    return 0;
  StationState& station = run.state.station;
  station.latitude = latitude * kDegreesPerUnit;
  station.longitude = longitude * kDegreesPerUnit;
  DegreesToDms(station.latitude, &station.latitude_degrees, &station.latitude_minutes, &station.latitude_seconds);
  DegreesToDms(station.longitude, &station.longitude_degrees, &station.longitude_minutes,
               &station.longitude_seconds);
  station.height = height;
  station.clock_offset = clock_offset;
  return 0;
}

// A time mark of fewer than 6 characters (a short record) is a bad one.
void DecodeTimeMark(Run& run, Payload payload) {
  double time = 0.0;
  if (payload.size() >= kTimeMarkWidth && ParseLeadingNumber(TextUntilNul(payload.first(kTimeMarkWidth)), &time)) {
    run.state.station.current_time = time;
    return;
  }
  SendMessage(kNoTime, "Bad time mark detected on record 16-sub-5");
}

// Sub-record 30's description when the record has none of its own. A NUL
// letter ends the text right there, after "See '".
void HeightTypeText(TextBuilder& text, std::uint8_t letter) {
  if (letter == 'S') {
    text.Str("Uncorrected HI");
  } else if (letter == 'V') {
    text.Str("True-vert HI");
  } else {
    text.Str("See '");
    if (letter != 0) text.Char(static_cast<char>(letter)).Str("'-antenna.ini");
  }
}

void DecodeHeightEntry(Run& run, Payload payload, std::int32_t length) {
  const double time = run.state.station.current_time;
  StationField name = Covered(payload, kHeightEntryNameOffset, kPointNameWidth);
  StationField height = Whole(payload, 0, kHeightTextWidth);
  if (length > kHeightEntryDescriptionOffset) {
    WriteStationLine(run, name, height, Covered(payload, kHeightEntryDescriptionOffset, Run::kPayloadCapacity),
                     length - kHeightEntryDescriptionOffset, time);
    return;
  }
  FixedText<kDescriptionLimit + 1> type_text;
  if (payload.size() > kHeightTypeOffset) HeightTypeText(type_text, payload[kHeightTypeOffset]);
  auto type_bytes = std::span(reinterpret_cast<const std::uint8_t*>(type_text.CStr()), type_text.Size());
  WriteStationLine(run, name, height, type_bytes, static_cast<std::int32_t>(type_text.Size()), time);
}

std::int32_t DecodeStationSubRecord(Run& run, const RecordHeader& header) {
  const std::int32_t length = DeclaredPayloadLength(header);
  // A length byte below 4 is an empty payload: sub-records 1 and 2 still
  // act, the others find none of their fields.
  Payload payload = ReadWhole(run, length);
  const double time = run.state.station.current_time;
  switch (header.sub_record) {
    case kStatic:
      Library().motion_mode = kStaticMode;
      break;
    case kKinematic:
      Library().motion_mode = kKinematicMode;
      break;
    case kStationEntry:
      WriteStationLine(run, Covered(payload, kEntryNameOffset, kPointNameWidth),
                       Whole(payload, kEntryHeightOffset, kHeightTextWidth),
                       Covered(payload, 0, kLongDescriptionWidth), kLongDescriptionWidth, time);
      break;
    case kTimeMark:
    case kTimeMarkAgain:
      DecodeTimeMark(run, payload);
      break;
    case kDescribedPoint:
      WriteStationLine(run, Covered(payload, kDescribedPointNameOffset, kPointNameWidth), std::nullopt,
                       Covered(payload, 0, kLongDescriptionWidth), kLongDescriptionWidth, time);
      break;
    case kHeightEntry:
      DecodeHeightEntry(run, payload, length);
      break;
    case kPointDescription:
      WriteStationLine(run, Covered(payload, 0, kPointNameWidth), std::nullopt,
                       Covered(payload, kPointDescriptionOffset, Run::kPayloadCapacity),
                       length - kPointDescriptionOffset, time);
      break;
    case kHeightOnly:
      WriteStationLine(run, std::nullopt, Whole(payload, 0, kHeightTextWidth), std::nullopt, 0, time);
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace

std::int32_t DecodeStationRecord(Run& run, const RecordHeader& header) {
  switch (header.type) {
    case 5:
      return DecodeStationName(run, header);
    case 6:
      return DecodeAntennaHeight(run, header);
    case 8:
      return DecodeAntennaNotice(run, header);
    case 11:
      return DecodePosition(run, header);
    case 12: {
      // Type 12 spends header byte 2 on the high byte of a 16-bit length.
      const std::int32_t length = header.length | (header.sub_record << 8);
      return NotNegative(length - kHeaderSize);
    }
    case 15:
      return DeclaredPayloadLength(header);
    case 16:
      return DecodeStationSubRecord(run, header);
    default:
      return NotNegative(header.default_skip);
  }
}

void DegreesToDms(double angle, std::int32_t* degrees, std::int32_t* minutes, float* seconds) {
  constexpr double kFullCircle = 360.0;
  // No angle of the data may reach an integer conversion out of range: the
  // whole circles are removed first (exactly, so the fraction is the same),
  // and an angle that is not a number at all gives zeros.
  if (!std::isfinite(angle)) {
    *degrees = 0;
    *minutes = 0;
    *seconds = 0.0f;
    return;
  }
  const double within_circle = std::fmod(std::fabs(angle), kFullCircle);
  auto whole = static_cast<std::int32_t>(within_circle);
  const double minutes_exact = (within_circle - whole) * 60.0;
  auto whole_minutes = static_cast<std::int32_t>(minutes_exact);
  auto secs = static_cast<float>((minutes_exact - whole_minutes) * 60.0);
  // The carry goes into the minutes only; 60 minutes may stand.
  if (secs == 60.0f) {
    secs = 0.0f;
    ++whole_minutes;
  }
  *degrees = angle < 0 ? -whole : whole;
  *minutes = whole_minutes;
  *seconds = secs;
}

}  // namespace morvelin
