/*
 * A host, written the way a real one is: it loads the plug-in at run time,
 * finds the five functions by their exported names and builds the records
 * that cross the boundary from raw byte offsets, without the library's own
 * header, so that the ABI is checked independently of the declarations the
 * library is compiled from.
 *
 * On Windows it loads morvelin.dll with LoadLibraryA, looks up the
 * decorated __stdcall names and calls every function through a thunk that
 * enters with a stack aligned to 4 bytes only (as hosts built with other
 * compilers do) and checks that the callee removed its own arguments. On
 * Linux it loads libmorvelin.so with dlopen under the plain names; there it
 * also writes the reference outputs that the Windows run is compared with.
 *
 *   host_check [--write-golden] GOLDEN_DIR [LIBRARY]
 *
 * GOLDEN_DIR holds the outputs of the native build (text files with "\n"
 * line ends, the .gpb with its creation stamp and slots zeroed) and the log
 * of every message, progress call, result and count. --write-golden writes
 * them instead of comparing. LIBRARY is the .so to load on Linux.
 */
#if !defined(_WIN32)
#define _XOPEN_SOURCE 700
#endif

#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <direct.h>
#include <float.h>
#include <windows.h>
#define HOST_CALL __stdcall
#else
#include <dirent.h>
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>
#define HOST_CALL
#endif

/* ---- the boundary, as the host knows it: sizes and offsets ---- */

enum {
  kRequestSize = 2672,
  kCallbackBlockSize = 272,
  kOptionsSize = 8,
  kPathOffset = 4,
  kPathSize = 512,
  kOptionsSizeOffset = 516,
  kOptionsOffset = 520,
  kHostOwnOffset1 = 528,
  kCountsOffset = 2568,
  kHostOwnOffset2 = 2584,
  kMessageCallbackOffset = 8,
  kProgressCallbackOffset = 8 + (int)sizeof(void (*)(void)), /* 12 on the 32-bit DLL */
  kCallbackHostOwnOffset = 8 + 2 * (int)sizeof(void (*)(void)),
  kMessageBufferSize = 160,
  kGuard = 32 /* bytes around each record that must stay untouched */
};

#if defined(_WIN32)
_Static_assert(sizeof(void (*)(void)) == 4, "the plug-in is 32-bit: callback slots at 8 and 12");
#endif

typedef void(HOST_CALL *MessageCallback)(double time, const char *text);
typedef void(HOST_CALL *ProgressCallback)(int32_t position, int32_t length);

static const char kRefusedText[] = "Incorrect version of Sample Conversion DLL";
static const char kRefusedOptionsText[] = "Incorrect version of Sample Conversion DLL, Invalid options";
static const char kInputName[] = "HOST1230.DAT";
static const char kBaseName[] = "HOST1230";

/* ---- failures ---- */

static int g_failures;

static void Fail(const char *format, ...) {
  va_list arguments;
  va_start(arguments, format);
  fputs("host_check: FAILED: ", stderr);
  vfprintf(stderr, format, arguments);
  fputc('\n', stderr);
  va_end(arguments);
  ++g_failures;
}

#define CHECK(condition, ...)                  \
  do {                                         \
    if (!(condition)) Fail(__VA_ARGS__);       \
  } while (0)

/* ---- growing byte buffers ---- */

typedef struct Bytes {
  unsigned char *data;
  size_t size;
  size_t capacity;
} Bytes;

static void Reserve(Bytes *bytes, size_t extra) {
  if (bytes->size + extra <= bytes->capacity) return;
  size_t capacity = bytes->capacity ? bytes->capacity : 4096;
  while (capacity < bytes->size + extra) capacity *= 2;
  unsigned char *data = (unsigned char *)realloc(bytes->data, capacity);
  if (data == NULL) {
    fputs("host_check: out of memory\n", stderr);
    exit(2);
  }
  bytes->data = data;
  bytes->capacity = capacity;
}

static void PutBytes(Bytes *bytes, const void *data, size_t size) {
  Reserve(bytes, size);
  if (size != 0) memcpy(bytes->data + bytes->size, data, size);
  bytes->size += size;
}

static void PutU8(Bytes *bytes, unsigned value) {
  unsigned char byte = (unsigned char)value;
  PutBytes(bytes, &byte, 1);
}

static void PutU16(Bytes *bytes, unsigned value) {
  PutU8(bytes, value & 0xFF);
  PutU8(bytes, (value >> 8) & 0xFF);
}

static void PutU32(Bytes *bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) PutU8(bytes, (value >> (8 * i)) & 0xFF);
}

static void PutF64(Bytes *bytes, double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 8; ++i) PutU8(bytes, (unsigned)((bits >> (8 * i)) & 0xFF));
}

static void PutText(Bytes *bytes, const char *text, size_t width) {
  size_t length = strlen(text);
  for (size_t i = 0; i < width; ++i) PutU8(bytes, i < length ? (unsigned char)text[i] : 0);
}

static void PutZeros(Bytes *bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) PutU8(bytes, 0);
}

static void Printf(Bytes *bytes, const char *format, ...) {
  char line[1024];
  va_list arguments;
  va_start(arguments, format);
  int length = vsnprintf(line, sizeof line, format, arguments);
  va_end(arguments);
  if (length < 0) length = 0;
  if ((size_t)length >= sizeof line) length = (int)sizeof line - 1;
  PutBytes(bytes, line, (size_t)length);
}

static void PutAt32(unsigned char *record, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) record[offset + (size_t)i] = (unsigned char)((value >> (8 * i)) & 0xFF);
}

static uint32_t GetAt32(const unsigned char *record, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | record[offset + (size_t)i];
  return value;
}

static unsigned GetAt16(const unsigned char *record, size_t offset) {
  return (unsigned)record[offset] | ((unsigned)record[offset + 1] << 8);
}

/* ---- files ---- */

