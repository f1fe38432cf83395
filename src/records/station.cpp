#include "records/station.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <span>

#include "base/byte_reader.h"
#include "base/message.h"
#include "base/text.h"
#include "base/text_builder.h"
#include "morvelin/util.h"

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

constexpr std::size_t kPointNameWidth = 8;
constexpr std::size_t kHeightTextWidth = 8;
constexpr std::int32_t kDescriptionLimit = 32;
constexpr std::string_view kEnteredAtStart = "Entered at start";

std::int32_t NotNegative(std::int32_t count) { return count > 0 ? count : 0; }

Payload ReadWhole(DecodeContext& context, std::int32_t length) {
  if (length <= 0) return {};
  Payload payload = context.input.ReadPayload(static_cast<std::size_t>(length));
  if (payload.size() < static_cast<std::size_t>(length)) context.state.measurement.cut_record = true;
  return payload;
}

Payload ReadPart(DecodeContext& context, std::size_t count) {
  Payload payload = context.input.ReadPayload(count);
  if (payload.size() < count) context.state.measurement.cut_record = true;
  return payload;
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

std::int32_t DecodeStationName(DecodeContext& context, const RecordHeader& header) {
  const std::int32_t length = DeclaredPayloadLength(header);
  if (length == kNamePayload) {
    Payload payload = ReadPart(context, kNameRead);
    if (payload.size() == kNameRead) {
      char* name = context.state.station.station_name;
      std::memcpy(name, payload.data() + kNameOffset, kNameLength);
      name[kNameLength] = '\0';
    }
    return kNamePayload - static_cast<std::int32_t>(kNameRead);
  }
  if (length == kReceiverPayload) {
    Payload payload = ReadPart(context, kReceiverRead);
    if (payload.size() == kReceiverRead) context.state.station.receiver_type = payload[kReceiverTypeOffset];
    return kReceiverPayload - static_cast<std::int32_t>(kReceiverRead);
  }
  return length;
}

std::int32_t DecodeAntennaHeight(DecodeContext& context, const RecordHeader& header) {
  if (header.length != kAntennaRecordLength) return NotNegative(header.default_skip);
  Payload payload = ReadPart(context, kAntennaRecordLength - kHeaderSize);
  // A record cut by the end of the input still counts when its height is whole.
  if (payload.size() < kAntennaHeightOffset + sizeof(double)) return 0;
  const double height = LoadDouble(payload, kAntennaHeightOffset);
  context.state.station.logged_antenna_height = height;
  FixedText<kMessageSize> text;
  text.Str("Antenna height is ").Fixed(height, 3).Str(" metres");
  context.events.Message(kNoTime, text.View());
  return 0;
}

std::int32_t DecodeAntennaNotice(DecodeContext& context, const RecordHeader& header) {
  if (header.length != kNoticeRecordLength) return NotNegative(header.default_skip);
  constexpr std::size_t kPayloadSize = kNoticeRecordLength - kHeaderSize;
  Payload payload = ReadPart(context, kPayloadSize);
  if (payload.size() < kPayloadSize) return 0;
  // Name and Mode would follow the antenna height, beyond this record's
  // 20 bytes: the record does not carry them, so both show as 0.
  constexpr std::int32_t kName = 0;
  constexpr std::int32_t kMode = 0;
  FixedText<kMessageSize> text;
  text.Str("Record 8 detected, AntHght: ").Fixed(LoadDouble(payload, kNoticeHeightOffset), 3);
  text.Str(", Name: ").Int(kName).Str(", Time: ").Fixed(LoadDouble(payload, kNoticeTimeOffset) * 0.001, 1);
  text.Str(", Mode: ").Int(kMode);
  context.events.Message(kNoTime, text.View());
  return 0;
}

std::int32_t DecodePosition(DecodeContext& context, const RecordHeader& header) {
  Payload payload = ReadWhole(context, DeclaredPayloadLength(header));
  // All four fields or none: a short record leaves the position as it was.
  ByteReader reader(payload);
  double latitude = 0.0, longitude = 0.0, height = 0.0, clock_offset = 0.0;
  if (!(reader.F64(latitude) && reader.F64(longitude) && reader.F64(height) && reader.F64(clock_offset)))
    return 0;
  StationState& station = context.state.station;
  station.latitude = latitude * kDegreesPerUnit;
  station.longitude = longitude * kDegreesPerUnit;
  station.height = height;
  station.clock_offset = clock_offset;
  return 0;
}

// A time mark of fewer than 6 characters (a short record) is a bad one.
void DecodeTimeMark(DecodeContext& context, Payload payload) {
  double time = 0.0;
  if (payload.size() >= kTimeMarkWidth && ParseLeadingNumber(TextUntilNul(payload.first(kTimeMarkWidth)), &time)) {
    context.state.station.current_time = time;
    return;
  }
  context.events.Message(kNoTime, "Bad time mark detected on record 16-sub-5");
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

void DecodeHeightEntry(DecodeContext& context, Payload payload, std::int32_t length) {
  const double time = context.state.station.current_time;
  StationField name = Covered(payload, kHeightEntryNameOffset, kPointNameWidth);
  StationField height = Whole(payload, 0, kHeightTextWidth);
  if (length > kHeightEntryDescriptionOffset) {
    ReportStationLine(context, name, height, Covered(payload, kHeightEntryDescriptionOffset, RecordInput::kPayloadCapacity),
                     length - kHeightEntryDescriptionOffset, time);
    return;
  }
  FixedText<kDescriptionLimit + 1> type_text;
  if (payload.size() > kHeightTypeOffset) HeightTypeText(type_text, payload[kHeightTypeOffset]);
  auto type_bytes = std::span(reinterpret_cast<const std::uint8_t*>(type_text.CStr()), type_text.Size());
  ReportStationLine(context, name, height, type_bytes, static_cast<std::int32_t>(type_text.Size()), time);
}

std::int32_t DecodeStationSubRecord(DecodeContext& context, const RecordHeader& header) {
  const std::int32_t length = DeclaredPayloadLength(header);
  // A length byte below 4 is an empty payload: sub-records 1 and 2 still
  // act, the others find none of their fields.
  Payload payload = ReadWhole(context, length);
  const double time = context.state.station.current_time;
  switch (header.sub_record) {
    case kStatic:
      context.state.station.motion_mode = kStaticMode;
      break;
    case kKinematic:
      context.state.station.motion_mode = kKinematicMode;
      break;
    case kStationEntry:
      ReportStationLine(context, Covered(payload, kEntryNameOffset, kPointNameWidth),
                       Whole(payload, kEntryHeightOffset, kHeightTextWidth),
                       Covered(payload, 0, kLongDescriptionWidth), kLongDescriptionWidth, time);
      break;
    case kTimeMark:
    case kTimeMarkAgain:
      DecodeTimeMark(context, payload);
      break;
    case kDescribedPoint:
      ReportStationLine(context, Covered(payload, kDescribedPointNameOffset, kPointNameWidth), std::nullopt,
                       Covered(payload, 0, kLongDescriptionWidth), kLongDescriptionWidth, time);
      break;
    case kHeightEntry:
      DecodeHeightEntry(context, payload, length);
      break;
    case kPointDescription:
      ReportStationLine(context, Covered(payload, 0, kPointNameWidth), std::nullopt,
                       Covered(payload, kPointDescriptionOffset, RecordInput::kPayloadCapacity),
                       length - kPointDescriptionOffset, time);
      break;
    case kHeightOnly:
      ReportStationLine(context, std::nullopt, Whole(payload, 0, kHeightTextWidth), std::nullopt, 0, time);
      break;
    default:
      break;
  }
  return 0;
}

}  // namespace

std::int32_t DecodeStationRecord(DecodeContext& context, const RecordHeader& header) {
  switch (header.type) {
    case record_type::kStationName:
      return DecodeStationName(context, header);
    case record_type::kAntennaHeight:
      return DecodeAntennaHeight(context, header);
    case record_type::kAntennaNotice:
      return DecodeAntennaNotice(context, header);
    case record_type::kPosition:
      return DecodePosition(context, header);
    case record_type::kLongSkipped: {
      // Type 12 spends header byte 2 on the high byte of a 16-bit length.
      const std::int32_t length = header.length | (header.sub_record << 8);
      return NotNegative(length - kHeaderSize);
    }
    case record_type::kStationText:
      return DeclaredPayloadLength(header);
    case record_type::kStationEntries:
      return DecodeStationSubRecord(context, header);
    default:
      return NotNegative(header.default_skip);
  }
}

void ReportStationLine(DecodeContext& context, StationField point_name, StationField height_text,
                       StationField description, std::int32_t count, double time) {
  StationState& station = context.state.station;
  if (height_text) {
    double height = 0.0;
    if (!ParseLeadingNumber(TextUntilNul(*height_text).substr(0, kHeightTextWidth), &height)) height = 0.0;
    station.current_antenna_height = height;
    station.antenna_height_time = time;
  }
  if (!point_name) return;

  std::string_view text;
  if (description) {
    count = std::clamp(count, 0, kDescriptionLimit);
    text = TextUntilNul(description->first(std::min(static_cast<std::size_t>(count), description->size())));
  }
  context.events.StationLine(StationLineEvent{time, TextUntilNul(*point_name).substr(0, kPointNameWidth),
                                              station.current_antenna_height, text});
}

void ReportEndOfRunStationLines(DecodeContext& context) {
  const StationState& station = context.state.station;
  const std::string_view name = TextUntilNul(station.station_name);
  if (station.current_antenna_height != 0.0)
    context.events.StationLine(
        StationLineEvent{station.antenna_height_time, name, station.current_antenna_height, kEnteredAtStart});
  if (station.logged_antenna_height != 0.0)
    context.events.StationLine(StationLineEvent{0.0, name, station.logged_antenna_height, kEnteredAtStart});
}

SessionInfo CurrentSession(const StationState& station) {
  SessionInfo session;
  session.station_name = TextUntilNul(station.station_name);
  session.receiver_type = station.receiver_type;
  session.motion_mode = station.motion_mode;
  session.latitude = station.latitude;
  session.longitude = station.longitude;
  session.height = station.height;
  session.antenna_height =
      station.current_antenna_height != 0.0 ? station.current_antenna_height : station.logged_antenna_height;
  return session;
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
  double exact_seconds = 0.0;
  AngleToDms(std::fmod(angle, kFullCircle), *degrees, *minutes, exact_seconds);
  auto secs = static_cast<float>(exact_seconds);
  // The carry goes into the minutes only; 60 minutes may stand.
  if (secs == 60.0f) {
    secs = 0.0f;
    ++*minutes;
  }
  *seconds = secs;
}

}  // namespace morvelin
