// Measurement file: open and check, read epoch by epoch, reopen for
// appending, search forward for a satellite.
#include <cerrno>
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

Status Failed(std::string_view text) { return Status::Failed(std::string(text)); }

Status NamedFailure(std::string_view prefix, std::string_view name, std::string_view suffix = {}) {
  FixedText<kMessageSize> text;
  text.Str(prefix).Str(name).Str(suffix);
  return Failed(text.View());
}

Status PrematureEnd(const MeasurementFile& file, double epoch_time) {
  FixedText<kMessageSize> text;
  text.Str("Error: Pre-mature end of file in ").Str(TextUntilNul(file.header.file_name)).Str(" at epoch ").Fixed(epoch_time, 1);
  return Failed(text.View());
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
Status StepBack(MeasurementFile& file, std::int64_t bytes) {
  std::int64_t position = Tell(file.stream);
  if (position < bytes || SeekRelative(file.stream, -bytes) != 0)
    return NamedFailure("Error: Unable to seek in ", TextUntilNul(file.header.file_name));
  return {};
}

}  // namespace

Result<MeasurementFile*> AdoptGpb(std::FILE* stream, const char* name, std::uint16_t buffer_size) {
  std::unique_ptr<MeasurementFile> file(new (std::nothrow) MeasurementFile);
  // From here on every failure closes the stream; the handle and its buffer
  // go with the unique_ptr, the stream before its buffer.
  auto fail = [stream, &file](Status failure) -> Status {
    std::fclose(stream);
    if (file) file->stream = nullptr;
    return failure;
  };
  if (!file) return fail(Failed("Error: Not enough memory in header"));
  if (std::strlen(name) > kGpbPathLimit)
    return fail(NamedFailure("Error: Path too long for the measurement file (143 characters at most): ", name));
  if (buffer_size > kMaxBufferSize) return fail(Failed("Error: Unable to initialize file buffer"));
  file->stream = stream;
  if (buffer_size != 0) {
    file->buffer.reset(new (std::nothrow) char[buffer_size]);
    if (!file->buffer) return fail(Failed("Error: Not enough memory vbuf alloc"));
    if (std::setvbuf(stream, file->buffer.get(), _IOFBF, buffer_size) != 0)
      return fail(Failed("Error: Unable to initialize file buffer"));
  }
  GpbHeader& header = file->header;
  if (!ReadBlock(stream, &header, sizeof header)) return fail(NamedFailure("Error: Unable to read header from ", name));
  if (header.header_size != kGpbHeaderSize) {
    FixedText<kMessageSize> text;
    text.Str("Error: Invalid header size in ").Str(name).Str("  Size: ").Int(header.header_size);
    text.Str("   Hsize: ").Int(kGpbHeaderSize);
    return fail(Failed(text.View()));
  }
  // Every later message and the reopening for appending use the stored name.
  std::memset(header.file_name, 0, sizeof header.file_name);
  std::memcpy(header.file_name, name, std::strlen(name));
  // The stream and buffer live in the handle's own members; the slots keep
  // no stale bytes from the disk.
  std::memset(header.stream_slot, 0, sizeof header.stream_slot);
  std::memset(header.buffer_slot, 0, sizeof header.buffer_slot);
  header.buffer_size = static_cast<std::int16_t>(buffer_size);
  return file.release();
}

Result<MeasurementFile*> OpenGpb(const char* path, std::uint16_t buffer_size) {
  if (path == nullptr) path = "";
  // A cut name would name another file: refused before anything is opened.
  if (std::strlen(path) > kGpbPathLimit)
    return NamedFailure("Error: Path too long for the measurement file (143 characters at most): ", path);
  if (buffer_size > kMaxBufferSize) return Failed("Error: Unable to initialize file buffer");
  errno = 0;
  std::FILE* stream = std::fopen(path, "rb");
  if (stream == nullptr)
    return Status::Failed(NamedFailure("Error: File ", path, " not found").Message(),
                          std::strerror(errno != 0 ? errno : ENOENT));
  return AdoptGpb(stream, path, buffer_size);
}

MeasurementFile* OpenMeasurementFile(const char* path, std::uint16_t buffer_size) {
  Result<MeasurementFile*> file = OpenGpb(path, buffer_size);
  if (file.Ok()) return *file;
  SetLibraryMessage(file.Message());
  return nullptr;
}