static int ReadFile_(const char *path, Bytes *out) {
  out->size = 0;
  FILE *file = fopen(path, "rb");
  if (file == NULL) return 0;
  unsigned char chunk[8192];
  size_t got;
  while ((got = fread(chunk, 1, sizeof chunk, file)) > 0) PutBytes(out, chunk, got);
  fclose(file);
  return 1;
}

static int WriteFile_(const char *path, const unsigned char *data, size_t size) {
  FILE *file = fopen(path, "wb");
  if (file == NULL) return 0;
  int ok = fwrite(data, 1, size, file) == size;
  if (fclose(file) != 0) ok = 0;
  return ok;
}

static int Exists(const char *path) {
  FILE *file = fopen(path, "rb");
  if (file == NULL) return 0;
  fclose(file);
  return 1;
}

static void JoinPath(char *out, size_t size, const char *directory, const char *name) {
  snprintf(out, size, "%s/%s", directory, name);
}

static int MakeDirectory(const char *path) {
#if defined(_WIN32)
  return _mkdir(path) == 0 || Exists(path) || GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat info;
  return mkdir(path, 0777) == 0 || (stat(path, &info) == 0 && S_ISDIR(info.st_mode));
#endif
}

static void RemoveDirectory_(const char *path) {
#if defined(_WIN32)
  _rmdir(path);
#else
  rmdir(path);
#endif
}

static int ChangeDirectory(const char *path) {
#if defined(_WIN32)
  return _chdir(path) == 0;
#else
  return chdir(path) == 0;
#endif
}

static void RemoveOutputs(void) {
  static const char *const kExtensions[] = {".gpb", ".epp", ".sum", ".sta"};
  char path[64];
  for (size_t i = 0; i < sizeof kExtensions / sizeof kExtensions[0]; ++i) {
    snprintf(path, sizeof path, "%s%s", kBaseName, kExtensions[i]);
    remove(path);
    RemoveDirectory_(path); /* left by an interrupted failed-run check */
  }
}

/* Whether this process still holds a file open: Windows refuses an
 * exclusive open of a file that an open stream shares; on Linux the process's
 * descriptors are counted before and after a call. */
#if defined(_WIN32)
static int HeldOpen(const char *path) {
  HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_SHARING_VIOLATION;
  CloseHandle(handle);
  return 0;
}
#else
static int OpenDescriptors(void) {
  DIR *directory = opendir("/proc/self/fd");
  if (directory == NULL) return -1;
  int count = 0;
  while (readdir(directory) != NULL) ++count;
  closedir(directory);
  return count;
}
#endif

/* ---- the raw data file, byte by byte ---- */

enum { kPreamble = 0x74, kMeasurementEpochs = 60, kAbortAtProgressCall = 1 };

static void Record(Bytes *raw, unsigned type, unsigned sub_record, unsigned length_byte, const Bytes *payload) {
  PutU8(raw, kPreamble);
  PutU8(raw, length_byte);
  PutU8(raw, sub_record);
  PutU8(raw, type);
  if (payload != NULL) PutBytes(raw, payload->data, payload->size);
}

/* Framed with the length byte the payload implies. */
static void FramedRecord(Bytes *raw, unsigned type, unsigned sub_record, const Bytes *payload) {
  Record(raw, type, sub_record, (unsigned)(payload->size + 4), payload);
}

static void StationNameRecord(Bytes *raw) {
  Bytes payload = {0};
  PutZeros(&payload, 2);
  PutText(&payload, "HOST1", 5);
  PutZeros(&payload, 87);
  FramedRecord(raw, 5, 0, &payload); /* 94-byte payload */
  free(payload.data);
}

static void PositionRecord(Bytes *raw) {
  Bytes payload = {0};
  PutF64(&payload, 0.2843125);   /* semicircles: 51.17625 degrees */
  PutF64(&payload, -0.00725);    /* -1.305 degrees */
  PutF64(&payload, 123.456);     /* height */
  PutF64(&payload, 0.000321);    /* clock offset */
  FramedRecord(raw, 11, 0, &payload);
  free(payload.data);
}

static void StationLineRecord(Bytes *raw) {
  Bytes payload = {0};
  PutText(&payload, "Host check pillar, north roof", 50);
  PutText(&payload, "  1.5000", 8);
  PutZeros(&payload, 1);
  PutText(&payload, "PILLAR01", 8);
  FramedRecord(raw, 16, 3, &payload);
  free(payload.data);
}

static void RoverStationRecord(Bytes *raw) {
  Bytes payload = {0};
  PutText(&payload, "2.0345", 8);
  PutU8(&payload, 'V');
  PutText(&payload, "ROVER002", 8);
  PutZeros(&payload, 16);
  PutText(&payload, "moved!!", 7);
  FramedRecord(raw, 16, 30, &payload);
  free(payload.data);
}

static void AntennaHeightRecord(Bytes *raw) {
  Bytes payload = {0};
  PutZeros(&payload, 4);
  PutF64(&payload, 1.234);
  PutZeros(&payload, 148);
  FramedRecord(raw, 6, 0, &payload); /* length byte 164 */
  free(payload.data);
}

static void TimeRecord(Bytes *raw) {
  Bytes payload = {0};
  PutF64(&payload, 345599.0);
  PutZeros(&payload, 9 + 78);
  Record(raw, 7, 0, 82, &payload); /* 4 + 17 + 78 bytes */
  free(payload.data);
}

static void EphemerisRecord(Bytes *raw, unsigned prn, int32_t toe) {
  Bytes payload = {0};
  PutU8(&payload, prn);
  PutU8(&payload, 0);
  PutU16(&payload, 0xFFFF);     /* El1 value 1: -1 */
  PutU16(&payload, 0x8001);     /* El1 value 4: sign-extended */
  PutU8(&payload, 0);
  PutU8(&payload, 200 + prn);   /* IODE */
  PutU32(&payload, 123456789u); /* El1 value 2 */
  PutU32(&payload, 0xFFFFFF85u);
  PutU32(&payload, (uint32_t)toe);
  for (int i = 0; i < 19; ++i) {
    /* Reals whose decimal digits, single narrowing and pi scaling are all
     * visible in the ephemeris file. */
    double value = (double)((i + 1) * 7919 - 50000 + (int)prn) / 1000.0;
    if (i == 2) value = 0.1;
    if (i == 8) value = 0.00812345; /* eccentricity */
    if (i == 10) value = 5153.61234; /* sqrt(A) */
    PutF64(&payload, value);
  }
  PutZeros(&payload, 14);
  FramedRecord(raw, 21, 0, &payload); /* 186-byte payload, length 190 */
  free(payload.data);
}

