// The record stream reader: frames the raw data file record by record and
// hands each record to the decoder of its family. Damaged stretches are
// passed over byte by byte until the next preamble.
#pragma once

#include <cstdint>

#include "framing/byte_source.h"
#include "records/decoder.h"

namespace morvelin {

class ConversionObserver;

struct ReaderState {
  std::int32_t record_counter = 0;         // records accepted so far
  std::int32_t previous_record_type = 99;  // 99 until the first record
  double type7_time = -1.0;                // time argument of the invalid-type message
  std::int64_t skipped_bytes = 0;          // bytes passed over between records
  std::int32_t invalid_types = 0;
  bool cut_header = false;                 // the input ended inside a record header
};

struct RecordLoop {
  ByteSource& source;
  DecodeContext& decode;
  ReaderState& reader;
  ConversionObserver* observer;  // may be null
  std::int64_t input_length;
};

enum class PassResult {
  kEndOfInput,  // no further record: leave the loop
  kContinue,    // a byte was dropped or a record handled
};

// One pass of the reader: finds, checks, counts and decodes one record (or
// drops one byte), then skips what the decoder left unread.
PassResult ReadNextRecord(RecordLoop& loop);

}  // namespace morvelin
