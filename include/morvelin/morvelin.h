/*
 * morvelin: GPS raw data conversion plug-in, host interface.
 *
 * A host loads the library (morvelin.dll on Windows, libmorvelin.so on
 * Linux) and calls the five functions below. Everything runs on the host's
 * calling thread; only Abort may come from another thread or from inside a
 * callback. One conversion at a time per loaded library.
 *
 * Records are little-endian and packed, byte for byte as below; the host
 * owns them for the duration of each call.
 */
#ifndef MORVELIN_MORVELIN_H
#define MORVELIN_MORVELIN_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define MORVELIN_CALL __stdcall
#else
#define MORVELIN_CALL
#endif

#if defined(_WIN32)
#define MORVELIN_API
#elif defined(MORVELIN_BUILDING_LIBRARY)
#define MORVELIN_API __attribute__((visibility("default")))
#else
#define MORVELIN_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum {
  MORVELIN_REQUEST_SIZE = 2672,
  MORVELIN_OPTIONS_SIZE = 8,
  MORVELIN_CALLBACKS_SIZE = 272,
  MORVELIN_PATH_SIZE = 512,
  MORVELIN_MESSAGE_SIZE = 160 /* GetErrString's buffer must hold this many bytes */
};

/* ConvertFile results. */
enum {
  MORVELIN_DONE = 0,    /* the input was read to its end */
  MORVELIN_STOPPED = 1, /* "User Quit" after Abort, or a refused request */
  MORVELIN_FAILED = -1  /* a file could not be opened, created or written */
};

#pragma pack(push, 1)

/* Options block (8 bytes). SetFactoryDefaults fills one with zeros. */
typedef struct MorvelinOptions {
  uint32_t kinematic;           /* non-zero: kinematic motion mode, zero: static */
  uint32_t station_text_option; /* kept for WriteStationLineFromText */
} MorvelinOptions;

/* Conversion request (2672 bytes). */
typedef struct MorvelinRequest {
  uint32_t size;                   /* must be 2672 */
  char path[MORVELIN_PATH_SIZE];   /* in: raw data file; rewritten in place, left ending in ".dat" */
  uint32_t options_size;           /* must be 8 */
  MorvelinOptions options;         /* offsets 520 and 524 */
  uint8_t host_own_1[2040];        /* never touched by the library */
  int32_t epoch_count;             /* out: epochs written to the .gpb */
  int32_t ephemeris_count;         /* out: ephemerides written to the .epp */
  int32_t station_line_count;      /* out: "STA:" lines written to the .sta */
  int32_t event_count;             /* out: event markers counted */
  uint8_t host_own_2[88];          /* never touched by the library */
} MorvelinRequest;

#pragma pack(pop)

/* time: GPS seconds the message concerns, or -1.0; text: valid during the call. */
typedef void(MORVELIN_CALL *MorvelinMessageCallback)(double time, const char *text);
/* position and length of the raw data file, in bytes (both divided by the
 * same power of two for files of 2 GiB and more, so the ratio stays true). */
typedef void(MORVELIN_CALL *MorvelinProgressCallback)(int32_t position, int32_t length);

/* Host callback block (272 bytes). The two callback slots are pointer-sized:
 * offsets 8 and 12 on 32-bit Windows, 8 and 16 on 64-bit Linux. Either may
 * be null. */
typedef struct MorvelinCallbacks {
  uint32_t size;     /* must be 272 */
  uint32_t host_own; /* never used by the library */
  MorvelinMessageCallback message;
  MorvelinProgressCallback progress;
  uint8_t host_own_rest[MORVELIN_CALLBACKS_SIZE - 8 - 2 * sizeof(void *)];
} MorvelinCallbacks;

/* Sets both option words to 0 when options_size is 8; otherwise does nothing. */
MORVELIN_API void MORVELIN_CALL SetFactoryDefaults(uint32_t options_size, MorvelinOptions *options);

/* 1 when the file at path is a raw data file of this library, else 0.
 * Leaves the library's state, the message text included, untouched. */
MORVELIN_API int32_t MORVELIN_CALL AutoDetect(const char *path);

/* Asks the running conversion to stop after the record in hand. */
MORVELIN_API void MORVELIN_CALL Abort(void);

/* Copies the last message text (at most 159 characters and a NUL) into buffer,
 * which must hold MORVELIN_MESSAGE_SIZE bytes. */
MORVELIN_API void MORVELIN_CALL GetErrString(char *buffer);

/* Converts request->path into .gpb, .epp, .sum and .sta files beside it.
 * Returns MORVELIN_DONE, MORVELIN_STOPPED or MORVELIN_FAILED; the text is
 * fetched with GetErrString. reserved is ignored. */
MORVELIN_API int32_t MORVELIN_CALL ConvertFile(MorvelinRequest *request, MorvelinCallbacks *callbacks,
                                               int32_t reserved);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* Layout checks: these records are a contract with the host, byte for byte. */
#ifdef __cplusplus
#define MORVELIN_STATIC_ASSERT static_assert
#else
#define MORVELIN_STATIC_ASSERT _Static_assert
#endif
MORVELIN_STATIC_ASSERT(sizeof(MorvelinOptions) == 8, "options block is 8 bytes");
MORVELIN_STATIC_ASSERT(sizeof(MorvelinRequest) == 2672, "conversion request is 2672 bytes");
MORVELIN_STATIC_ASSERT(offsetof(MorvelinRequest, path) == 4, "path at 4");
MORVELIN_STATIC_ASSERT(offsetof(MorvelinRequest, options_size) == 516, "options size at 516");
MORVELIN_STATIC_ASSERT(offsetof(MorvelinRequest, options) == 520, "options at 520");
MORVELIN_STATIC_ASSERT(offsetof(MorvelinRequest, host_own_1) == 528, "host bytes at 528");
MORVELIN_STATIC_ASSERT(offsetof(MorvelinRequest, epoch_count) == 2568, "epoch count at 2568");
MORVELIN_STATIC_ASSERT(offsetof(MorvelinRequest, ephemeris_count) == 2572, "ephemeris count at 2572");
MORVELIN_STATIC_ASSERT(offsetof(MorvelinRequest, station_line_count) == 2576, "station line count at 2576");
MORVELIN_STATIC_ASSERT(offsetof(MorvelinRequest, event_count) == 2580, "event count at 2580");
MORVELIN_STATIC_ASSERT(offsetof(MorvelinRequest, host_own_2) == 2584, "host bytes at 2584");
MORVELIN_STATIC_ASSERT(sizeof(MorvelinCallbacks) == 272, "callback block is 272 bytes");
MORVELIN_STATIC_ASSERT(offsetof(MorvelinCallbacks, message) == 8, "message callback at 8");
MORVELIN_STATIC_ASSERT(offsetof(MorvelinCallbacks, progress) == 8 + sizeof(void *),
                       "progress callback at 12 (32-bit) or 16 (64-bit)");
#undef MORVELIN_STATIC_ASSERT

#endif /* MORVELIN_MORVELIN_H */