static void EventRecord(Bytes *raw, unsigned sub_record, unsigned id, double time_ms) {
  Bytes payload = {0};
  PutU16(&payload, id);
  PutF64(&payload, time_ms);
  FramedRecord(raw, 19, sub_record, &payload);
  free(payload.data);
}

typedef struct Satellite {
  unsigned prn;
  unsigned f1, f2, f3;
} Satellite;

static void MeasurementRecord(Bytes *raw, int epoch) {
  /* PRN 2 single frequency, its phase invalid at epoch 30; PRN 5 on P-code
   * with F3 set; PRN 12 with a cycle slip at epoch 20; PRN 17 dual
   * frequency with full L2; PRN 29 dual frequency, squared L2. */
  Satellite satellites[5] = {{2, 0x10, 0, 0}, {5, 0x10, 1, 1}, {12, 0x10, 0, 0}, {17, 0x31, 0, 0}, {29, 0x11, 0, 0}};
  if (epoch == 30) satellites[0].f1 = 0x00;
  if (epoch == 20) satellites[2].f1 |= 0x02;

  Bytes payload = {0};
  /* Receiver times off the 0.02 s grid by 0, 7 and 14 ms, so that the
   * rounding of epoch times shows in the file. */
  PutF64(&payload, 345600000.0 + 1000.0 * epoch + 7.0 * (epoch % 3));
  PutF64(&payload, (double)(123 + epoch) / 10000.0); /* clock offset, ms */
  PutU8(&payload, 5);
  for (int k = 0; k < 5; ++k) {
    const Satellite *satellite = &satellites[k];
    PutU8(&payload, satellite->prn);
    PutU8(&payload, satellite->f1);
    PutU8(&payload, satellite->f2);
    PutU8(&payload, satellite->f3);
    /* Values from integers by one division each: the same double on any
     * IEEE machine. */
    int64_t millimetres = 20000000000LL + (int64_t)satellite->prn * 12345678LL + (int64_t)epoch * 987 * satellite->prn;
    double pseudorange = (double)millimetres / 1000.0;
    double phase = (double)(millimetres * 5) / 951.0;
    double third = (double)(epoch * 13 - (int)satellite->prn * 125) / 100.0;
    PutZeros(&payload, 12);
    PutF64(&payload, pseudorange);
    PutF64(&payload, phase);
    PutF64(&payload, third);
    PutZeros(&payload, 8);
    if (satellite->f1 & 0x01) {
      PutZeros(&payload, 8);
      PutF64(&payload, phase * 60.0 / 77.0);
      PutF64(&payload, (double)(24795108 + epoch * 1234) / 10000000.0); /* L2 code offset, m */
    }
  }
  Record(raw, 17, 0, 255, &payload); /* the decoder does not use the length byte */
  free(payload.data);
}

/* 7 records, 60 measurement epochs (the 50th record is the 43rd epoch, so
 * progress fires there), then an event, a station line, a record of an
 * unknown type and a second ephemeris. */
static void BuildRawData(Bytes *raw) {
  static const unsigned char kJunk[] = {0x00, 0x13, 0x37};
  PutBytes(raw, kJunk, sizeof kJunk); /* passed over without a message */
  StationNameRecord(raw);
  PositionRecord(raw);
  StationLineRecord(raw);
  AntennaHeightRecord(raw);
  TimeRecord(raw);
  EphemerisRecord(raw, 5, 345600);
  EventRecord(raw, 0, 7, 345599123.25);
  for (int epoch = 0; epoch < kMeasurementEpochs; ++epoch) MeasurementRecord(raw, epoch);
  EventRecord(raw, 2, 65535, 345661000.5);
  RoverStationRecord(raw);
  Record(raw, 30, 0, 4, NULL);
  EphemerisRecord(raw, 23, 352800);
}

/* ---- the loaded library ---- */

static const char *const kFunctionNames[5] = {
#if defined(_WIN32)
    "_SetFactoryDefaults@8", "_AutoDetect@4", "_Abort@0", "_GetErrString@4", "_ConvertFile@12",
#else
    "SetFactoryDefaults", "AutoDetect", "Abort", "GetErrString", "ConvertFile",
#endif
};
enum { kSetFactoryDefaults, kAutoDetect, kAbort, kGetErrString, kConvertFile };
static void *g_functions[5];

#if defined(_WIN32)
/* uint32_t HostCallStdcall(fn, count, args, &bytes_left), cdecl.
 * Pushes count 32-bit arguments (args[0] last, so it lands nearest the
 * return address), calls fn with the stack at 4 mod 16 (aligned to 4 bytes
 * only), and reports in bytes_left what the callee left on the stack: 0 for
 * a __stdcall function, 4 * count for a __cdecl one. */
__asm__(
    ".text\n"
    ".globl _HostCallStdcall\n"
    "_HostCallStdcall:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 12(%ebp), %ecx\n"
    "  movl 16(%ebp), %esi\n"
    "  andl $-16, %esp\n"
    "  subl $64, %esp\n"
    "  leal 4(,%ecx,4), %eax\n"
    "  andl $15, %eax\n"
    "  addl %eax, %esp\n"
    "  movl %esp, %edi\n"
    "1:\n"
    "  testl %ecx, %ecx\n"
    "  jz 2f\n"
    "  decl %ecx\n"
    "  pushl (%esi,%ecx,4)\n"
    "  jmp 1b\n"
    "2:\n"
    "  call *8(%ebp)\n"
    "  movl %edi, %ecx\n"
    "  subl %esp, %ecx\n"
    "  movl 20(%ebp), %edx\n"
    "  movl %ecx, (%edx)\n"
    "  leal -12(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");
