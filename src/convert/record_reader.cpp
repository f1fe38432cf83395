#include "convert/record_reader.h"

#include "base/message.h"
#include "base/text_builder.h"
#include "framing/record_layouts.h"
#include "morvelin/converter.h"
#include "records/ephemeris.h"
#include "records/event.h"
#include "records/ionosphere.h"
#include "records/measurement.h"
#include "records/station.h"

namespace morvelin {

namespace {

constexpr int kProgressEvery = 50;

void ReportInvalidType(RecordLoop& loop, int type) {
  const ReaderState& reader = loop.reader;
  FixedText<kMessageSize> text;
  text.Str("Error(").Int(reader.record_counter + 1).Str("): Invalid record type (").Int(type);
  text.Str(") encountered--Previous record type is ").Int(reader.previous_record_type);
  loop.decode.events.Message(reader.type7_time, text.View());
}

}  // namespace

PassResult ReadNextRecord(RecordLoop& loop) {
  ByteSource& input = loop.source;
  ReaderState& reader = loop.reader;

  // Bytes other than the preamble are dropped, all of a run at once.
  reader.skipped_bytes += input.SkipUntil(kPreamble);
  const int first = input.ReadByte();
  if (first < 0) return PassResult::kEndOfInput;

  std::uint8_t fields[kHeaderSize - 1];
  if (input.Read(fields, sizeof fields) < sizeof fields) {
    reader.cut_header = true;
    return PassResult::kEndOfInput;
  }
  RecordHeader header{fields[0], fields[1], fields[2], 0};
  const int type = header.type;

  const RecordFamily family = type < kRecordTypeCount ? kRecordTypes[type].family : RecordFamily::kSkipped;
  // Dropped types are not counted and their payloads are not skipped: the
  // next pass scans them for a preamble.
  if (family == RecordFamily::kDropped) return PassResult::kContinue;

  if (family == RecordFamily::kTimeTag) {
    // Read before the rest is skipped. A cut record keeps the previous time
    // rather than half of a double.
    std::uint8_t time_bytes[TimeTagRecord::kReadSize];
    TimeTagRecord time_tag;
    const std::size_t arrived = input.Read(time_bytes, sizeof time_bytes);
    if (ReadFields<TimeTagRecord>(std::span<const std::uint8_t>(time_bytes, arrived), time_tag))
      reader.type7_time = time_tag.seconds;
  }

  if (type >= kRecordTypeCount) {
    ++reader.invalid_types;
    ReportInvalidType(loop, type);
    return PassResult::kContinue;
  }

  ++reader.record_counter;
  if (reader.record_counter % kProgressEvery == 0 && loop.observer != nullptr)
    loop.observer->OnProgress(input.Position(), loop.input_length);
  reader.previous_record_type = type;
  header.default_skip = ExpectedRecordLength(type) - kHeaderSize;

  DecodeContext& context = loop.decode;
  std::int32_t skip = header.default_skip;
  switch (family) {
    case RecordFamily::kStation:
      skip = DecodeStationRecord(context, header);
      break;
    case RecordFamily::kMeasurement:
      DecodeMeasurementRecord(context);
      skip = 0;
      break;
    case RecordFamily::kEvent:
      skip = DecodeEventRecord(context, header);
      break;
    case RecordFamily::kEphemeris:
      skip = DecodeEphemerisRecord(context);
      break;
    case RecordFamily::kIonosphere:
      skip = DecodeIonosphereRecord(context, header);
      break;
    case RecordFamily::kSelfFramed:
      // No decoder and no expected length: the header's own length frames
      // them. A length below 4 leaves nothing to skip, and the next pass
      // scans on from the byte after the header.
      skip = DeclaredPayloadLength(header);
      break;
    default:
      break;  // no decoder (or the time tag, read above): the table's length frames the record
  }
  // The reader only ever moves forward: a record never leads back onto its
  // own header (which would be read again for ever).
  if (skip > 0) input.Skip(skip);
  return PassResult::kContinue;
}

}  // namespace morvelin
