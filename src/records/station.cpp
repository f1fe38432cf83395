#include "records/station.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <span>

#include "base/message.h"
#include "base/text.h"
#include "base/text_builder.h"
#include "framing/record_layouts.h"
#include "morvelin/util.h"

namespace morvelin {

namespace {

using Payload = std::span<const std::uint8_t>;

constexpr double kNoTime = -1.0;

constexpr double kDegreesPerUnit = 180.0;  // the position's latitude and longitude

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
StationField Covered(Payload payload, Field field) { return Covered(payload, field.offset, field.size); }
// A description that runs to the payload's end.
StationField Covered(Payload payload, Tail tail) {
  return Covered(payload, tail.offset, RecordInput::kPayloadCapacity);
}

// A height text is a number only when all of it is there: a cut "12345678"
// would otherwise read as a different height. A missing one is no height.
StationField Whole(Payload payload, Field field) {
  if (field.offset > payload.size() || payload.size() - field.offset < field.size) return std::nullopt;
  return payload.subspan(field.offset, field.size);
}

// A record read up to the end of its last field; the rest is skipped.
template <typename Layout>
bool ReadUpToLastField(DecodeContext& context, typename Layout::Value& value) {
  return ReadFields<Layout>(ReadPart(context, FieldsEnd<Layout>()), value);
}
template <typename Layout>
constexpr auto kLeftAfterLastField = static_cast<std::int32_t>(Layout::kSize - FieldsEnd<Layout>());

std::int32_t DecodeStationName(DecodeContext& context, const RecordHeader& header) {
  const std::int32_t length = DeclaredPayloadLength(header);
  if (length == static_cast<std::int32_t>(StationNameRecord::kSize)) {
    StationNameRecord record;
    if (ReadUpToLastField<StationNameRecord>(context, record)) {
      char* name = context.state.station.station_name;
      std::memcpy(name, record.name.data(), record.name.size());
      name[record.name.size()] = '\0';
    }
    return kLeftAfterLastField<StationNameRecord>;
  }
  if (length == static_cast<std::int32_t>(ReceiverTypeRecord::kSize)) {
    ReceiverTypeRecord record;
    if (ReadUpToLastField<ReceiverTypeRecord>(context, record))
      context.state.station.receiver_type = record.receiver_type;
    return kLeftAfterLastField<ReceiverTypeRecord>;
  }
  return length;
}

std::int32_t DecodeAntennaHeight(DecodeContext& context, const RecordHeader& header) {
  if (header.length != AntennaHeightRecord::kSize + kHeaderSize) return NotNegative(header.default_skip);
  AntennaHeightRecord record;
  // A record cut by the end of the input still counts when its height is whole.
  if (!ReadFields<AntennaHeightRecord>(ReadPart(context, AntennaHeightRecord::kSize), record)) return 0;
  context.state.station.logged_antenna_height = record.height;
  FixedText<kMessageSize> text;
  text.Str("Antenna height is ").Fixed(record.height, 3).Str(" metres");
  context.events.Message(kNoTime, text.View());
  return 0;
}

std::int32_t DecodeAntennaNotice(DecodeContext& context, const RecordHeader& header) {
  if (header.length != AntennaNoticeRecord::kSize + kHeaderSize) return NotNegative(header.default_skip);
  AntennaNoticeRecord record;
  if (!ReadFields<AntennaNoticeRecord>(ReadPart(context, AntennaNoticeRecord::kSize), record)) return 0;
  // Name and Mode would follow the antenna height, beyond this record's
  // 20 bytes: the record does not carry them, so both show as 0.
  constexpr std::int32_t kName = 0;
  constexpr std::int32_t kMode = 0;
  FixedText<kMessageSize> text;
  text.Str("Record 8 detected, AntHght: ").Fixed(record.height, 3);
  text.Str(", Name: ").Int(kName).Str(", Time: ").Fixed(record.time_ms * 0.001, 1);
  text.Str(", Mode: ").Int(kMode);
  context.events.Message(kNoTime, text.View());
  return 0;
}

std::int32_t DecodePosition(DecodeContext& context, const RecordHeader& header) {
  Payload payload = ReadWhole(context, DeclaredPayloadLength(header));
  // All four fields or none: a short record leaves the position as it was.
  PositionRecord record;
  if (!ReadFields<PositionRecord>(payload, record)) return 0;
  StationState& station = context.state.station;
  station.latitude = record.latitude * kDegreesPerUnit;
  station.longitude = record.longitude * kDegreesPerUnit;
  station.height = record.height;
  station.clock_offset = record.clock_offset;
  return 0;
}

// A time mark of fewer than 6 characters (a short record) is a bad one.
void DecodeTimeMark(DecodeContext& context, Payload payload) {
  double time = 0.0;
  const StationField mark = Whole(payload, TimeMarkRecord::kMark);
  if (mark && ParseLeadingNumber(TextUntilNul(*mark), &time)) {
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
  using Entry = HeightEntryRecord;
  const double time = context.state.station.current_time;
  StationField name = Covered(payload, Entry::kPointName);
  StationField height = Whole(payload, Entry::kHeightText);
  constexpr auto kDescriptionOffset = static_cast<std::int32_t>(Entry::kDescription.offset);
  if (length > kDescriptionOffset) {
    ReportStationLine(context, name, height, Covered(payload, Entry::kDescription), length - kDescriptionOffset, time);
    return;
  }
  FixedText<kDescriptionLimit + 1> type_text;
  if (const StationField letter = Whole(payload, Entry::kHeightType)) HeightTypeText(type_text, (*letter)[0]);
  auto type_bytes = std::span(reinterpret_cast<const std::uint8_t*>(type_text.CStr()), type_text.Size());
  ReportStationLine(context, name, height, type_bytes, static_cast<std::int32_t>(type_text.Size()), time);
}

// Sub-records 3 and 29: a point with a long description.
template <typename Layout>
void DecodeDescribedPoint(DecodeContext& context, Payload payload, StationField height) {
  constexpr auto kWidth = static_cast<std::int32_t>(Layout::kDescription.size);
  ReportStationLine(context, Covered(payload, Layout::kPointName), height, Covered(payload, Layout::kDescription),
                    kWidth, context.state.station.current_time);
}

void DecodePointDescription(DecodeContext& context, Payload payload, std::int32_t length) {
  using Entry = PointDescriptionRecord;
  ReportStationLine(context, Covered(payload, Entry::kPointName), std::nullopt, Covered(payload, Entry::kDescription),
                    length - static_cast<std::int32_t>(Entry::kDescription.offset), context.state.station.current_time);
}

std::int32_t DecodeStationSubRecord(DecodeContext& context, const RecordHeader& header) {
  namespace sub = station_sub_record;
  const std::int32_t length = DeclaredPayloadLength(header);
  // A length byte below 4 is an empty payload: sub-records 1 and 2 still
  // act, the others find none of their fields.
  Payload payload = ReadWhole(context, length);
  switch (header.sub_record) {
    case sub::kStatic:
      context.state.station.motion_mode = kStaticMode;
      break;
    case sub::kKinematic:
      context.state.station.motion_mode = kKinematicMode;
      break;
    case sub::kStationEntry:
      DecodeDescribedPoint<StationEntryRecord>(context, payload, Whole(payload, StationEntryRecord::kHeightText));
      break;
    case sub::kTimeMark:
    case sub::kTimeMarkAgain:
      DecodeTimeMark(context, payload);
      break;
    case sub::kDescribedPoint:
      DecodeDescribedPoint<DescribedPointRecord>(context, payload, std::nullopt);
      break;
    case sub::kHeightEntry:
      DecodeHeightEntry(context, payload, length);
      break;
    case sub::kPointDescription:
      DecodePointDescription(context, payload, length);
      break;
    case sub::kHeightOnly:
      ReportStationLine(context, std::nullopt, Whole(payload, HeightOnlyRecord::kHeightText), std::nullopt, 0,
                        context.state.station.current_time);
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