extern uint32_t HostCallStdcall(void *function, uint32_t count, const uint32_t *arguments, uint32_t *bytes_left);

static uint32_t CallExport(int which, uint32_t count, const uint32_t *arguments) {
  uint32_t bytes_left = 0;
  uint32_t result = HostCallStdcall(g_functions[which], count, arguments, &bytes_left);
  CHECK(bytes_left == 0, "%s left %lu bytes of arguments on the stack: not __stdcall", kFunctionNames[which],
        (unsigned long)bytes_left);
  return result;
}

#define ARG(pointer) ((uint32_t)(uintptr_t)(pointer))

static void SetFactoryDefaults(uint32_t size, void *options) {
  uint32_t arguments[2] = {size, ARG(options)};
  CallExport(kSetFactoryDefaults, 2, arguments);
}
static int32_t AutoDetect(const char *path) {
  uint32_t arguments[1] = {ARG(path)};
  return (int32_t)CallExport(kAutoDetect, 1, arguments);
}
static void Abort(void) { CallExport(kAbort, 0, NULL); }
static void GetErrString(char *buffer) {
  uint32_t arguments[1] = {ARG(buffer)};
  CallExport(kGetErrString, 1, arguments);
}
static int32_t ConvertFile(void *request, void *callbacks, int32_t reserved) {
  uint32_t arguments[3] = {ARG(request), ARG(callbacks), (uint32_t)reserved};
  return (int32_t)CallExport(kConvertFile, 3, arguments);
}
#else
typedef void (*SetFactoryDefaultsFunction)(uint32_t, void *);
typedef int32_t (*AutoDetectFunction)(const char *);
typedef void (*AbortFunction)(void);
typedef void (*GetErrStringFunction)(char *);
typedef int32_t (*ConvertFileFunction)(void *, void *, int32_t);

static void SetFactoryDefaults(uint32_t size, void *options) {
  SetFactoryDefaultsFunction function;
  memcpy(&function, &g_functions[kSetFactoryDefaults], sizeof function);
  function(size, options);
}
static int32_t AutoDetect(const char *path) {
  AutoDetectFunction function;
  memcpy(&function, &g_functions[kAutoDetect], sizeof function);
  return function(path);
}
static void Abort(void) {
  AbortFunction function;
  memcpy(&function, &g_functions[kAbort], sizeof function);
  function();
}
static void GetErrString(char *buffer) {
  GetErrStringFunction function;
  memcpy(&function, &g_functions[kGetErrString], sizeof function);
  function(buffer);
}
static int32_t ConvertFile(void *request, void *callbacks, int32_t reserved) {
  ConvertFileFunction function;
  memcpy(&function, &g_functions[kConvertFile], sizeof function);
  return function(request, callbacks, reserved);
}
#endif

static void *LoadPlugin(const char *library_path) {
#if defined(_WIN32)
  (void)library_path;
  HMODULE module = LoadLibraryA("morvelin.dll");
  if (module == NULL) {
    Fail("LoadLibraryA(\"morvelin.dll\") failed (error %lu)", (unsigned long)GetLastError());
    return NULL;
  }
  for (int i = 0; i < 5; ++i) {
    FARPROC address = GetProcAddress(module, kFunctionNames[i]);
    memcpy(&g_functions[i], &address, sizeof g_functions[i]);
    CHECK(g_functions[i] != NULL, "GetProcAddress(\"%s\") found nothing", kFunctionNames[i]);
  }
  /* The decorated names are the only names. */
  static const char *const kPlainNames[] = {"ConvertFile", "ConvertFile@12", "_ConvertFile", "AutoDetect", "Abort"};
  for (size_t i = 0; i < sizeof kPlainNames / sizeof kPlainNames[0]; ++i)
    CHECK(GetProcAddress(module, kPlainNames[i]) == NULL, "morvelin.dll also exports \"%s\"", kPlainNames[i]);
  return module;
#else
  void *handle = dlopen(library_path, RTLD_NOW | RTLD_LOCAL);
  if (handle == NULL) {
    Fail("dlopen(%s): %s", library_path, dlerror());
    return NULL;
  }
  for (int i = 0; i < 5; ++i) {
    g_functions[i] = dlsym(handle, kFunctionNames[i]);
    CHECK(g_functions[i] != NULL, "dlsym(\"%s\") found nothing", kFunctionNames[i]);
  }
  return handle;
#endif
}

static void UnloadPlugin(void *handle) {
#if defined(_WIN32)
  CHECK(FreeLibrary((HMODULE)handle) != 0, "FreeLibrary failed");
#else
  CHECK(dlclose(handle) == 0, "dlclose failed");
#endif
}

/* ---- the host's records and callbacks ---- */

typedef struct HostRecords {
  unsigned char request_block[kGuard + kRequestSize + kGuard];
  unsigned char callback_block[kGuard + kCallbackBlockSize + kGuard];
} HostRecords;

static unsigned char *Request(HostRecords *records) { return records->request_block + kGuard; }
static unsigned char *Callbacks(HostRecords *records) { return records->callback_block + kGuard; }

static unsigned char Pattern(size_t i) { return (unsigned char)(0xA5u ^ (i * 7u)); }

static Bytes g_log;
static int g_message_calls;
static int g_progress_calls;
static int g_abort_at_progress_call;
static int32_t g_input_length;
static char g_last_message[kMessageBufferSize];

