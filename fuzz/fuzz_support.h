// What every fuzz target shares: a scratch folder of its own (in memory
// where the system has one), descriptor counting, and a loud stop when a
// property of the library does not hold (libFuzzer then keeps the input).
#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

namespace morvelin::fuzz {

// Stops the run with a message; libFuzzer saves the input as a crash.
[[noreturn]] inline void Violated(const char* what) {
  std::fprintf(stderr, "fuzz property violated: %s\n", what);
  std::abort();
}

#define MORVELIN_FUZZ_CHECK(condition) \
  do {                                 \
    if (!(condition)) ::morvelin::fuzz::Violated(#condition); \
  } while (0)

// A folder for this process's files: /dev/shm when there is one (no disk
// traffic for millions of runs), else the temporary folder.
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string path = std::string(base) + "/morvelin-fuzz-" + std::to_string(getpid());
    std::string command = "mkdir -p '" + path + "'";
    if (std::system(command.c_str()) != 0) Violated("cannot create the scratch folder");
    return path;
  }();
  return dir;
}

inline std::string ScratchFile(const char* name) { return ScratchDir() + "/" + name; }

inline bool WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool ok = (size == 0 || std::fwrite(data, 1, size, file) == size);
  return std::fclose(file) == 0 && ok;
}

inline std::string ReadFile(const std::string& path) {
  std::string bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  char chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
  std::fclose(file);
  return bytes;
}

// Open descriptors of the process (the directory stream's own included,
// the same on every call).
inline int OpenDescriptors() {
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  int count = 0;
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
}

}  // namespace morvelin::fuzz
