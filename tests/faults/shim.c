/* Fault injection for the fault tests, loaded with LD_PRELOAD (Linux only).
 *
 * It stands in front of the C library's stream calls that put data out
 * (fwrite, fputs, fputc, fflush, fclose, and write for completeness) and
 * makes them fail with ENOSPC, as a full disk does, from the Nth call on a
 * chosen file onwards: the disk stays full. fclose still closes the stream
 * (the descriptor is given back) and then reports the failure. The test
 * program drives it through three functions it finds with dlsym:
 *
 *   morvelin_fault_arm(kind, suffix, n)  kind 0 writes (fwrite, fputs, fputc,
 *       write), 1 fflush, 2 fclose; streams whose path ends with suffix (or
 *       the temporaries of such a path, "PATH.<id>.morvelin-tmp", and those
 *       named "STEM<suffix>.<id>.morvelin-tmp") are watched from their
 *       fopen (or fdopen) on; n = 0 only counts. Kind 3: renames from or
 *       to such a path; only the Nth fails, as a rename fails once.
 *   morvelin_fault_calls()     calls of that kind on watched streams so far
 *   morvelin_fault_failures()  calls made to fail so far
 *
 * Calls made inside the C library (the flush within fclose, say) cannot be
 * reached from here: a failure that shows only at close is made by failing
 * fclose itself. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

enum { kWrite = 0, kFlush = 1, kClose = 2, kRename = 3 };
enum { kWatched = 64 };

static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static char g_suffix[256];
static int g_kind = -1;
static long g_fail_at;
static long g_calls;
static long g_failures;
static FILE* g_streams[kWatched];
static int g_descriptors[kWatched];

static void* Real(const char* name) { return dlsym(RTLD_NEXT, name); }

void morvelin_fault_arm(int kind, const char* suffix, long fail_at) {
  pthread_mutex_lock(&g_lock);
  g_kind = kind;
  snprintf(g_suffix, sizeof g_suffix, "%s", suffix != NULL ? suffix : "");
  g_fail_at = fail_at;
  g_calls = g_failures = 0;
  pthread_mutex_unlock(&g_lock);
}

long morvelin_fault_calls(void) { return g_calls; }
long morvelin_fault_failures(void) { return g_failures; }

static int EndsWith(const char* text, size_t length, const char* end) {
  const size_t end_length = strlen(end);
  return length >= end_length && memcmp(text + length - end_length, end, end_length) == 0;
}

static int Selected(const char* path) {
  size_t length = strlen(path), suffix = strlen(g_suffix);
  if (g_kind < 0 || suffix == 0) return 0;
  if (EndsWith(path, length, g_suffix)) return 1;
  if (!EndsWith(path, length, ".morvelin-tmp")) return 0;
  /* A temporary: the suffix followed by ".<id>.morvelin-tmp". */
  for (const char* at = strstr(path, g_suffix); at != NULL; at = strstr(at + 1, g_suffix))
    if (at[suffix] == '.' && strchr(at + suffix + 1, '.') == path + length - strlen(".morvelin-tmp")) return 1;
  return 0;
}

static void Watch(FILE* stream, const char* path) {
  if (stream == NULL) return;
  pthread_mutex_lock(&g_lock);
  if (Selected(path)) {
    for (int i = 0; i < kWatched; ++i) {
      if (g_streams[i] == NULL) {
        g_streams[i] = stream;
        g_descriptors[i] = fileno(stream);
        break;
      }
    }
  }
  pthread_mutex_unlock(&g_lock);
}

static int Slot(FILE* stream, int descriptor) {
  for (int i = 0; i < kWatched; ++i)
    if (g_streams[i] != NULL && (g_streams[i] == stream || (stream == NULL && g_descriptors[i] == descriptor)))
      return i;
  return -1;
}

/* True when this call of kind on the stream (or descriptor) is to fail. */
static int Fails(int kind, FILE* stream, int descriptor) {
  int fail = 0;
  pthread_mutex_lock(&g_lock);
  if (kind == g_kind && Slot(stream, descriptor) >= 0) {
    ++g_calls;
    if (g_fail_at > 0 && g_calls >= g_fail_at) {
      ++g_failures;
      fail = 1;
    }
  }
  pthread_mutex_unlock(&g_lock);
  return fail;
}

