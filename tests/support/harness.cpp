#include "support/harness.h"

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

#include "morvelin/gpb.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace morvelin::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device device;
  std::mt19937_64 random(device());
  // MORVELIN_TEST_TMPDIR names another folder than the system's temporary
  // one, e.g. a file system in memory for the tests that make many files.
  const char* chosen = std::getenv("MORVELIN_TEST_TMPDIR");
  const fs::path base = chosen != nullptr && *chosen != '\0' ? fs::path(chosen) : fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = base / ("morvelin-test-" + std::to_string(random() % 1000000000));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code error;
  fs::remove_all(path_, error);
}

std::string TempDir::File(const std::string& name) const {
#if defined(_WIN32)
  return path_ + "\\" + name;
#else
  return path_ + "/" + name;
#endif
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path) {
  Bytes bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

bool FileExists(const std::string& path) { return fs::exists(path); }

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string LineEnds(const std::string& text) {
#if defined(_WIN32)
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
#else
  return text;
#endif
}

namespace {

struct Capture {
  Conversion* conversion = nullptr;
  const ConvertOptions* options = nullptr;
};
Capture g_capture;

void MORVELIN_CALL OnMessage(double time, const char* text) {
  g_capture.conversion->messages.push_back({time, text});
  if (g_capture.options->on_message) g_capture.options->on_message(static_cast<int>(g_capture.conversion->messages.size()));
}

void MORVELIN_CALL OnProgress(int32_t position, int32_t length) {
  g_capture.conversion->progress.emplace_back(position, length);
  if (g_capture.options->on_progress) g_capture.options->on_progress(static_cast<int>(g_capture.conversion->progress.size()));
}

}  // namespace

Conversion ConvertAsHost(const std::string& path, const ConvertOptions& options) {
  Conversion conversion;
  MorvelinRequest request;
  std::memset(&request, 0, sizeof request);
  request.size = MORVELIN_REQUEST_SIZE;
  request.options_size = MORVELIN_OPTIONS_SIZE;
  request.options.kinematic = options.kinematic;
  request.options.station_text_option = options.station_text_option;
  if (path.size() >= sizeof request.path) throw std::runtime_error("path too long for the request");
  std::memcpy(request.path, path.c_str(), path.size() + 1);
  request.epoch_count = request.ephemeris_count = request.station_line_count = request.event_count = -7;

  MorvelinCallbacks callbacks;
  std::memset(&callbacks, 0, sizeof callbacks);
  callbacks.size = MORVELIN_CALLBACKS_SIZE;
  callbacks.message = options.message_callback ? OnMessage : nullptr;
  callbacks.progress = options.progress_callback ? OnProgress : nullptr;

  g_capture = {&conversion, &options};
  conversion.result = ConvertFile(&request, &callbacks, 0);
  g_capture = {};

  conversion.counts[0] = request.epoch_count;
  conversion.counts[1] = request.ephemeris_count;
  conversion.counts[2] = request.station_line_count;
  conversion.counts[3] = request.event_count;
  char text[MORVELIN_MESSAGE_SIZE];
  GetErrString(text);
  conversion.error_text = text;
  conversion.path_after = request.path;
  return conversion;
}

Bytes WithoutGpbStamp(Bytes gpb) {
  for (std::size_t i = 8; i < 20 && i < gpb.size(); ++i) gpb[i] = 0;
  for (std::size_t i = 168; i < 178 && i < gpb.size(); ++i)
    if (i < 172 || i >= 174) gpb[i] = 0;
  return gpb;
}

std::string WithExtension(const std::string& path, const std::string& extension) {
  std::size_t dot = path.find_last_of('.');
#if defined(_WIN32)
  std::size_t separator = path.find_last_of('\\');
#else
  std::size_t separator = path.find_last_of("/\\");
#endif
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return path + extension;
  return path.substr(0, dot) + extension;
}

#if !defined(_WIN32)
CommandOutcome RunCommand(const std::string& command_line) {
  std::FILE* pipe = popen(command_line.c_str(), "r");
  if (pipe == nullptr) return {-1, ""};
  std::string output;
  char chunk[4096];
  while (std::size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, got);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::string CliPath() {
  namespace fs = std::filesystem;
  return (fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "cli" / "morvelin").string();
}
#endif

int EpochsIn(const std::string& path) {
  MeasurementFile* gpb = OpenMeasurementFile(path.c_str(), 4096);
  if (gpb == nullptr) return -1;
  EpochRecord epoch;
  ObservationRecord observations[kEpochChannels];
  int epochs = 0, result;
  while ((result = ReadMeasurementEpoch(gpb, &epoch, observations)) == 0) ++epochs;
  CloseMeasurementFile(gpb);
  return result == -1 ? epochs : -1;
}

}  // namespace morvelin::test
