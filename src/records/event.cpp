#include "records/event.h"

#include <span>
#include <string_view>

#include "base/message.h"
#include "base/text_builder.h"
#include "framing/record_layouts.h"

namespace morvelin {

namespace {

namespace sub = event_sub_record;

constexpr double kMillisecondsPerSecond = 1000.0;
// The longest block: a time of any size printed in full (over 300 digits
// for a damaged record), or a comment of up to 245 bytes, and the labels.
constexpr std::size_t kBlockSize = 1024;

void Heading(TextBuilder& block, int sub_record, std::string_view kind) {
  block.Str("EVENT MARKER ").Int(sub_record).Str(": (").Str(kind).Str(")\n");
}

// An event with an ID and a time (every known sub-record but 1 and 3).
// False when the payload does not hold both.
template <typename Layout>
bool FormatMarkedEvent(std::span<const std::uint8_t> payload, int heading, std::string_view kind,
                       std::string_view id_label, int decimals, TextBuilder& block, EventMarkerEvent& marker) {
  typename Layout::Value record;
  if (!ReadFields<Layout>(payload, record)) return false;
  marker.id = record.id;
  marker.has_time = true;
  marker.time = record.time_ms / kMillisecondsPerSecond;
  Heading(block, heading, kind);
  block.Str(id_label).Int(record.id).Str("\n    GPS_TIME: ").Fixed(marker.time, decimals);
  return true;
}

bool FormatTimeAdjustment(std::span<const std::uint8_t> payload, TextBuilder& block, EventMarkerEvent& marker) {
  TimeAdjustmentRecord record;
  if (!ReadFields<TimeAdjustmentRecord>(payload, record)) return false;
  Heading(block, sub::kTimeAdjustment, "RECEIVER TIME ADJUSTMENT");
  marker.has_time = true;
  marker.time = record.time_ms / kMillisecondsPerSecond;
  block.Str("    ADJUSTMENT: ").Int(record.adjustment);
  block.Str("\n    GPS_TIME: ").Fixed(record.time_ms / kMillisecondsPerSecond, 3);
  return true;
}

// The comment ends 4 bytes before the end of the declared payload, so it
// needs the whole payload, trailer included; a record too short to hold
// its trailer, or cut by the end of the file, is not a comment.
bool FormatComment(std::span<const std::uint8_t> payload, std::size_t declared_size, TextBuilder& block,
                   EventMarkerEvent& marker) {
  CommentRecord record;
  if (declared_size < CommentRecord::kComment.trailer || payload.size() < declared_size) return false;
  if (!ReadFields<CommentRecord>(payload, record)) return false;
  const std::string_view comment = record.comment.substr(0, record.comment.find('\0'));
  Heading(block, sub::kExternalComment, "EXTERNAL COMMENT");
  marker.id = record.id;
  marker.comment = comment;
  block.Str("    MARK ID: ").Int(record.id).Str("\n    COMMENT: ").Str(comment);
  return true;
}

// Writes the block of a known sub-record into block. False, with nothing
// to write, when the payload that arrived does not cover the fields the
// sub-record reads.
bool FormatEvent(std::uint8_t sub_record, std::span<const std::uint8_t> payload, std::size_t declared_size,
                 TextBuilder& block, EventMarkerEvent& marker) {
  marker.sub_record = sub_record;
  bool known = false;
  switch (sub_record) {
    case sub::kExternalEvent:
      known = FormatMarkedEvent<MarkedEventRecord>(payload, sub_record, "EXTERNAL EVENT", "    MARKER ID: ", 5, block,
                                                   marker);
      break;
    case sub::kTimeAdjustment:
      known = FormatTimeAdjustment(payload, block, marker);
      break;
    case sub::kManualEvent:
      known =
          FormatMarkedEvent<MarkedEventRecord>(payload, sub_record, "MANUAL EVENT", "    MARK ID: ", 5, block, marker);
      break;
    case sub::kExternalComment:
      known = FormatComment(payload, declared_size, block, marker);
      break;
    case sub::kRs232Event:
      known =
          FormatMarkedEvent<MarkedEventRecord>(payload, sub_record, "RS232 EVENT", "    MARK ID: ", 3, block, marker);
      break;
    case sub::kExternalEventSecondForm:
      // This form reports itself as marker 0, like the first form.
      known = FormatMarkedEvent<SecondFormEventRecord>(payload, sub::kExternalEvent, "EXTERNAL EVENT",
                                                       "    MARKER ID: ", 6, block, marker);
      break;
    default:
      break;
  }
  if (known) block.Str("\n\n");
  return known;
}

bool IsKnown(std::uint8_t sub_record) {
  return sub_record <= sub::kRs232Event || sub_record == sub::kExternalEventSecondForm;
}

// Time adjustments and comments are not events of the count.
bool CountsAsEvent(std::uint8_t sub_record) {
  return sub_record != sub::kTimeAdjustment && sub_record != sub::kExternalComment;
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