static void HOST_CALL OnMessage(double time, const char *text) {
  ++g_message_calls;
  if (text == NULL) {
    Fail("message callback %d got a null text", g_message_calls);
    return;
  }
  size_t length = strlen(text);
  CHECK(length < kMessageBufferSize, "message callback %d: text of %lu characters", g_message_calls,
        (unsigned long)length);
  uint64_t bits;
  memcpy(&bits, &time, sizeof bits);
  /* The time's bit pattern, so that the double is compared exactly. */
  Printf(&g_log, "message %08lx%08lx %.2f %s\n", (unsigned long)(bits >> 32), (unsigned long)(bits & 0xFFFFFFFFu),
         time, text);
  snprintf(g_last_message, sizeof g_last_message, "%s", text);
}

static void HOST_CALL OnProgress(int32_t position, int32_t length) {
  ++g_progress_calls;
  Printf(&g_log, "progress %ld %ld\n", (long)position, (long)length);
  CHECK(length == g_input_length, "progress call %d: length %ld, the file has %ld bytes", g_progress_calls,
        (long)length, (long)g_input_length);
  CHECK(position >= 0 && position <= length, "progress call %d: position %ld outside 0..%ld", g_progress_calls,
        (long)position, (long)length);
  /* A host's Cancel button: Abort from inside the callback. */
  if (g_progress_calls == g_abort_at_progress_call) Abort();
}

/* A request and a callback block as a host fills them: every byte the
 * library must not touch carries a pattern, and guard bytes surround both. */
static void PrepareRecords(HostRecords *records, const char *path, uint32_t request_size, uint32_t callback_size,
                           uint32_t options_size) {
  for (size_t i = 0; i < sizeof records->request_block; ++i) records->request_block[i] = Pattern(i);
  for (size_t i = 0; i < sizeof records->callback_block; ++i) records->callback_block[i] = Pattern(i + 1);
  unsigned char *request = Request(records);
  PutAt32(request, 0, request_size);
  memset(request + kPathOffset, 0, kPathSize);
  memcpy(request + kPathOffset, path, strlen(path) + 1);
  PutAt32(request, kOptionsSizeOffset, options_size);
  PutAt32(request, kOptionsOffset, 0);
  PutAt32(request, kOptionsOffset + 4, 0);
  for (int i = 0; i < 4; ++i) PutAt32(request, kCountsOffset + 4 * (size_t)i, 0x5A5A5A5Au);

  unsigned char *callbacks = Callbacks(records);
  PutAt32(callbacks, 0, callback_size);
  PutAt32(callbacks, 4, 0xC0FFEE01u);
  MessageCallback message = OnMessage;
  ProgressCallback progress = OnProgress;
  memcpy(callbacks + kMessageCallbackOffset, &message, sizeof message);
  memcpy(callbacks + kProgressCallbackOffset, &progress, sizeof progress);
}

/* Everything but the counts and the path field must be as the host left it. */
static void CheckHostBytesUntouched(HostRecords *records, const char *what) {
  HostRecords fresh;
  unsigned char *request = Request(records);
  PrepareRecords(&fresh, "", GetAt32(request, 0), GetAt32(Callbacks(records), 0), GetAt32(request, kOptionsSizeOffset));
  for (size_t i = 0; i < sizeof records->request_block; ++i) {
    size_t offset = i - kGuard;
    int library_field = i >= kGuard && ((offset >= kPathOffset && offset < kPathOffset + kPathSize) ||
                                        (offset >= kCountsOffset && offset < kCountsOffset + 16));
    if (!library_field && records->request_block[i] != fresh.request_block[i]) {
      Fail("%s: request byte %ld changed", what, (long)i - kGuard);
      break;
    }
  }
  if (memcmp(records->callback_block, fresh.callback_block, sizeof fresh.callback_block) != 0)
    Fail("%s: the callback block or the bytes around it changed", what);
}

static void ErrString(char *text) {
  memset(text, 0x7E, kMessageBufferSize);
  GetErrString(text);
  if (memchr(text, '\0', kMessageBufferSize) == NULL) {
    Fail("GetErrString wrote no NUL within %d bytes", kMessageBufferSize);
    text[kMessageBufferSize - 1] = '\0';
  }
}

/* ---- one conversion ---- */

typedef struct RunOutcome {
  int32_t result;
  int32_t counts[4];
  char error_text[kMessageBufferSize];
  char path_after[kPathSize];
} RunOutcome;

static RunOutcome Convert(const char *name, int abort_at_progress_call) {
  RunOutcome outcome;
  HostRecords records;
  PrepareRecords(&records, kInputName, kRequestSize, kCallbackBlockSize, kOptionsSize);
  /* The host asks for the default options first and keeps them in its own
   * request. */
  SetFactoryDefaults(kOptionsSize, Request(&records) + kOptionsOffset);

  g_message_calls = g_progress_calls = 0;
  g_abort_at_progress_call = abort_at_progress_call;
  g_last_message[0] = '\0';
  Printf(&g_log, "== run %s\n", name);

#if defined(_WIN32)
  /* A host built with another compiler runs with the x87 unit at double
   * precision; the plug-in's results must not depend on it. */
  unsigned int control = _controlfp(0, 0);
  if (abort_at_progress_call == 0) _controlfp(_PC_53, _MCW_PC);
#else
  int descriptors_before = OpenDescriptors();
#endif

  outcome.result = ConvertFile(Request(&records), Callbacks(&records), 0x12345678);

#if defined(_WIN32)
  _controlfp(control, _MCW_PC);
#else
  CHECK(OpenDescriptors() == descriptors_before, "run %s: %d descriptors open before ConvertFile, %d after", name,
        descriptors_before, OpenDescriptors());
#endif

  unsigned char *request = Request(&records);
  for (int i = 0; i < 4; ++i) outcome.counts[i] = (int32_t)GetAt32(request, kCountsOffset + 4 * (size_t)i);
  memcpy(outcome.path_after, request + kPathOffset, kPathSize);
  outcome.path_after[kPathSize - 1] = '\0';
  ErrString(outcome.error_text);
  CheckHostBytesUntouched(&records, name);

  Printf(&g_log, "result %ld\ncounts %ld %ld %ld %ld\nerror %s\npath %s\n", (long)outcome.result,
         (long)outcome.counts[0], (long)outcome.counts[1], (long)outcome.counts[2], (long)outcome.counts[3],
         outcome.error_text, outcome.path_after);
  return outcome;
}

