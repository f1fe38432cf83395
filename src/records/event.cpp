#include "records/event.h"

#include <span>
#include <string_view>

#include "base/message.h"
#include "base/byte_reader.h"
#include "base/text_builder.h"

namespace morvelin {

namespace {

// Sub-record numbers of the event record.
enum EventSubRecord : std::uint8_t {
  kExternalEvent = 0,
  kTimeAdjustment = 1,
  kManualEvent = 2,
  kExternalComment = 3,
  kRs232Event = 4,
  kExternalEventSecondForm = 7,
};

constexpr double kMillisecondsPerSecond = 1000.0;
// Every comment record ends with 4 bytes that are not part of the text.
constexpr std::size_t kCommentTrailerSize = 4;
constexpr std::size_t kCommentOffset = 2;
// The longest block: a time of any size printed in full (over 300 digits
// for a damaged record), or a comment of up to 245 bytes, and the labels.
constexpr std::size_t kBlockSize = 1024;

struct MarkedTime {
  std::uint16_t id = 0;
  double seconds = 0.0;
};

// ID then time in milliseconds (sub-records 0, 2 and 4). False when the
// payload does not hold both.
bool ReadIdAndTime(ByteReader& in, MarkedTime& out) {
  double milliseconds = 0.0;
  if (!in.U16(out.id) || !in.F64(milliseconds)) return false;
  out.seconds = milliseconds / kMillisecondsPerSecond;
  return true;
}

void Heading(TextBuilder& block, int sub_record, std::string_view kind) {
  block.Str("EVENT MARKER ").Int(sub_record).Str(": (").Str(kind).Str(")\n");
}

// Writes the block of a known sub-record into block. False, with nothing
// to write, when the payload that arrived does not cover the fields the
// sub-record reads.
bool FormatEvent(std::uint8_t sub_record, std::span<const std::uint8_t> payload, std::size_t declared_size,
                 TextBuilder& block, EventMarkerEvent& marker) {
  ByteReader in(payload);
  MarkedTime marked;
  marker.sub_record = sub_record;
  switch (sub_record) {
    case kExternalEvent:
      if (!ReadIdAndTime(in, marked)) return false;
      Heading(block, sub_record, "EXTERNAL EVENT");
      block.Str("    MARKER ID: ").Int(marked.id).Str("\n    GPS_TIME: ").Fixed(marked.seconds, 5);
      break;
    case kTimeAdjustment: {
      double milliseconds = 0.0;
      std::uint16_t adjustment = 0;
      if (!in.F64(milliseconds) || !in.U16(adjustment)) return false;
      Heading(block, sub_record, "RECEIVER TIME ADJUSTMENT");
      marker.has_time = true;
      marker.time = milliseconds / kMillisecondsPerSecond;
      block.Str("    ADJUSTMENT: ").Int(adjustment);
      block.Str("\n    GPS_TIME: ").Fixed(milliseconds / kMillisecondsPerSecond, 3);
      break;
    }
    case kManualEvent:
      if (!ReadIdAndTime(in, marked)) return false;
      Heading(block, sub_record, "MANUAL EVENT");
      block.Str("    MARK ID: ").Int(marked.id).Str("\n    GPS_TIME: ").Fixed(marked.seconds, 5);
      break;
    case kExternalComment: {
      // The comment ends 4 bytes before the end of the declared payload, so
      // it needs the whole payload, trailer included; a record too short to
      // hold its trailer, or cut by the end of the file, is not a comment.
      if (declared_size < kCommentTrailerSize || payload.size() < declared_size) return false;
      if (!in.U16(marked.id)) return false;
      const std::size_t end = declared_size - kCommentTrailerSize;
      std::string_view comment;
      if (end > kCommentOffset) {
        comment = {reinterpret_cast<const char*>(payload.data()) + kCommentOffset, end - kCommentOffset};
        comment = comment.substr(0, comment.find('\0'));
      }
      Heading(block, sub_record, "EXTERNAL COMMENT");
      marker.id = marked.id;
      marker.comment = comment;
      block.Str("    MARK ID: ").Int(marked.id).Str("\n    COMMENT: ").Str(comment);
      break;
    }
    case kRs232Event:
      if (!ReadIdAndTime(in, marked)) return false;
      Heading(block, sub_record, "RS232 EVENT");
      block.Str("    MARK ID: ").Int(marked.id).Str("\n    GPS_TIME: ").Fixed(marked.seconds, 3);
      break;
    case kExternalEventSecondForm:
      if (!in.Skip(1) || !ReadIdAndTime(in, marked)) return false;
      // This form reports itself as marker 0, like the first form.
      Heading(block, kExternalEvent, "EXTERNAL EVENT");
      block.Str("    MARKER ID: ").Int(marked.id).Str("\n    GPS_TIME: ").Fixed(marked.seconds, 6);
      break;
    default:
      return false;
  }
  if (sub_record != kTimeAdjustment && sub_record != kExternalComment) {
    marker.id = marked.id;
    marker.has_time = true;
    marker.time = marked.seconds;
  }
  block.Str("\n\n");
  return true;
}

bool IsKnown(std::uint8_t sub_record) {
  return sub_record <= kRs232Event || sub_record == kExternalEventSecondForm;
}

// Time adjustments and comments are not events of the count.
bool CountsAsEvent(std::uint8_t sub_record) {
  return sub_record != kTimeAdjustment && sub_record != kExternalComment;
}

}  // namespace

std::int32_t DecodeEventRecord(DecodeContext& context, const RecordHeader& header) {
  // A length byte below the header's own 4 bytes declares no payload.
  const auto declared_size = static_cast<std::size_t>(DeclaredPayloadLength(header));
  const std::span<const std::uint8_t> payload = context.input.ReadPayload(declared_size);
  const std::uint8_t sub_record = header.sub_record;
  if (payload.size() < declared_size) context.state.measurement.cut_record = true;

  if (!IsKnown(sub_record)) {
    FixedText<kMessageSize> text;
    text.Str("Warning: Unknown subrecord ").Int(sub_record).Str(" in record 19");
    context.events.Message(context.state.measurement.end_time, text.View());
    return 0;
  }

  // A payload too short for its fields writes nothing and counts nothing:
  // a marker without its time (or a comment without its end) is no marker,
  // and missing bytes are never made up.
  FixedText<kBlockSize> block;
  EventMarkerEvent marker;
  if (!FormatEvent(sub_record, payload, declared_size, block, marker)) return 0;
  marker.counted = CountsAsEvent(sub_record);
  context.events.SummaryText(block.View());
  context.events.EventMarker(marker);
  return 0;
}

}  // namespace morvelin
