// The measurement file (.gpb) library: record layouts, writer, reader.
//
// A .gpb file is one 202-byte header record, then epochs: a 68-byte epoch
// record followed by its N 44-byte observation records. Little-endian,
// packed. Every record starts with its own size as an int16 (202, 68, 44),
// stamped by the writer and checked by the reader.
//
// The host's functions report failure through their result and a text in
// the library's message buffer (GetErrString); none of them calls the host.
// They are not re-entrant, as the message buffer is shared. The C++
// functions at the end (OpenGpb, ReadGpbEpoch, ...) do the same work and
// return the failure instead: any number of files may be read at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "morvelin/status.h"

namespace morvelin {

// Everything declared here is the C++ library's public interface: exported
// from libmorvelin-cxx.so, which is built with hidden visibility.
#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility push(default)
#endif

#pragma pack(push, 1)

struct GpbHeader {
  std::int16_t header_size;  // always 202
  float format_constant;     // 1.01 (0x3F8147AE)
  std::uint8_t receiver_type;  // 1 CA-CODE, 2 SST, 3 SSE, 4 GEODETIC L1/L2
  std::uint8_t channel_count;  // largest measurement count of an epoch
  std::int16_t creation_month;   // 0-11, local time
  std::int16_t creation_day;     // 1-31
  std::int16_t creation_year;    // years since 1900
  std::int16_t creation_hour;
  std::int16_t creation_minute;
  std::int16_t creation_second;
  float creation_parameter;  // passed through unchanged
  char file_name[144];       // path given at creation, NUL-terminated
  std::uint8_t stream_slot[4];  // no information on disk (written as zeros)
  std::int16_t buffer_size;     // the writer's stream buffer, bytes; 0 = none
  std::uint8_t buffer_slot[4];  // no information on disk (written as zeros)
  std::uint8_t reserved[24];
};

struct EpochRecord {
  std::int16_t record_size;  // 68, stamped by the writer
  std::uint8_t measurement_count;
  std::uint8_t epoch_flags;  // bit 0: four or more satellites; bit 1: kinematic
  std::uint8_t reserved_1[4];
  double latitude;   // degrees
  double longitude;  // degrees
  float height;      // metres
  double epoch_time;            // GPS seconds of week, on the 0.02 s grid
  double corrected_epoch_time;  // receiver time minus clock offset, seconds
  double clock_offset;          // metres
  std::uint8_t reserved_2[16];
};

struct ObservationRecord {
  std::int16_t record_size;  // 44, stamped by the writer
  std::uint8_t prn;
  std::uint8_t lock_time;  // seconds, 0-255
  double l1_pseudorange;   // metres; 0.0 = no usable observation
  double l1_phase;         // cycles
  double l1_third;         // copied unchanged from the raw data
  double l2_pseudorange;   // metres; 0.0 = none
  double l2_phase;         // cycles; 0.0 = none
};

#pragma pack(pop)

static_assert(sizeof(GpbHeader) == 202);
static_assert(offsetof(GpbHeader, format_constant) == 2);
static_assert(offsetof(GpbHeader, receiver_type) == 6);
static_assert(offsetof(GpbHeader, channel_count) == 7);
static_assert(offsetof(GpbHeader, creation_month) == 8);
static_assert(offsetof(GpbHeader, creation_day) == 10);
static_assert(offsetof(GpbHeader, creation_year) == 12);
static_assert(offsetof(GpbHeader, creation_hour) == 14);
static_assert(offsetof(GpbHeader, creation_minute) == 16);
static_assert(offsetof(GpbHeader, creation_second) == 18);
static_assert(offsetof(GpbHeader, creation_parameter) == 20);
static_assert(offsetof(GpbHeader, file_name) == 24);
static_assert(offsetof(GpbHeader, stream_slot) == 168);
static_assert(offsetof(GpbHeader, buffer_size) == 172);
static_assert(offsetof(GpbHeader, buffer_slot) == 174);
static_assert(offsetof(GpbHeader, reserved) == 178);

static_assert(sizeof(EpochRecord) == 68);
static_assert(offsetof(EpochRecord, measurement_count) == 2);
static_assert(offsetof(EpochRecord, epoch_flags) == 3);
static_assert(offsetof(EpochRecord, reserved_1) == 4);
static_assert(offsetof(EpochRecord, latitude) == 8);
static_assert(offsetof(EpochRecord, longitude) == 16);
static_assert(offsetof(EpochRecord, height) == 24);
static_assert(offsetof(EpochRecord, epoch_time) == 28);
static_assert(offsetof(EpochRecord, corrected_epoch_time) == 36);
static_assert(offsetof(EpochRecord, clock_offset) == 44);
static_assert(offsetof(EpochRecord, reserved_2) == 52);

static_assert(sizeof(ObservationRecord) == 44);
static_assert(offsetof(ObservationRecord, prn) == 2);
static_assert(offsetof(ObservationRecord, lock_time) == 3);
static_assert(offsetof(ObservationRecord, l1_pseudorange) == 4);
static_assert(offsetof(ObservationRecord, l1_phase) == 12);
static_assert(offsetof(ObservationRecord, l1_third) == 20);
static_assert(offsetof(ObservationRecord, l2_pseudorange) == 28);
static_assert(offsetof(ObservationRecord, l2_phase) == 36);

inline constexpr std::int16_t kGpbHeaderSize = 202;
inline constexpr std::int16_t kEpochRecordSize = 68;
inline constexpr std::int16_t kObservationRecordSize = 44;
inline constexpr int kEpochChannels = 12;    // observation records in an epoch observation set
inline constexpr std::size_t kGpbPathLimit = 143;  // longest path that fits the file-name field

// The name of a header's receiver type: "CA-CODE", "SST", "SSE",
// "GEODETIC L1/L2", or "UNKNOWN" for any other value.
const char* ReceiverTypeName(std::uint8_t receiver_type);

// One epoch as a decoder hands it to the writer, laid out as in the file.
struct EpochObservationSet {
  EpochRecord epoch;
  ObservationRecord observations[kEpochChannels];
};

// An open measurement file: its header record (kept in memory for the life
// of the file), the stream and the stream buffer it owns.
struct MeasurementFile {
  GpbHeader header{};
  std::FILE* stream = nullptr;
  std::unique_ptr<char[]> buffer;
};

// Creates (or empties) the file at path and writes its header. path: at
// most 143 characters. buffer_size: bytes of the stream's own buffer, 0 for
// none. Returns the handle, or null with the reason in the message buffer.
MeasurementFile* CreateMeasurementFile(const char* path, std::uint8_t receiver_type, float creation_parameter,
                                       std::uint16_t buffer_size, std::uint8_t channel_count);

// Appends one epoch: the epoch record and its first measurement_count
// observation records. Stamps the record sizes. 0 written, 1 failed.
int WriteMeasurementEpoch(MeasurementFile* file, EpochRecord* epoch, ObservationRecord* observations);

// Puts out what is buffered. 0, or 1 with "Error: Unable to write to %s".
int FlushMeasurementFile(MeasurementFile* file);

// Closes the stream and gives back buffer and handle. A handle whose header
// size is not 202 is left alone. Returns 0, or 1 when the last buffered data
// could not be put out (callers may ignore it); null is accepted.
int CloseMeasurementFile(MeasurementFile* file);

// Opens an existing file for reading and checks its header size (no other
// header field is checked). path: at most 143 characters; it replaces the
// header's file name, so every later message names it. buffer_size: bytes of
// the stream's own buffer, at most 32767, 0 for the platform's default
// buffering. Positioned at the first epoch. Returns the handle (close it with
// CloseMeasurementFile), or null with the reason in the message buffer.
MeasurementFile* OpenMeasurementFile(const char* path, std::uint16_t buffer_size);

// Reads the next epoch into epoch and observations (room for the header's
// channel count). 0 read, -1 end of file ("End of file"; also when fewer than
// 68 bytes are left), 1 failed (record sizes, a count above the channel
// count, measurements cut short).
int ReadMeasurementEpoch(MeasurementFile* file, EpochRecord* epoch, ObservationRecord* observations);

// Reopens the handle's file in append mode, keeping the handle's buffer;
// WriteMeasurementEpoch then adds epochs at the end (the header is not
// rewritten) and the handle no longer reads. 0, or 1 with the reason; when
// the file cannot be opened for appending the handle is left as it was.
int ReopenMeasurementFileForAppend(MeasurementFile* file);

// Searches forward from the current position (the start of an epoch), at
// most 60 epochs and only while the epoch time lies within [target_time -
// 1000 s, target_time], for an epoch in which prn has a non-zero L1
// pseudorange. Returns n >= 1 when the n-th epoch ahead has it (the position
// is then the start of that epoch, so the next read returns it); 0 when the
// window holds none (position restored) or the file ends (position at the
// end, "End of file"); -1 on a damaged file or a failed seek. Accepts up to
// 24 observation records per epoch, whatever the header's channel count.
int FindSatelliteEpoch(MeasurementFile* file, std::int16_t prn, double target_time);

// The same reading for programs: failures come back with the result
// instead of in the library's message text, which these leave alone.

// Opens and checks the file as OpenMeasurementFile does; close the handle
// with CloseMeasurementFile.
Result<MeasurementFile*> OpenGpb(const char* path, std::uint16_t buffer_size);
// As OpenGpb, for a stream the caller opened (binary, positioned at the
// start; closed on failure, else by CloseMeasurementFile). name: what the
// handle stores and the texts give (at most 143 characters).
Result<MeasurementFile*> AdoptGpb(std::FILE* stream, const char* name, std::uint16_t buffer_size);
// Reads the next epoch as ReadMeasurementEpoch does: true when one was
// read, false at the end of the file.
Result<bool> ReadGpbEpoch(MeasurementFile* file, EpochRecord* epoch, ObservationRecord* observations);
// Searches as FindSatelliteEpoch does: n >= 1, or 0 when the window holds
// none or (file_ended set) the file ends first.
Result<int> FindGpbSatelliteEpoch(MeasurementFile* file, std::int16_t prn, double target_time, bool* file_ended);

#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility pop
#endif

}  // namespace morvelin