/* ---- output files ---- */

static void CheckNoFileHeldOpen(const char *what) {
#if defined(_WIN32)
  static const char *const kExtensions[] = {".DAT", ".gpb", ".epp", ".sum", ".sta"};
  char path[64];
  for (size_t i = 0; i < sizeof kExtensions / sizeof kExtensions[0]; ++i) {
    snprintf(path, sizeof path, "%s%s", kBaseName, kExtensions[i]);
    CHECK(!HeldOpen(path), "%s: %s is still open after ConvertFile returned", what, path);
  }
#else
  (void)what; /* the descriptors are counted around the call */
#endif
}

typedef struct Golden {
  const char *directory;
  int write;
} Golden;

static void CompareOrWrite(const Golden *golden, const char *name, const Bytes *actual, const char *what) {
  char path[1024];
  JoinPath(path, sizeof path, golden->directory, name);
  if (golden->write) {
    CHECK(WriteFile_(path, actual->data, actual->size), "cannot write %s", path);
    return;
  }
  Bytes expected = {0};
  if (!ReadFile_(path, &expected)) {
    Fail("%s: no reference file %s (write it with a native build: host_check --write-golden)", what, path);
    return;
  }
  if (expected.size != actual->size || memcmp(expected.data, actual->data, actual->size) != 0) {
    size_t first = 0;
    while (first < expected.size && first < actual->size && expected.data[first] == actual->data[first]) ++first;
    Fail("%s differs from %s (%lu bytes against %lu; first difference at byte %lu)", what, path,
         (unsigned long)actual->size, (unsigned long)expected.size, (unsigned long)first);
  }
  free(expected.data);
}

/* Text files are written in text mode: CR LF on Windows, LF on Linux. The
 * reference holds LF line ends. */
static void CheckTextFile(const Golden *golden, const char *run, const char *extension) {
  char path[64], name[64], what[96];
  snprintf(path, sizeof path, "%s%s", kBaseName, extension);
  snprintf(name, sizeof name, "%s%s", run, extension);
  snprintf(what, sizeof what, "run %s: %s", run, path);
  Bytes bytes = {0};
  if (!ReadFile_(path, &bytes)) {
    Fail("%s was not created", what);
    return;
  }
  Bytes text = {0};
  Reserve(&text, bytes.size + 1);
  for (size_t i = 0; i < bytes.size; ++i) {
    unsigned char c = bytes.data[i];
#if defined(_WIN32)
    if (c == '\n' && (i == 0 || bytes.data[i - 1] != '\r')) {
      Fail("%s: line end at byte %lu is a bare LF", what, (unsigned long)i);
      break;
    }
    if (c == '\r') {
      if (i + 1 >= bytes.size || bytes.data[i + 1] != '\n') {
        Fail("%s: CR without LF at byte %lu", what, (unsigned long)i);
        break;
      }
      continue;
    }
#else
    if (c == '\r') {
      Fail("%s: CR at byte %lu", what, (unsigned long)i);
      break;
    }
#endif
    PutU8(&text, c);
  }
  CompareOrWrite(golden, name, &text, what);
  free(bytes.data);
  free(text.data);
}

/* The .gpb: its header and record framing checked here, its bytes compared
 * with the native build's apart from the creation stamp and the two slots. */
static void CheckMeasurementFile(const Golden *golden, const char *run, int32_t epochs) {
  char path[64], name[64], what[96];
  snprintf(path, sizeof path, "%s.gpb", kBaseName);
  snprintf(name, sizeof name, "%s.gpb", run);
  snprintf(what, sizeof what, "run %s: %s", run, path);
  Bytes bytes = {0};
  if (!ReadFile_(path, &bytes) || bytes.size < 202) {
    Fail("%s is missing or shorter than its header", what);
    free(bytes.data);
    return;
  }
  const unsigned char *header = bytes.data;
  static const unsigned char kFormatConstant[4] = {0xAE, 0x47, 0x81, 0x3F};
  CHECK(GetAt16(header, 0) == 202, "%s: header size %u", what, GetAt16(header, 0));
  CHECK(memcmp(header + 2, kFormatConstant, 4) == 0, "%s: format constant is not 1.01", what);
  CHECK(header[6] == 3 && header[7] == 12, "%s: receiver type %u, channels %u", what, header[6], header[7]);
  unsigned month = GetAt16(header, 8), day = GetAt16(header, 10), year = GetAt16(header, 12);
  unsigned hour = GetAt16(header, 14), minute = GetAt16(header, 16), second = GetAt16(header, 18);
  CHECK(month <= 11 && day >= 1 && day <= 31 && year >= 120 && year < 300 && hour <= 23 && minute <= 59 &&
            second <= 60,
        "%s: creation stamp %u-%u-%u %u:%u:%u is not a local time", what, year, month, day, hour, minute, second);
  CHECK(strncmp((const char *)header + 24, "HOST1230.gpb", 144) == 0, "%s: file name field is \"%.143s\"", what,
        (const char *)header + 24);
  CHECK(GetAt16(header, 172) == 8192, "%s: buffer size %u", what, GetAt16(header, 172));

  int32_t found = 0;
  size_t offset = 202;
  while (offset + 68 <= bytes.size && GetAt16(bytes.data, offset) == 68) {
    unsigned count = bytes.data[offset + 2];
    offset += 68;
    for (unsigned k = 0; k < count && offset + 44 <= bytes.size; ++k, offset += 44)
      CHECK(GetAt16(bytes.data, offset) == 44, "%s: observation record at %lu has size %u", what,
            (unsigned long)offset, GetAt16(bytes.data, offset));
    ++found;
  }
  CHECK(offset == bytes.size, "%s: %lu bytes after the last whole epoch", what, (unsigned long)(bytes.size - offset));
  CHECK(found == epochs, "%s: %ld epochs in the file, %ld counted", what, (long)found, (long)epochs);

  memset(bytes.data + 8, 0, 12);
  memset(bytes.data + 168, 0, 4);
  memset(bytes.data + 174, 0, 4);
  CompareOrWrite(golden, name, &bytes, what);
  free(bytes.data);
}

