// Measurement file: create, append epochs, flush, close.
#include "formats/gpb_writer.h"

#include <cstddef>
#include <cstring>
#include <ctime>
#include <new>

#include "base/file_io.h"
#include "base/message.h"
#include "base/text.h"
#include "base/text_builder.h"

namespace morvelin {

namespace {

constexpr float kFormatConstant = 1.01f;
// Each record starts with its own size, stamped over the record's first bytes.
static_assert(offsetof(EpochRecord, record_size) == 0 && offsetof(ObservationRecord, record_size) == 0);
constexpr std::size_t kMaxWrittenObservations = 32;

void Fail(std::string& failure, std::string_view text) {
  failure.assign(text.substr(0, kMessageSize - 1));
}

void StampCreationTime(GpbHeader& header) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  header.creation_month = static_cast<std::int16_t>(local.tm_mon);
  header.creation_day = static_cast<std::int16_t>(local.tm_mday);
  header.creation_year = static_cast<std::int16_t>(local.tm_year);
  header.creation_hour = static_cast<std::int16_t>(local.tm_hour);
  header.creation_minute = static_cast<std::int16_t>(local.tm_min);
  header.creation_second = static_cast<std::int16_t>(local.tm_sec);
}

void FailDiskFull(const MeasurementFile& file, double epoch_time, std::string& failure) {
  FixedText<kMessageSize> text;
  text.Str("Error: Unable to write to ").Str(TextUntilNul(file.header.file_name)).Str(" (disk full). Epoch ");
  text.Fixed(epoch_time, 1);
  Fail(failure, text.View());
}

// The public functions report through the library's message text.
template <typename Result>
Result Reported(Result result, bool failed, const std::string& failure) {
  if (failed) SetLibraryMessage(failure);
  return result;
}

}  // namespace

MeasurementFile* CreateGpb(const char* path, const char* header_name, std::uint8_t receiver_type,
                           float creation_parameter, std::uint16_t buffer_size, std::uint8_t channel_count,
                           std::string& failure, bool caller_buffers) {
  std::unique_ptr<MeasurementFile> file(new (std::nothrow) MeasurementFile);
  if (!file) {
    Fail(failure, "Error: Not enough memory in header");
    return nullptr;
  }
  // A name that does not fit the header's file-name field would be stored
  // cut, naming another file: refuse it before anything is created.
  if (std::strlen(header_name) > kGpbPathLimit) {
    failure = PathMessage("Error: Path too long for the measurement file (143 characters at most): ", header_name,
                 "");
    return nullptr;
  }
  GpbHeader& header = file->header;
  header.header_size = kGpbHeaderSize;
  header.format_constant = kFormatConstant;
  header.receiver_type = receiver_type;
  header.channel_count = channel_count;
  header.creation_parameter = creation_parameter;
  header.buffer_size = static_cast<std::int16_t>(buffer_size);
  std::memcpy(header.file_name, header_name, std::strlen(header_name) + 1);
  StampCreationTime(header);

  file->stream = OpenForWriting(path, true);
  if (file->stream == nullptr) {
    failure = PathMessage("Error: Unable to open ", path, " for writing");
    return nullptr;
  }
  if (caller_buffers) {
    std::setvbuf(file->stream, nullptr, _IONBF, 0);
  } else if (buffer_size != 0) {
    file->buffer.reset(new (std::nothrow) char[buffer_size]);
    if (!file->buffer) {
      std::fclose(file->stream);
      Fail(failure, "Error: Not enough memory in buffer");
      return nullptr;
    }
    if (std::setvbuf(file->stream, file->buffer.get(), _IOFBF, buffer_size) != 0) {
      std::fclose(file->stream);
      Fail(failure, "Error: Unable to initialize file buffer");
      return nullptr;
    }
  }
  if (std::fwrite(&header, sizeof header, 1, file->stream) != 1) {
    std::fclose(file->stream);
    failure = PathMessage("Error: Unable to write to ", path, "");
    return nullptr;
  }
  return file.release();
}

