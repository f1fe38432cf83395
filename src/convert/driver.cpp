#include "convert/driver.h"

#include <cstring>

#include "convert/record_stream.h"
#include "convert/summary.h"
#include "formats/station_file.h"
#include "host/library_state.h"
#include "records/measurement.h"
#include "util/file_io.h"
#include "util/text_builder.h"

namespace morvelin {

namespace {

constexpr std::uint8_t kReceiverTypeSse = 3;
constexpr float kCreationParameter = 1.0f;
constexpr std::uint16_t kGpbBufferSize = 8192;
constexpr std::uint8_t kChannelCount = 12;
constexpr const char* kEphemerisHeader = "$EPHREC Ver6.02 MORVELIN \n";
constexpr const char* kOutputExtensions[] = {".gpb", ".epp", ".sum", ".sta"};

bool IsSeparator(char c) {
#if defined(_WIN32)
  return c == '\\';
#else
  // On Linux '/' is the platform's separator; the backslash still counts so
  // that paths written the Windows way keep their meaning.
  return c == '\\' || c == '/';
#endif
}

void FailWithPath(const char* prefix, const char* path, const char* suffix) {
  FixedText<kMessageSize> text;
  text.Str(prefix).Str(path).Str(suffix);
  SetMessage(text.View());
}

// Checks, before anything is created, that every output path fits its
// field and that no output would overwrite the input itself.
bool OutputPathsAcceptable(const char* path) {
  char candidate[MORVELIN_PATH_SIZE];
  for (const char* extension : kOutputExtensions) {
    std::memcpy(candidate, path, std::strlen(path) + 1);
    if (!ReplaceExtension(candidate, extension, sizeof candidate)) {
      FailWithPath("Error: No room for the output file extensions in the path ", path, "");
      return false;
    }
    if (std::strcmp(extension, ".gpb") == 0 && std::strlen(candidate) > kGpbPathLimit) {
      FailWithPath("Error: Output path longer than 143 characters: ", candidate, "");
      return false;
    }
    if (SameFile(path, candidate)) {
      FailWithPath("Error: Output file would overwrite the input file: ", candidate, "");
      return false;
    }
  }
  return true;
}

// Closes every file of the run, in the order measurement, summary,
// ephemeris, station, input. Returns false (message set to the first
// failure) when buffered output could not be put out.
bool CloseRunFiles(Run& run) {
  bool ok = true;
  if (run.gpb != nullptr) {
    ok = CloseMeasurementFile(run.gpb) == 0;
    run.gpb = nullptr;
  }
  for (TextFile* file : {&run.sum, &run.epp, &run.sta}) {
    if (!file->IsOpen()) continue;
    bool failed = file->Failed();
    if (!file->Close() || failed) {
      if (ok) FailWithPath("Error: Unable to write to ", file->Path(), "");
      ok = false;
    }
  }
  run.input.Close();
  return ok;
}

// A failed run: everything written so far goes to disk and every file is
// closed (none is deleted); the message explaining the failure is kept.
int FailRun(Run& run) {
  char message[kMessageSize];
  std::memcpy(message, Library().message, sizeof message);
  if (run.gpb != nullptr) FlushMeasurementFile(run.gpb);
  run.epp.Flush();
  run.sum.Flush();
  run.sta.Flush();
  CloseRunFiles(run);
  std::memcpy(Library().message, message, sizeof message);
  return -1;
}

// The first text file whose writes failed, or null.
const TextFile* FailedTextFile(const Run& run) {
  for (const TextFile* file : {&run.epp, &run.sum, &run.sta})
    if (file->Failed()) return file;
  return nullptr;
}

}  // namespace

Run& CurrentRun() {
  static Run run;
  return run;
}

bool ReplaceExtension(char* buffer, const char* extension, std::size_t buffer_size) {
  std::size_t length = std::strlen(buffer);
  std::size_t blanks = 0;
  while (buffer[blanks] == ' ') ++blanks;

  std::size_t stem = length;  // where the new extension goes
  for (std::size_t i = length; i > blanks; --i) {
    char c = buffer[i - 1];
    if (IsSeparator(c)) break;
    if (c == '.') {
      stem = i - 1;
      break;
    }
  }
  const std::size_t extension_length = std::strlen(extension);
  if (stem - blanks + extension_length + 1 > buffer_size) return false;

  std::memmove(buffer, buffer + blanks, stem - blanks);
  std::memcpy(buffer + stem - blanks, extension, extension_length + 1);
  return true;
}

int OpenRunFiles(Run& run, char* path) {
  if (!run.input.Open(path)) {
    FailWithPath("Error: File ", path, " not found");
    return 1;
  }
  if (!OutputPathsAcceptable(path)) return 1;

  ReplaceExtension(path, ".gpb");
  run.gpb = CreateMeasurementFile(path, kReceiverTypeSse, kCreationParameter, kGpbBufferSize, kChannelCount);
  if (run.gpb == nullptr) return 1;

  ReplaceExtension(path, ".epp");
  if (!run.epp.Open(path)) {
    FailWithPath("Error: File ", path, " not found ");
    return 1;
  }
  run.epp.Write(kEphemerisHeader);

  ReplaceExtension(path, ".sum");
  if (!run.sum.Open(path)) {
    FailWithPath("Error: File ", path, " not found ");
    return 1;
  }

  ReplaceExtension(path, ".sta");
  if (!run.sta.Open(path)) {
    FailWithPath("Error: File ", path, " not able to be opened");
    return 1;
  }

  ReplaceExtension(path, ".dat");
  return 0;
}

int RunConversion(char* path) {
  Run& run = CurrentRun();
  run.state = DecodeState{};
  // Counts of an earlier run must never be reported for this one, even
  // when this one fails to open its files.
  run.counts = RunCounts{};
  run.input_length = 0;

  if (OpenRunFiles(run, path) != 0) return FailRun(run);

  run.input_length = run.input.Length();
  if (run.input_length < 0) run.input_length = 0;

  while (!AbortRequested()) {
    PassResult result = ReadNextRecord(run);
    if (result == PassResult::kEndOfInput) break;
    if (result == PassResult::kEpochFailed) return FailRun(run);
    if (const TextFile* failed = FailedTextFile(run)) {
      FailWithPath("Error: Unable to write to ", failed->Path(), "");
      return FailRun(run);
    }
  }
  if (run.input.ReadFailed()) {
    FailWithPath("Error: Unable to read ", path, "");
    return FailRun(run);
  }

  WriteEndOfRunStationLines(run);
  SendProgress(run.input_length, run.input_length);
  WriteSummary(run, path);

  if (run.gpb != nullptr && FlushMeasurementFile(run.gpb) != 0) return FailRun(run);
  return CloseRunFiles(run) ? 0 : -1;
}

}  // namespace morvelin
