// Measurement file: create, append epochs, flush, close.
#include <cstring>
#include <ctime>
#include <new>

#include "host/library_state.h"
#include "morvelin/gpb.h"
#include "util/text_builder.h"

namespace morvelin {

namespace {

constexpr float kFormatConstant = 1.01f;

void FailWithPath(const char* prefix, const char* path, const char* suffix) {
  FixedText<kMessageSize> text;
  text.Str(prefix).Str(path).Str(suffix);
  SetMessage(text.View());
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

void FailDiskFull(const MeasurementFile& file, double epoch_time) {
  FixedText<kMessageSize> text;
  text.Str("Error: Unable to write to ").Str(file.header.file_name).Str(" (disk full). Epoch ");
  text.Fixed(epoch_time, 1);
  SetMessage(text.View());
}

}  // namespace

MeasurementFile* CreateMeasurementFile(const char* path, std::uint8_t receiver_type, float creation_parameter,
                                       std::uint16_t buffer_size, std::uint8_t channel_count) {
  std::unique_ptr<MeasurementFile> file(new (std::nothrow) MeasurementFile);
  if (!file) {
    SetMessage("Error: Not enough memory in header");
    return nullptr;
  }
  // A path that does not fit the header's file-name field would be stored
  // cut, naming another file: refuse it before anything is created.
  if (std::strlen(path) > kGpbPathLimit) {
    FailWithPath("Error: Path too long for the measurement file (143 characters at most): ", path, "");
    return nullptr;
  }
  GpbHeader& header = file->header;
  header.header_size = kGpbHeaderSize;
  header.format_constant = kFormatConstant;
  header.receiver_type = receiver_type;
  header.channel_count = channel_count;
  header.creation_parameter = creation_parameter;
  header.buffer_size = static_cast<std::int16_t>(buffer_size);
  std::memcpy(header.file_name, path, std::strlen(path) + 1);
  StampCreationTime(header);

  file->stream = std::fopen(path, "wb");
  if (file->stream == nullptr) {
    FailWithPath("Error: Unable to open ", path, " for writing");
    return nullptr;
  }
  if (buffer_size != 0) {
    file->buffer.reset(new (std::nothrow) char[buffer_size]);
    if (!file->buffer) {
      std::fclose(file->stream);
      SetMessage("Error: Not enough memory in buffer");
      return nullptr;
    }
    if (std::setvbuf(file->stream, file->buffer.get(), _IOFBF, buffer_size) != 0) {
      std::fclose(file->stream);
      SetMessage("Error: Unable to initialize file buffer");
      return nullptr;
    }
  }
  if (std::fwrite(&header, sizeof header, 1, file->stream) != 1) {
    std::fclose(file->stream);
    FailWithPath("Error: Unable to write to ", path, "");
    return nullptr;
  }
  return file.release();
}

int WriteMeasurementEpoch(MeasurementFile* file, EpochRecord* epoch, ObservationRecord* observations) {
  const int count = epoch->measurement_count;
  if (count > file->header.channel_count) {
    FixedText<kMessageSize> text;
    text.Str("Error: Epoch ").Fixed(epoch->epoch_time, 1).Str(" has ").Int(count).Str(" measurements ");
    text.Int(file->header.channel_count).Str(" channels in ").Str(file->header.file_name);
    SetMessage(text.View());
    return 1;
  }
  epoch->record_size = kEpochRecordSize;
  if (std::fwrite(epoch, sizeof *epoch, 1, file->stream) != 1) {
    FailDiskFull(*file, epoch->epoch_time);
    return 1;
  }
  if (count == 0) return 0;
  for (int i = 0; i < count; ++i) observations[i].record_size = kObservationRecordSize;
  if (std::fwrite(observations, sizeof *observations, static_cast<std::size_t>(count), file->stream) !=
      static_cast<std::size_t>(count)) {
    FailDiskFull(*file, epoch->epoch_time);
    return 1;
  }
  return 0;
}

int FlushMeasurementFile(MeasurementFile* file) {
  if (file == nullptr || file->stream == nullptr) return 0;
  if (std::fflush(file->stream) != 0 || std::ferror(file->stream) != 0) {
    FailWithPath("Error: Unable to write to ", file->header.file_name, "");
    return 1;
  }
  return 0;
}

int CloseMeasurementFile(MeasurementFile* file) {
  if (file == nullptr || file->header.header_size != kGpbHeaderSize) return 0;
  int result = 0;
  if (file->stream != nullptr) {
    bool failed = std::ferror(file->stream) != 0;
    if (std::fclose(file->stream) != 0 || failed) {
      FailWithPath("Error: Unable to write to ", file->header.file_name, "");
      result = 1;
    }
    file->stream = nullptr;
  }
  delete file;  // gives back the buffer with the handle
  return result;
}

}  // namespace morvelin
