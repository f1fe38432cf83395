#include "standard_output.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace morvelin::cli {

namespace {

volatile std::sig_atomic_t g_output_closed = 0;

#if !defined(_WIN32)
extern "C" void OnClosedOutput(int) { g_output_closed = 1; }
#endif

}  // namespace

void WatchForClosedOutput() {
#if !defined(_WIN32)
  std::signal(SIGPIPE, OnClosedOutput);
#endif
}

int FinishStandardOutput(int exit_code) {
  // A write that failed before this point (a command may flush on its own)
  // left its reason in errno: no call since has failed, and none clears it.
  const int earlier = errno;
  errno = 0;
  std::cout.flush();
  const bool flushed = std::fflush(stdout) == 0;
  const int reason = errno != 0 ? errno : earlier;
  if (flushed && std::ferror(stdout) == 0 && std::cout.good()) return exit_code;
  if (g_output_closed != 0 || reason == EPIPE) return exit_code > kOutputClosed ? exit_code : kOutputClosed;
  std::fputs("morvelin: cannot write to standard output", stderr);
  if (reason != 0) std::fprintf(stderr, ": %s", std::strerror(reason));
  std::fputc('\n', stderr);
  return exit_code > kOutputFailed ? exit_code : kOutputFailed;
}

}  // namespace morvelin::cli
