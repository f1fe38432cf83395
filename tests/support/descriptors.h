// Open file descriptors (Linux: /proc/self/fd) or handles (Windows) of the
// test process, to check that a conversion leaves none behind. -1 when the
// platform cannot tell.
#pragma once

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#endif

namespace morvelin::test {

inline int OpenDescriptors() {
#if defined(_WIN32)
  DWORD count = 0;
  if (!GetProcessHandleCount(GetCurrentProcess(), &count)) return -1;
  return static_cast<int>(count);
#else
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int count = 0;
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
#endif
}

}  // namespace morvelin::test