static void CheckOutputs(const Golden *golden, const char *run, const RunOutcome *outcome) {
  CheckNoFileHeldOpen(run);
  CheckMeasurementFile(golden, run, outcome->counts[0]);
  CheckTextFile(golden, run, ".epp");
  CheckTextFile(golden, run, ".sta");
  CheckTextFile(golden, run, ".sum");
}

/* ---- the checks ---- */

static void CheckFactoryDefaults(void) {
  unsigned char options[16];
  memset(options, 0xEE, sizeof options);
  SetFactoryDefaults(kOptionsSize, options + 4);
  CHECK(GetAt32(options, 4) == 0 && GetAt32(options, 8) == 0, "SetFactoryDefaults(8) did not zero both words");
  CHECK(GetAt32(options, 0) == 0xEEEEEEEEu && GetAt32(options, 12) == 0xEEEEEEEEu,
        "SetFactoryDefaults(8) wrote outside the options block");
  static const uint32_t kWrongSizes[] = {0, 4, 12, 2672};
  for (size_t i = 0; i < sizeof kWrongSizes / sizeof kWrongSizes[0]; ++i) {
    memset(options, 0xEE, sizeof options);
    SetFactoryDefaults(kWrongSizes[i], options + 4);
    for (size_t j = 0; j < sizeof options; ++j)
      if (options[j] != 0xEE) {
        Fail("SetFactoryDefaults(%lu) changed the block", (unsigned long)kWrongSizes[i]);
        break;
      }
  }
}

static void CheckRefused(const char *what, uint32_t request_size, uint32_t callback_size, uint32_t options_size,
                         const char *expected_text) {
  HostRecords records;
  PrepareRecords(&records, kInputName, request_size, callback_size, options_size);
  RemoveOutputs();
  int32_t result = ConvertFile(Request(&records), Callbacks(&records), 0);
  char text[kMessageBufferSize];
  ErrString(text);
  CHECK(result == 1, "%s: ConvertFile answered %ld, not 1", what, (long)result);
  CHECK(strcmp(text, expected_text) == 0, "%s: GetErrString gave \"%s\"", what, text);
  for (int i = 0; i < 4; ++i)
    CHECK(GetAt32(Request(&records), kCountsOffset + 4 * (size_t)i) == 0x5A5A5A5Au, "%s: count %d was written",
          what, i);
  CHECK(strcmp((const char *)Request(&records) + kPathOffset, kInputName) == 0, "%s: the path field changed", what);
  CheckHostBytesUntouched(&records, what);
  char path[64];
  snprintf(path, sizeof path, "%s.gpb", kBaseName);
  CHECK(!Exists(path), "%s: an output file was created", what);
  CHECK(g_message_calls == 0 && g_progress_calls == 0, "%s: a callback was called", what);
  Printf(&g_log, "refused %s: %ld %s\n", what, (long)result, text);
}

static void CheckAutoDetect(void) {
  char before[kMessageBufferSize], after[kMessageBufferSize];
  ErrString(before);
  CHECK(AutoDetect(kInputName) == 1, "AutoDetect(%s) did not recognise the raw data file", kInputName);
  CHECK(AutoDetect("DAT") == 0, "AutoDetect on a three-character path");
  CHECK(AutoDetect("MISSING1.DAT") == 0, "AutoDetect on a missing file");
  CHECK(AutoDetect("") == 0, "AutoDetect on an empty path");
  ErrString(after);
  CHECK(strcmp(before, after) == 0, "AutoDetect changed the message text from \"%s\" to \"%s\"", before, after);
  Printf(&g_log, "autodetect %s: %ld\n", kInputName, (long)AutoDetect(kInputName));
}

/* A plug-in must not take its host down, whatever the host passes. */
static void CheckNullArguments(void) {
  CHECK(AutoDetect(NULL) == 0, "AutoDetect(NULL)");
  GetErrString(NULL);
  SetFactoryDefaults(kOptionsSize, NULL);
  HostRecords records;
  PrepareRecords(&records, kInputName, kRequestSize, kCallbackBlockSize, kOptionsSize);
  CHECK(ConvertFile(NULL, Callbacks(&records), 0) != 0, "ConvertFile(NULL, block) reported success");
  CHECK(ConvertFile(Request(&records), NULL, 0) != 0, "ConvertFile(request, NULL) reported success");
  /* A path field without its terminator: the library must not read on. */
  PrepareRecords(&records, kInputName, kRequestSize, kCallbackBlockSize, kOptionsSize);
  memset(Request(&records) + kPathOffset, 'A', kPathSize);
  CHECK(ConvertFile(Request(&records), Callbacks(&records), 0) != 0, "ConvertFile with an unterminated path");
}