Result<bool> ReadGpbEpoch(MeasurementFile* file, EpochRecord* epoch, ObservationRecord* observations) {
  if (file == nullptr || file->stream == nullptr || epoch == nullptr) return Failed("Error: No open measurement file");
  if (!ReadBlock(file->stream, epoch, sizeof *epoch)) return false;
  if (epoch->record_size != kEpochRecordSize)
    return NamedFailure("Error: Bad position record in ", TextUntilNul(file->header.file_name));
  const int count = epoch->measurement_count;
  if (count > file->header.channel_count) {
    FixedText<kMessageSize> text;
    text.Str("Error: Epoch ").Fixed(epoch->epoch_time, 1).Str(" has ").Int(count).Str(" measurements ");
    text.Int(file->header.channel_count).Str(" channels in ").Str(TextUntilNul(file->header.file_name));
    return Failed(text.View());
  }
  if (count == 0) return true;
  if (observations == nullptr) return Failed("Error: No room for the measurements");
  const auto bytes = static_cast<std::size_t>(count) * sizeof(ObservationRecord);
  if (!ReadBlock(file->stream, observations, bytes)) return PrematureEnd(*file, epoch->epoch_time);
  for (int i = 0; i < count; ++i) {
    if (observations[i].record_size != kObservationRecordSize)
      return NamedFailure("Error: Bad measurement record (1) in ", TextUntilNul(file->header.file_name));
  }
  return true;
}

int ReadMeasurementEpoch(MeasurementFile* file, EpochRecord* epoch, ObservationRecord* observations) {
  const Result<bool> read = ReadGpbEpoch(file, epoch, observations);
  if (!read.Ok()) {
    SetLibraryMessage(read.Message());
    return 1;
  }
  if (*read) return 0;
  SetLibraryMessage("End of file");
  return -1;
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
    SetLibraryMessage(NamedFailure("Error: Unable to append to ", TextUntilNul(file->header.file_name)).Message());
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

Result<int> FindGpbSatelliteEpoch(MeasurementFile* file, std::int16_t prn, double target_time, bool* file_ended) {
  if (file_ended != nullptr) *file_ended = false;
  if (file == nullptr || file->stream == nullptr) return Failed("Error: No open measurement file");
  ObservationRecord records[kSearchChannels];
  std::int64_t total = 0;
  for (int i = 0; i < kSearchEpochs; ++i) {
    EpochRecord epoch;
    if (!ReadBlock(file->stream, &epoch, sizeof epoch)) {
      if (file_ended != nullptr) *file_ended = true;
      return 0;
    }
    if (epoch.record_size != kEpochRecordSize)
      return NamedFailure("Error: Bad position record in searching ", TextUntilNul(file->header.file_name));
    total += kEpochRecordSize;
    const int count = epoch.measurement_count;
    if (count > kSearchChannels) {
      FixedText<kMessageSize> text;
      text.Str("Error: Epoch ").Fixed(epoch.epoch_time, 1).Str(" has more measurements than channels in ");
      text.Str(TextUntilNul(file->header.file_name));
      return Failed(text.View());
    }
    // Written so that a NaN time (target or epoch) lies outside the window
    // and ends the search instead of matching everything.
    const double ahead = target_time - epoch.epoch_time;
    if (!(ahead >= 0.0 && ahead <= kSearchWindowSeconds)) break;
    if (count == 0) continue;
    const std::int64_t block = static_cast<std::int64_t>(count) * kObservationRecordSize;
    total += block;
    if (!ReadBlock(file->stream, records, static_cast<std::size_t>(block))) return PrematureEnd(*file, epoch.epoch_time);
    for (int j = 0; j < count; ++j) {
      const ObservationRecord& observation = records[j];
      if (observation.record_size != kObservationRecordSize)
        return NamedFailure("Error: Bad measurement record (2) in ", TextUntilNul(file->header.file_name));
      // -0.0 == 0.0, so either sign of zero means no observation.
      if (observation.prn == prn && observation.l1_pseudorange != 0.0) {
        if (Status back = StepBack(*file, block + kEpochRecordSize); !back.Ok()) return back;
        return i + 1;
      }
    }
  }
  if (Status back = StepBack(*file, total); !back.Ok()) return back;
  return 0;
}

int FindSatelliteEpoch(MeasurementFile* file, std::int16_t prn, double target_time) {
  bool file_ended = false;
  const Result<int> found = FindGpbSatelliteEpoch(file, prn, target_time, &file_ended);
  if (!found.Ok()) {
    SetLibraryMessage(found.Message());
    return -1;
  }
  if (file_ended) SetLibraryMessage("End of file");
  return *found;
}

}  // namespace morvelin
