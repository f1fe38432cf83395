#include "standard_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace morvelin::cli {

int FinishStandardOutput(int exit_code) {
  // A write that failed before this point (a command may flush on its own)
  // left its reason in errno: no call since has failed, and none clears it.
  const int earlier = errno;
  errno = 0;
  std::cout.flush();
  const bool flushed = std::fflush(stdout) == 0;
  const int reason = errno != 0 ? errno : earlier;
  if (flushed && std::ferror(stdout) == 0 && std::cout.good()) return exit_code;
  std::fputs("morvelin: cannot write to standard output", stderr);
  if (reason != 0) std::fprintf(stderr, ": %s", std::strerror(reason));
  std::fputc('\n', stderr);
  return exit_code > kOutputFailed ? exit_code : kOutputFailed;
}

}  // namespace morvelin::cli