int main(int argc, char **argv) {
  Golden golden = {NULL, 0};
  const char *library_path = NULL;
  int next = 1;
  if (next < argc && strcmp(argv[next], "--write-golden") == 0) {
    golden.write = 1;
    ++next;
  }
  if (next < argc) golden.directory = argv[next++];
  if (next < argc) library_path = argv[next++];
#if !defined(_WIN32)
  if (library_path == NULL) golden.directory = NULL;
#endif
  if (golden.directory == NULL || next != argc) {
    fprintf(stderr, "usage: %s [--write-golden] GOLDEN_DIR%s\n", argv[0],
#if defined(_WIN32)
            ""
#else
            " LIBRARY"
#endif
    );
    return 2;
  }
  if (golden.write && !MakeDirectory(golden.directory)) {
    fprintf(stderr, "host_check: cannot create %s\n", golden.directory);
    return 2;
  }
#if !defined(_WIN32)
  /* The working directory changes below: keep the library's path whole. */
  char library_absolute[4096];
  if (library_path[0] != '/' && realpath(library_path, library_absolute) != NULL) library_path = library_absolute;
#endif

  /* A working directory of its own; the input is named without a directory,
   * so that the paths the library stores (the .gpb's file name field, the
   * summary's day text) are the same on both targets. */
  if (!MakeDirectory("host_check.work") || !ChangeDirectory("host_check.work")) {
    fprintf(stderr, "host_check: cannot enter host_check.work\n");
    return 2;
  }
  RemoveOutputs();
  Bytes raw = {0};
  BuildRawData(&raw);
  g_input_length = (int32_t)raw.size;
  if (!WriteFile_(kInputName, raw.data, raw.size)) {
    fprintf(stderr, "host_check: cannot write %s\n", kInputName);
    return 2;
  }

  void *plugin = LoadPlugin(library_path);
  if (plugin == NULL) return 1;
  for (int i = 0; i < 5; ++i)
    if (g_functions[i] == NULL) return 1;

#if defined(_WIN32)
  /* The check that no file stays open must itself see an open file. */
  FILE *held = fopen(kInputName, "rb");
  CHECK(held != NULL && HeldOpen(kInputName), "an open stream is not seen as open: the check is blind");
  if (held != NULL) fclose(held);
  CHECK(!HeldOpen(kInputName), "a closed file is seen as open");
#endif

  CheckFactoryDefaults();
  CheckRefused("request size 2671", kRequestSize - 1, kCallbackBlockSize, kOptionsSize, kRefusedText);
  CheckRefused("request size 0", 0, kCallbackBlockSize, kOptionsSize, kRefusedText);
  CheckRefused("callback block size 271", kRequestSize, kCallbackBlockSize - 1, kOptionsSize, kRefusedText);
  CheckRefused("callback block size 276", kRequestSize, kCallbackBlockSize + 4, kOptionsSize, kRefusedText);
  CheckRefused("options size 4", kRequestSize, kCallbackBlockSize, 4, kRefusedOptionsText);
  CheckRefused("options size 12", kRequestSize, kCallbackBlockSize, 12, kRefusedOptionsText);
  CheckRefused("request and options sizes wrong", kRequestSize + 1, kCallbackBlockSize, 4, kRefusedText);
  CheckAutoDetect();

  /* A whole conversion. */
  RunOutcome full = Convert("full", 0);
  CHECK(full.result == 0, "full run: ConvertFile answered %ld (%s)", (long)full.result, full.error_text);
  CHECK(full.counts[0] == kMeasurementEpochs, "full run: %ld epochs written", (long)full.counts[0]);
  CHECK(full.counts[1] == 2, "full run: %ld ephemerides", (long)full.counts[1]);
  CHECK(full.counts[2] == 4, "full run: %ld station lines", (long)full.counts[2]);
  CHECK(full.counts[3] == 2, "full run: %ld events", (long)full.counts[3]);
  CHECK(strcmp(full.path_after, "HOST1230.dat") == 0, "full run: path field left as \"%s\"", full.path_after);
  CHECK(g_message_calls > 0 && strcmp(full.error_text, g_last_message) == 0,
        "full run: GetErrString gave \"%s\", the last message was \"%s\"", full.error_text, g_last_message);
  CHECK(g_progress_calls == 2, "full run: %d progress calls, not 2 (record 50 and the end)", g_progress_calls);
  CheckOutputs(&golden, "full", &full);
  CHECK(AutoDetect("HOST1230.gpb") == 0, "AutoDetect recognised the .gpb");

  /* The host's Cancel button: Abort from the first progress call. */
  RunOutcome stopped = Convert("abort", kAbortAtProgressCall);
  CHECK(stopped.result == 1, "abort run: ConvertFile answered %ld, not 1", (long)stopped.result);
  CHECK(strcmp(stopped.error_text, "User Quit") == 0, "abort run: GetErrString gave \"%s\"", stopped.error_text);
  CHECK(stopped.counts[0] == 43 && stopped.counts[1] == 1 && stopped.counts[2] == 3 && stopped.counts[3] == 1,
        "abort run: counts %ld %ld %ld %ld, not 43 1 3 1", (long)stopped.counts[0], (long)stopped.counts[1],
        (long)stopped.counts[2], (long)stopped.counts[3]);
  CHECK(g_progress_calls == 2, "abort run: %d progress calls, not 2 (record 50 and the end)", g_progress_calls);
  CheckOutputs(&golden, "abort", &stopped);

  /* A run after the stopped one starts afresh. */
  RunOutcome again = Convert("again", 0);
  CHECK(again.result == 0 && memcmp(again.counts, full.counts, sizeof full.counts) == 0,
        "run after the stop: result %ld, epochs %ld", (long)again.result, (long)again.counts[0]);
  CheckNoFileHeldOpen("again");

  /* A run that fails once its input and the .gpb are open: every file
   * must still be closed when ConvertFile returns. */
  RemoveOutputs();
  char blocker[64];
  snprintf(blocker, sizeof blocker, "%s.epp", kBaseName);
  CHECK(MakeDirectory(blocker), "cannot create the directory %s", blocker);
  RunOutcome failed = Convert("failed", 0);
  CHECK(failed.result == -1, "failed run: ConvertFile answered %ld, not -1", (long)failed.result);
  CHECK(strcmp(failed.error_text, "Error: File HOST1230.epp not found ") == 0, "failed run: GetErrString gave \"%s\"",
        failed.error_text);
  CheckNoFileHeldOpen("failed");
  RemoveDirectory_(blocker);

  CheckNullArguments();

  CompareOrWrite(&golden, "host_check.log", &g_log, "the log of messages, progress and results");
  UnloadPlugin(plugin);
  free(g_log.data);
  free(raw.data);

  if (golden.write) printf("host_check: reference files written to %s\n", golden.directory);
  if (g_failures != 0) {
    fprintf(stderr, "host_check: %d check(s) failed\n", g_failures);
    return 1;
  }
  printf("host_check: all checks passed\n");
  return 0;
}