bool WriteGpbEpoch(MeasurementFile& file, const EpochRecord& epoch, std::span<const ObservationRecord> observations,
                   std::string& failure) {
  const int count = epoch.measurement_count;
  if (count > file.header.channel_count || static_cast<std::size_t>(count) > observations.size()) {
    FixedText<kMessageSize> text;
    text.Str("Error: Epoch ").Fixed(epoch.epoch_time, 1).Str(" has ").Int(count).Str(" measurements ");
    text.Int(file.header.channel_count).Str(" channels in ").Str(TextUntilNul(file.header.file_name));
    Fail(failure, text.View());
    return false;
  }
  EpochRecord stamped = epoch;
  stamped.record_size = kEpochRecordSize;
  if (std::fwrite(&stamped, sizeof stamped, 1, file.stream) != 1) {
    FailDiskFull(file, epoch.epoch_time, failure);
    return false;
  }
  if (count == 0) return true;
  ObservationRecord records[kMaxWrittenObservations];
  std::size_t written = 0;
  while (written < static_cast<std::size_t>(count)) {
    std::size_t chunk = static_cast<std::size_t>(count) - written;
    if (chunk > kMaxWrittenObservations) chunk = kMaxWrittenObservations;
    for (std::size_t i = 0; i < chunk; ++i) {
      records[i] = observations[written + i];
      records[i].record_size = kObservationRecordSize;
    }
    if (std::fwrite(records, sizeof records[0], chunk, file.stream) != chunk) {
      FailDiskFull(file, epoch.epoch_time, failure);
      return false;
    }
    written += chunk;
  }
  return true;
}

bool AppendGpbEpoch(BufferedWriter& out, const MeasurementFile& file, const EpochRecord& epoch,
                    std::span<const ObservationRecord> observations, std::string& failure) {
  const int count = epoch.measurement_count;
  if (count > file.header.channel_count || static_cast<std::size_t>(count) > observations.size() ||
      count > kEpochChannels) {
    FixedText<kMessageSize> text;
    text.Str("Error: Epoch ").Fixed(epoch.epoch_time, 1).Str(" has ").Int(count).Str(" measurements ");
    text.Int(file.header.channel_count).Str(" channels in ").Str(TextUntilNul(file.header.file_name));
    Fail(failure, text.View());
    return false;
  }
  // The epoch and its observations as one run of bytes, written in place,
  // each record's size stamped in its first two bytes.
  const std::size_t size = sizeof(EpochRecord) + static_cast<std::size_t>(count) * sizeof(ObservationRecord);
  unsigned char* bytes = out.Append(size);
  if (bytes == nullptr) {
    FailDiskFull(file, epoch.epoch_time, failure);
    return false;
  }
  std::memcpy(bytes, &epoch, sizeof epoch);
  std::memcpy(bytes, &kEpochRecordSize, sizeof kEpochRecordSize);
  bytes += sizeof epoch;
  std::memcpy(bytes, observations.data(), static_cast<std::size_t>(count) * sizeof(ObservationRecord));
  for (int i = 0; i < count; ++i, bytes += sizeof(ObservationRecord))
    std::memcpy(bytes, &kObservationRecordSize, sizeof kObservationRecordSize);
  return true;
}

bool FlushGpb(MeasurementFile& file, std::string& failure) {
  if (file.stream == nullptr) return true;
  if (std::fflush(file.stream) != 0 || std::ferror(file.stream) != 0) {
    failure = PathMessage("Error: Unable to write to ", file.header.file_name, "");
    return false;
  }
  return true;
}

bool CloseGpb(MeasurementFile* file, std::string& failure) {
  if (file == nullptr || file->header.header_size != kGpbHeaderSize) return true;
  bool ok = true;
  if (file->stream != nullptr) {
    const bool failed = std::ferror(file->stream) != 0;
    if (std::fclose(file->stream) != 0 || failed) {
      failure = PathMessage("Error: Unable to write to ", file->header.file_name, "");
      ok = false;
    }
    file->stream = nullptr;
  }
  delete file;  // gives back the buffer with the handle
  return ok;
}

MeasurementFile* CreateMeasurementFile(const char* path, std::uint8_t receiver_type, float creation_parameter,
                                       std::uint16_t buffer_size, std::uint8_t channel_count) {
  std::string failure;
  MeasurementFile* file = CreateGpb(path, path, receiver_type, creation_parameter, buffer_size, channel_count, failure);
  return Reported(file, file == nullptr, failure);
}

int WriteMeasurementEpoch(MeasurementFile* file, EpochRecord* epoch, ObservationRecord* observations) {
  // The caller's records carry their sizes afterwards, as they do on disk.
  if (epoch->measurement_count <= file->header.channel_count) {
    epoch->record_size = kEpochRecordSize;
    for (int i = 0; i < epoch->measurement_count; ++i) observations[i].record_size = kObservationRecordSize;
  }
  std::string failure;
  const std::span<const ObservationRecord> records(observations, epoch->measurement_count);
  const bool ok = WriteGpbEpoch(*file, *epoch, records, failure);
  return Reported(ok ? 0 : 1, !ok, failure);
}

int FlushMeasurementFile(MeasurementFile* file) {
  if (file == nullptr) return 0;
  std::string failure;
  const bool ok = FlushGpb(*file, failure);
  return Reported(ok ? 0 : 1, !ok, failure);
}

int CloseMeasurementFile(MeasurementFile* file) {
  std::string failure;
  const bool ok = CloseGpb(file, failure);
  return Reported(ok ? 0 : 1, !ok, failure);
}

}  // namespace morvelin
