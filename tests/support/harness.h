// What a test needs to act as the host: a scratch directory, file helpers,
// and a conversion through the five exported functions that records every
// message and progress call.
#pragma once

#include <cstdint>
#include <ostream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "morvelin/morvelin.h"
#include "support/raw_builder.h"

namespace morvelin::test {

// A fresh directory, removed with its content at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  // path_ + separator + name
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

Bytes ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);  // bytes as they are on disk
bool FileExists(const std::string& path);
void WriteBytes(const std::string& path, const Bytes& bytes);

// The platform's line end in the text files: "\r\n" on Windows, "\n" on Linux.
std::string LineEnds(const std::string& text_with_lf);

struct Message {
  double time;
  std::string text;
  bool operator==(const Message&) const = default;
};

struct Conversion {
  int32_t result = 0;
  int32_t counts[4] = {0, 0, 0, 0};  // epochs, ephemerides, station lines, events
  std::string error_text;            // GetErrString afterwards
  std::string path_after;            // the request's path field afterwards
  std::vector<Message> messages;
  std::vector<std::pair<int32_t, int32_t>> progress;
};

struct ConvertOptions {
  uint32_t kinematic = 0;
  uint32_t station_text_option = 0;
  bool message_callback = true;
  bool progress_callback = true;
  // Called inside every progress call with its 1-based number (to Abort, say).
  std::function<void(int call)> on_progress;
  std::function<void(int call)> on_message;
};

// ConvertFile on path, as a host calls it.
Conversion ConvertAsHost(const std::string& path, const ConvertOptions& options = {});

// The .gpb bytes with the creation stamp (bytes 8-19) and the two slots
// (168-171, 174-177) blanked, for byte-for-byte comparison.
Bytes WithoutGpbStamp(Bytes gpb);

#if !defined(_WIN32)
// A shell command's exit code and what it printed on standard output.
struct CommandOutcome {
  int exit_code;  // -1 when it did not exit normally
  std::string output;
};
CommandOutcome RunCommand(const std::string& command_line);
// The built `morvelin` command (beside the test executables' folder).
std::string CliPath();
#endif

// Epochs in a measurement file read back whole, or -1 when it is damaged.
int EpochsIn(const std::string& path);

// Replaces the extension as the library does (for naming expected outputs).
std::string WithExtension(const std::string& path, const std::string& extension);

}  // namespace morvelin::test

namespace morvelin::test {
// Readable failure output for messages.
inline void PrintTo(const Message& message, std::ostream* out) { *out << '{' << message.time << ", \"" << message.text << "\"}"; }
}  // namespace morvelin::test