static void Forget(FILE* stream) {
  pthread_mutex_lock(&g_lock);
  int slot = Slot(stream, -1);
  if (slot >= 0) g_streams[slot] = NULL;
  pthread_mutex_unlock(&g_lock);
}

FILE* fopen(const char* path, const char* mode) {
  static FILE* (*real)(const char*, const char*);
  if (real == NULL) real = (FILE * (*)(const char*, const char*)) Real("fopen");
  FILE* stream = real(path, mode);
  Watch(stream, path);
  return stream;
}

FILE* fopen64(const char* path, const char* mode) {
  static FILE* (*real)(const char*, const char*);
  if (real == NULL) real = (FILE * (*)(const char*, const char*)) Real("fopen64");
  FILE* stream = real(path, mode);
  Watch(stream, path);
  return stream;
}

/* A stream made from a descriptor: its path is the descriptor's link. */
FILE* fdopen(int descriptor, const char* mode) {
  static FILE* (*real)(int, const char*);
  if (real == NULL) real = (FILE * (*)(int, const char*)) Real("fdopen");
  FILE* stream = real(descriptor, mode);
  char link[64], path[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", descriptor);
  const ssize_t length = readlink(link, path, sizeof path - 1);
  if (length > 0) {
    path[length] = '\0';
    Watch(stream, path);
  }
  return stream;
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* stream) {
  static size_t (*real)(const void*, size_t, size_t, FILE*);
  if (real == NULL) real = (size_t(*)(const void*, size_t, size_t, FILE*))Real("fwrite");
  if (size != 0 && count != 0 && Fails(kWrite, stream, -1)) {
    errno = ENOSPC;
    return 0;
  }
  return real(data, size, count, stream);
}

int fputs(const char* text, FILE* stream) {
  static int (*real)(const char*, FILE*);
  if (real == NULL) real = (int (*)(const char*, FILE*))Real("fputs");
  if (Fails(kWrite, stream, -1)) {
    errno = ENOSPC;
    return EOF;
  }
  return real(text, stream);
}

int fputc(int c, FILE* stream) {
  static int (*real)(int, FILE*);
  if (real == NULL) real = (int (*)(int, FILE*))Real("fputc");
  if (Fails(kWrite, stream, -1)) {
    errno = ENOSPC;
    return EOF;
  }
  return real(c, stream);
}

ssize_t write(int descriptor, const void* data, size_t size) {
  static ssize_t (*real)(int, const void*, size_t);
  if (real == NULL) real = (ssize_t(*)(int, const void*, size_t))Real("write");
  if (size != 0 && Fails(kWrite, NULL, descriptor)) {
    errno = ENOSPC;
    return -1;
  }
  return real(descriptor, data, size);
}

int fflush(FILE* stream) {
  static int (*real)(FILE*);
  if (real == NULL) real = (int (*)(FILE*))Real("fflush");
  if (stream != NULL && Fails(kFlush, stream, -1)) {
    errno = ENOSPC;
    return EOF;
  }
  return real(stream);
}

int rename(const char* from, const char* to) {
  static int (*real)(const char*, const char*);
  if (real == NULL) real = (int (*)(const char*, const char*))Real("rename");
  int fail = 0;
  pthread_mutex_lock(&g_lock);
  if (g_kind == kRename && (Selected(from) || Selected(to))) {
    ++g_calls;
    if (g_fail_at > 0 && g_calls == g_fail_at) {
      ++g_failures;
      fail = 1;
    }
  }
  pthread_mutex_unlock(&g_lock);
  if (fail) {
    errno = EIO;
    return -1;
  }
  return real(from, to);
}

int fclose(FILE* stream) {
  static int (*real)(FILE*);
  if (real == NULL) real = (int (*)(FILE*))Real("fclose");
  const int fail = Fails(kClose, stream, -1);
  Forget(stream);
  const int result = real(stream);
  if (fail) {
    errno = ENOSPC;
    return EOF;
  }
  return result;
}
