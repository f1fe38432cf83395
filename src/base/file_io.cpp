#include "base/file_io.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace morvelin {

#if defined(_WIN32)

namespace {

bool Identify(const char* path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool ok = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  return ok;
}

}  // namespace

bool SameFile(const char* a, const char* b) {
  BY_HANDLE_FILE_INFORMATION info_a, info_b;
  if (!Identify(a, info_a) || !Identify(b, info_b)) return false;
  return info_a.dwVolumeSerialNumber == info_b.dwVolumeSerialNumber &&
         info_a.nFileIndexHigh == info_b.nFileIndexHigh && info_a.nFileIndexLow == info_b.nFileIndexLow;
}

bool IsDirectory(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

std::FILE* OpenForWriting(const char* path, bool binary) { return std::fopen(path, binary ? "wb" : "w"); }

bool ReserveSpace(std::FILE*, std::int64_t, std::int64_t) { return false; }
void ReleaseReservedSpace(std::FILE*) {}

#else

bool SameFile(const char* a, const char* b) {
  struct stat stat_a, stat_b;
  if (stat(a, &stat_a) != 0 || stat(b, &stat_b) != 0) return false;
  return stat_a.st_dev == stat_b.st_dev && stat_a.st_ino == stat_b.st_ino;
}

bool IsDirectory(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

bool PathExists(const char* path) {
  struct stat info;
  return stat(path, &info) == 0;
}

std::FILE* OpenForWriting(const char* path, bool binary) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  struct stat info;
  if (fstat(fd, &info) != 0 || (S_ISREG(info.st_mode) && info.st_size != 0 && ftruncate(fd, 0) != 0)) {
    const int error = errno;
    close(fd);
    errno = error;
    return nullptr;
  }
  std::FILE* stream = fdopen(fd, binary ? "wb" : "w");
  if (stream == nullptr) {
    const int error = errno;
    close(fd);
    errno = error;
  }
  return stream;
}

bool ReserveSpace(std::FILE* stream, std::int64_t offset, std::int64_t length) {
  return fallocate(fileno(stream), FALLOC_FL_KEEP_SIZE, static_cast<off_t>(offset), static_cast<off_t>(length)) == 0;
}

// Truncating to its own size frees the blocks past the end; an empty file is
// left alone (truncating it to nothing would make the file system write it
// out when it is closed).
void ReleaseReservedSpace(std::FILE* stream) {
  const int fd = fileno(stream);
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) (void)ftruncate(fd, info.st_size);
}

#endif

}  // namespace morvelin
