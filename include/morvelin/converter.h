// The converter: one conversion of one raw data file, with state of its own.
//
// Convert() reads the input once and reports what its decoders find to the
// sinks: the host's four files (.gpb, .epp, .sum, .sta) unless switched off,
// then every extra sink, in that order. Conversions share nothing, so any
// number may run at once in different threads. No exception leaves it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "morvelin/events.h"
#include "morvelin/output_set.h"

namespace morvelin {

// Everything declared here is the C++ library's public interface: exported
// from libmorvelin-cxx.so, which is built with hidden visibility.
#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility push(default)
#endif

// Receives the messages and progress of a conversion, on its thread.
class ConversionObserver {
 public:
  virtual ~ConversionObserver() = default;
  // A message for the user: time is the GPS second it concerns, or -1.0.
  // constant: a fixed text the host interface hands on without keeping it
  // as its last message text. text is valid during the call.
  virtual void OnMessage(double time, const char* text, bool constant) {
    (void)time, (void)text, (void)constant;
  }
  // Bytes read so far and the input's length (0 when it cannot be known).
  virtual void OnProgress(std::int64_t position, std::int64_t length) { (void)position, (void)length; }
  // The unrounded receiver time of each measurement record read.
  virtual void OnReceiverTime(double time) { (void)time; }
};

// The raw data of a conversion is one of four kinds of input. Where the
// outputs are named after the input, and in its messages, a file goes by
// its path, the others by the name given with them.

// A raw data file named by its path.
struct FileInput {
  std::string path;
  // Read a regular file through a memory mapping instead of copying it in
  // blocks: less work per byte. Only for a program whose SIGBUS handler
  // calls RecoverMappedInputFault first, so that a file another program
  // cuts short meanwhile fails the run instead of ending the process.
  // Ignored on Windows.
  bool mapped = false;
};

// An open binary stream (standard input, say), read from where it stands
// and not closed. A null stream fails the run as a file not found.
struct StreamInput {
  std::FILE* stream = nullptr;
  std::string name;
};

// Bytes in memory, kept alive by the caller until the run returns.
struct MemoryInput {
  std::span<const std::uint8_t> bytes;
  std::string name;
};

// Bytes a program makes as they are read (the RINEX import writes the
// records a receiver would have written): read puts up to size bytes at out
// and returns how many, 0 at the end, -1 on a failure (the run then fails
// as an input that could not be read). Called on the converting thread.
struct GeneratedInput {
  std::function<std::int64_t(std::uint8_t* out, std::size_t size)> read;
  std::string name;
};

using ConversionInput = std::variant<FileInput, StreamInput, MemoryInput, GeneratedInput>;

struct ConversionRequest {
  ConversionInput input;
  // The input's name as a host passes it, usually the bare file name: the
  // summary's day is taken from its characters 5 to 7, and the .gpb header
  // stores it with ".gpb". Empty: the path of the .gpb itself.
  std::string host_name;
  // Where the outputs go, the first that is set: output_base + ".gpb" (and
  // ".epp", ".sum", ".sta"); output_dir + the host name with its extension
  // replaced; else beside the input, named from the input path as a host
  // names them (leading blanks dropped, the extension replaced).
  std::string output_base;
  std::string output_dir;
  // The plan of the run's outputs and their atomic replacement. When set,
  // the input joins it and the four host files are claimed in it before
  // the first record is read (the run is refused, with nothing written,
  // when one is an input, another output of the run or its batch, or
  // cannot be written); they are written under temporaries that the caller
  // puts into place with output_set->Commit() once every output of the run
  // is written, or removes with Discard(). Null: the files are written in
  // place, as the host interface writes them.
  OutputSet* output_set = nullptr;
  bool kinematic = false;
  bool host_files = true;  // write the four host files
  std::vector<ConversionSink*> sinks;  // further sinks, not owned
  ConversionObserver* observer = nullptr;
  // The run stops after the record in hand once this is non-zero.
  const std::atomic<std::int32_t>* abort = nullptr;
};

enum class ConversionResult : std::int32_t {
  kDone = 0,    // the input was read to its end, or the run was stopped on request
  kFailed = -1,  // a file could not be opened, created or written, or the input could not be read
};

struct ConversionCounts {
  std::int32_t epochs = 0;         // epochs written to the .gpb
  std::int32_t ephemerides = 0;    // ephemerides written to the .epp
  std::int32_t station_lines = 0;  // lines written to the .sta
  std::int32_t events = 0;         // event markers
};

// What the record reader met on its way that a receiver does not write.
struct InputDamage {
  std::int64_t skipped_bytes = 0;   // bytes passed over looking for a record
  std::int32_t invalid_types = 0;   // records of a type no receiver writes
  std::int32_t dropped_epochs = 0;  // measurement records not stored
  bool cut_record = false;          // the input ended inside a record
  bool Any() const { return skipped_bytes != 0 || invalid_types != 0 || dropped_epochs != 0 || cut_record; }
};

struct ConversionOutcome {
  ConversionResult result = ConversionResult::kDone;
  bool stopped = false;  // the abort flag ended the run early
  ConversionCounts counts;
  std::string failure;  // the host's text of a refusal or failure
  std::string reason;   // why, in the system's words ("Permission denied"), when known
  std::int32_t measurement_records = 0;
  bool saw_receiver_time = false;
  double last_receiver_time = 0.0;
  InputDamage damage;
  std::string outputs[4];  // the .gpb, .epp, .sum and .sta paths, once planned
  int failed_output = -1;  // index into outputs of the one that could not be created
};

ConversionOutcome Convert(const ConversionRequest& request);

// For the SIGBUS handler of a program that maps its inputs
// (FileInput::mapped), with the faulting address (siginfo's si_addr). True
// when it lay in an input being read by mapping, whose file lost that page: the page now reads as zeros, the run
// ends failed ("Error: Unable to read ..."), and the handler may return.
// False for any other fault. Safe to call in a signal handler; always false
// on Windows, where inputs are never mapped.
bool RecoverMappedInputFault(const void* address) noexcept;

// The four output paths (.gpb, .epp, .sum, .sta) the request would write,
// without touching the disk. False, with the host's text in failure, when
// they cannot be formed (a path without room for its extension, a .gpb
// name of more than 143 characters).
Result<std::array<std::string, 4>> PlanOutputPaths(const ConversionRequest& request);

#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility pop
#endif

}  // namespace morvelin
