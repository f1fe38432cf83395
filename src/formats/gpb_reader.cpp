// Measurement file: open and check, read epoch by epoch, reopen for
// appending, search forward for a satellite.
#include <cstring>
#include <new>
#include <string_view>

#include "base/message.h"
#include "morvelin/gpb.h"
#include "base/file_io.h"
#include "base/text.h"
#include "base/text_builder.h"

namespace morvelin {

namespace {

// The search looks at no more epochs than this, and only at epochs whose time
// lies within kSearchWindowSeconds before the target.
constexpr int kSearchEpochs = 60;
constexpr double kSearchWindowSeconds = 1000.0;
// The search's own limit on observation records per epoch, independent of
// the header's channel count; its buffer holds exactly this many.
constexpr int kSearchChannels = 24;
// The header keeps the buffer size in a 16-bit signed field.
constexpr std::uint16_t kMaxBufferSize = 32767;

// Shared by every handle and holding nothing between calls: the search is
// not re-entrant, as the message buffer is not.
ObservationRecord g_search_buffer[kSearchChannels];

void FailWithName(std::string_view prefix, std::string_view name, std::string_view suffix = {}) {
  FixedText<kMessageSize> text;
  text.Str(prefix).Str(name).Str(suffix);
  SetLibraryMessage(text.View());
}

void FailPrematureEnd(const MeasurementFile& file, double epoch_time) {
  FixedText<kMessageSize> text;
  text.Str("Error: Pre-mature end of file in ").Str(TextUntilNul(file.header.file_name)).Str(" at epoch ").Fixed(epoch_time, 1);
  SetLibraryMessage(text.View());
}

// A short read leaves the end-of-file or error indicator set; the reader has
// already reported it, so clear it: closing a read handle must not take it
// for a failed write, and a file that has grown since can be read on.
bool ReadBlock(std::FILE* stream, void* data, std::size_t size) {
  if (std::fread(data, 1, size, stream) == size) return true;
  std::clearerr(stream);
  return false;
}

// Moves back over bytes this search has read; a step that would pass the
// start of the file is refused here rather than left to the platform.
bool StepBack(MeasurementFile& file, std::int64_t bytes) {
  std::int64_t position = Tell(file.stream);
  if (position < bytes || SeekRelative(file.stream, -bytes) != 0) {
    FailWithName("Error: Unable to seek in ", TextUntilNul(file.header.file_name));
    return false;
  }
  return true;
}

}  // namespace

MeasurementFile* OpenMeasurementFile(const char* path, std::uint16_t buffer_size) {
  std::unique_ptr<MeasurementFile> file(new (std::nothrow) MeasurementFile);
  if (!file) {
    SetLibraryMessage("Error: Not enough memory in header");
    return nullptr;
  }
  if (path == nullptr) path = "";
  // Every later message and the reopening for appending use the stored name;
  // a cut name would name another file.
  if (std::strlen(path) > kGpbPathLimit) {
    FailWithName("Error: Path too long for the measurement file (143 characters at most): ", path);
    return nullptr;
  }
  if (buffer_size > kMaxBufferSize) {
    SetLibraryMessage("Error: Unable to initialize file buffer");
    return nullptr;
  }
  file->stream = std::fopen(path, "rb");
  if (file->stream == nullptr) {
    FailWithName("Error: File ", path, " not found");
    return nullptr;
  }
  // From here on every failure closes the stream; the handle and its buffer
  // go with the unique_ptr.
  auto fail = [&file]() -> MeasurementFile* {
    std::fclose(file->stream);
    file->stream = nullptr;
    return nullptr;
  };
  if (buffer_size != 0) {
    file->buffer.reset(new (std::nothrow) char[buffer_size]);
    if (!file->buffer) {
      SetLibraryMessage("Error: Not enough memory vbuf alloc");
      return fail();
    }
    if (std::setvbuf(file->stream, file->buffer.get(), _IOFBF, buffer_size) != 0) {
      SetLibraryMessage("Error: Unable to initialize file buffer");
      return fail();
    }
  }
  GpbHeader& header = file->header;
  if (!ReadBlock(file->stream, &header, sizeof header)) {
    FailWithName("Error: Unable to read header from ", path);
    return fail();
  }
  if (header.header_size != kGpbHeaderSize) {
    FixedText<kMessageSize> text;
    text.Str("Error: Invalid header size in ").Str(path).Str("  Size: ").Int(header.header_size);
    text.Str("   Hsize: ").Int(kGpbHeaderSize);
    SetLibraryMessage(text.View());
    return fail();
  }
  std::memset(header.file_name, 0, sizeof header.file_name);
  std::memcpy(header.file_name, path, std::strlen(path));
  // The stream and buffer live in the handle's own members; the slots keep
  // no stale bytes from the disk.
  std::memset(header.stream_slot, 0, sizeof header.stream_slot);
  std::memset(header.buffer_slot, 0, sizeof header.buffer_slot);
  header.buffer_size = static_cast<std::int16_t>(buffer_size);
  return file.release();
}

int ReadMeasurementEpoch(MeasurementFile* file, EpochRecord* epoch, ObservationRecord* observations) {
  if (file == nullptr || file->stream == nullptr || epoch == nullptr) {
    SetLibraryMessage("Error: No open measurement file");
    return 1;
  }
  if (!ReadBlock(file->stream, epoch, sizeof *epoch)) {
    SetLibraryMessage("End of file");
    return -1;
  }
  if (epoch->record_size != kEpochRecordSize) {
    FailWithName("Error: Bad position record in ", TextUntilNul(file->header.file_name));
    return 1;
  }
  const int count = epoch->measurement_count;
  if (count > file->header.channel_count) {
    FixedText<kMessageSize> text;
    text.Str("Error: Epoch ").Fixed(epoch->epoch_time, 1).Str(" has ").Int(count).Str(" measurements ");
    text.Int(file->header.channel_count).Str(" channels in ").Str(TextUntilNul(file->header.file_name));
    SetLibraryMessage(text.View());
    return 1;
  }
  if (count == 0) return 0;
  if (observations == nullptr) {
    SetLibraryMessage("Error: No room for the measurements");
    return 1;
  }
  const auto bytes = static_cast<std::size_t>(count) * sizeof(ObservationRecord);
  if (!ReadBlock(file->stream, observations, bytes)) {
    FailPrematureEnd(*file, epoch->epoch_time);
    return 1;
  }
  for (int i = 0; i < count; ++i) {
    if (observations[i].record_size != kObservationRecordSize) {
      FailWithName("Error: Bad measurement record (1) in ", TextUntilNul(file->header.file_name));
      return 1;
    }
  }
  return 0;
}

int ReopenMeasurementFileForAppend(MeasurementFile* file) {
  if (file == nullptr || file->header.header_size != kGpbHeaderSize) {
    SetLibraryMessage("Error: No open measurement file");
    return 1;
  }
  // The append stream is opened before the read stream is closed, so that a
  // refusal leaves the handle as it was instead of with no stream at all.
  std::FILE* appending = std::fopen(file->header.file_name, "ab");
  if (appending == nullptr) {
    FailWithName("Error: Unable to append to ", TextUntilNul(file->header.file_name));
    return 1;
  }
  if (file->stream != nullptr) std::fclose(file->stream);
  file->stream = appending;
  const int result = file->buffer
                         ? std::setvbuf(appending, file->buffer.get(), _IOFBF,
                                        static_cast<std::size_t>(static_cast<std::uint16_t>(file->header.buffer_size)))
                         : std::setvbuf(appending, nullptr, _IOFBF, BUFSIZ);
  if (result != 0) {
    SetLibraryMessage("Error: Unable to initialize file buffer");
    return 1;
  }
  return 0;
}

int FindSatelliteEpoch(MeasurementFile* file, std::int16_t prn, double target_time) {
  if (file == nullptr || file->stream == nullptr) {
    SetLibraryMessage("Error: No open measurement file");
    return -1;
  }
  std::int64_t total = 0;
  for (int i = 0; i < kSearchEpochs; ++i) {
    EpochRecord epoch;
    if (!ReadBlock(file->stream, &epoch, sizeof epoch)) {
      SetLibraryMessage("End of file");
      return 0;
    }
    if (epoch.record_size != kEpochRecordSize) {
      FailWithName("Error: Bad position record in searching ", TextUntilNul(file->header.file_name));
      return -1;
    }
    total += kEpochRecordSize;
    const int count = epoch.measurement_count;
    if (count > kSearchChannels) {
      FixedText<kMessageSize> text;
      text.Str("Error: Epoch ").Fixed(epoch.epoch_time, 1).Str(" has more measurements than channels in ");
      text.Str(TextUntilNul(file->header.file_name));
      SetLibraryMessage(text.View());
      return -1;
    }
    // Written so that a NaN time (target or epoch) lies outside the window
    // and ends the search instead of matching everything.
    const double ahead = target_time - epoch.epoch_time;
    if (!(ahead >= 0.0 && ahead <= kSearchWindowSeconds)) break;
    if (count == 0) continue;
    const std::int64_t block = static_cast<std::int64_t>(count) * kObservationRecordSize;
    total += block;
    if (!ReadBlock(file->stream, g_search_buffer, static_cast<std::size_t>(block))) {
      FailPrematureEnd(*file, epoch.epoch_time);
      return -1;
    }
    for (int j = 0; j < count; ++j) {
      const ObservationRecord& observation = g_search_buffer[j];
      if (observation.record_size != kObservationRecordSize) {
        FailWithName("Error: Bad measurement record (2) in ", TextUntilNul(file->header.file_name));
        return -1;
      }
      // -0.0 == 0.0, so either sign of zero means no observation.
      if (observation.prn == prn && observation.l1_pseudorange != 0.0) {
        if (!StepBack(*file, block + kEpochRecordSize)) return -1;
        return i + 1;
      }
    }
  }
  if (!StepBack(*file, total)) return -1;
  return 0;
}

}  // namespace morvelin
