// Measurement file: create, append epochs, flush, close.
#include "formats/gpb_writer.h"

#include <cerrno>
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

Status Fail(std::string_view text) { return Status::Failed(std::string(text.substr(0, kMessageSize - 1))); }

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

Status FailDiskFull(const GpbHeader& header, double epoch_time, int error) {
  FixedText<kMessageSize> text;
  text.Str("Error: Unable to write to ").Str(TextUntilNul(header.file_name)).Str(" (disk full). Epoch ");
  text.Fixed(epoch_time, 1);
  Status failed = Fail(text.View());
  return error != 0 ? Status::Failed(failed.Message(), std::strerror(error)) : failed;
}

Status EpochTooLarge(const GpbHeader& header, const EpochRecord& epoch) {
  FixedText<kMessageSize> text;
  text.Str("Error: Epoch ").Fixed(epoch.epoch_time, 1).Str(" has ").Int(epoch.measurement_count);
  text.Str(" measurements ").Int(header.channel_count).Str(" channels in ");
  text.Str(TextUntilNul(header.file_name));
  return Fail(text.View());
}

// The public functions report through the library's message text.
int Reported(const Status& status) {
  if (status.Ok()) return 0;
  SetLibraryMessage(status.Message());
  return 1;
}

}  // namespace

Result<GpbHeader> MakeGpbHeader(const char* header_name, std::uint8_t receiver_type, float creation_parameter,
                                 std::uint16_t buffer_size, std::uint8_t channel_count) {
  // A name that does not fit the header's file-name field would be stored
  // cut, naming another file: refuse it before anything is created.
  if (std::strlen(header_name) > kGpbPathLimit)
    return Status::Failed(
        PathMessage("Error: Path too long for the measurement file (143 characters at most): ", header_name, ""),
        std::strerror(ENAMETOOLONG));
  GpbHeader header{};
  header.header_size = kGpbHeaderSize;
  header.format_constant = kFormatConstant;
  header.receiver_type = receiver_type;
  header.channel_count = channel_count;
  header.creation_parameter = creation_parameter;
  header.buffer_size = static_cast<std::int16_t>(buffer_size);
  std::memcpy(header.file_name, header_name, std::strlen(header_name) + 1);
  StampCreationTime(header);
  return header;
}

Result<MeasurementFile*> CreateGpb(const char* path, const char* header_name, std::uint8_t receiver_type,
                                   float creation_parameter, std::uint16_t buffer_size, std::uint8_t channel_count) {
  std::unique_ptr<MeasurementFile> file(new (std::nothrow) MeasurementFile);
  if (!file) return Fail("Error: Not enough memory in header");
  Result<GpbHeader> header = MakeGpbHeader(header_name, receiver_type, creation_parameter, buffer_size, channel_count);
  if (!header.Ok()) return header.Status();
  file->header = *header;
  errno = 0;
  file->stream = OpenForWriting(path, true);
  if (file->stream == nullptr)
    return Status::Failed(PathMessage("Error: Unable to open ", path, " for writing"),
                          std::strerror(errno != 0 ? errno : EACCES));
  if (buffer_size != 0) {
    file->buffer.reset(new (std::nothrow) char[buffer_size]);
    if (!file->buffer) {
      std::fclose(file->stream);
      return Fail("Error: Not enough memory in buffer");
    }
    if (std::setvbuf(file->stream, file->buffer.get(), _IOFBF, buffer_size) != 0) {
      std::fclose(file->stream);
      return Fail("Error: Unable to initialize file buffer");
    }
  }
  errno = 0;
  if (std::fwrite(&file->header, sizeof file->header, 1, file->stream) != 1) {
    const int error = errno;
    std::fclose(file->stream);
    return WriteFailure(path, error);
  }
  return file.release();
}

Status WriteGpbEpoch(MeasurementFile& file, const EpochRecord& epoch,
                     std::span<const ObservationRecord> observations) {
  const int count = epoch.measurement_count;
  if (count > file.header.channel_count || static_cast<std::size_t>(count) > observations.size())
    return EpochTooLarge(file.header, epoch);
  EpochRecord stamped = epoch;
  stamped.record_size = kEpochRecordSize;
  errno = 0;
  if (std::fwrite(&stamped, sizeof stamped, 1, file.stream) != 1)
    return FailDiskFull(file.header, epoch.epoch_time, errno);
  if (count == 0) return {};
  ObservationRecord records[kMaxWrittenObservations];
  std::size_t written = 0;
  while (written < static_cast<std::size_t>(count)) {
    std::size_t chunk = static_cast<std::size_t>(count) - written;
    if (chunk > kMaxWrittenObservations) chunk = kMaxWrittenObservations;
    for (std::size_t i = 0; i < chunk; ++i) {
      records[i] = observations[written + i];
      records[i].record_size = kObservationRecordSize;
    }
    if (std::fwrite(records, sizeof records[0], chunk, file.stream) != chunk)
      return FailDiskFull(file.header, epoch.epoch_time, errno);
    written += chunk;
  }
  return {};
}

Status AppendGpbEpoch(BufferedWriter& out, const GpbHeader& header, const EpochRecord& epoch,
                      std::span<const ObservationRecord> observations) {
  const int count = epoch.measurement_count;
  if (count > header.channel_count || static_cast<std::size_t>(count) > observations.size() ||
      count > kEpochChannels)
    return EpochTooLarge(header, epoch);
  // The epoch and its observations as one run of bytes, written in place,
  // each record's size stamped in its first two bytes.
  const std::size_t size = sizeof(EpochRecord) + static_cast<std::size_t>(count) * sizeof(ObservationRecord);
  unsigned char* bytes = out.Append(size);
  if (bytes == nullptr) return FailDiskFull(header, epoch.epoch_time, out.Error());
  std::memcpy(bytes, &epoch, sizeof epoch);
  std::memcpy(bytes, &kEpochRecordSize, sizeof kEpochRecordSize);
  bytes += sizeof epoch;
  std::memcpy(bytes, observations.data(), static_cast<std::size_t>(count) * sizeof(ObservationRecord));
  for (int i = 0; i < count; ++i, bytes += sizeof(ObservationRecord))
    std::memcpy(bytes, &kObservationRecordSize, sizeof kObservationRecordSize);
  return {};
}

Status FlushGpb(MeasurementFile& file) {
  if (file.stream == nullptr) return {};
  if (std::fflush(file.stream) != 0 || std::ferror(file.stream) != 0)
    return WriteFailure(file.header.file_name, errno);
  return {};
}

Status CloseGpb(MeasurementFile* file) {
  if (file == nullptr || file->header.header_size != kGpbHeaderSize) return {};
  Status status;
  if (file->stream != nullptr) {
    const bool failed = std::ferror(file->stream) != 0;
    if (std::fclose(file->stream) != 0 || failed) status = WriteFailure(file->header.file_name, errno);
    file->stream = nullptr;
  }
  delete file;  // gives back the buffer with the handle
  return status;
}

MeasurementFile* CreateMeasurementFile(const char* path, std::uint8_t receiver_type, float creation_parameter,
                                       std::uint16_t buffer_size, std::uint8_t channel_count) {
  Result<MeasurementFile*> file = CreateGpb(path, path, receiver_type, creation_parameter, buffer_size, channel_count);
  if (file.Ok()) return *file;
  Reported(file.Status());
  return nullptr;
}

int WriteMeasurementEpoch(MeasurementFile* file, EpochRecord* epoch, ObservationRecord* observations) {
  // The caller's records carry their sizes afterwards, as they do on disk.
  if (epoch->measurement_count <= file->header.channel_count) {
    epoch->record_size = kEpochRecordSize;
    for (int i = 0; i < epoch->measurement_count; ++i) observations[i].record_size = kObservationRecordSize;
  }
  const std::span<const ObservationRecord> records(observations, epoch->measurement_count);
  return Reported(WriteGpbEpoch(*file, *epoch, records));
}

int FlushMeasurementFile(MeasurementFile* file) {
  if (file == nullptr) return 0;
  return Reported(FlushGpb(*file));
}

int CloseMeasurementFile(MeasurementFile* file) { return Reported(CloseGpb(file)); }

}  // namespace morvelin
