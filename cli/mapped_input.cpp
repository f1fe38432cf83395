#include "mapped_input.h"

#include "morvelin/converter.h"

#if !defined(_WIN32)
#include <signal.h>
#endif

namespace morvelin::cli {

#if defined(_WIN32)

bool AllowMappedInput() { return false; }

#else

namespace {

// A page of a mapped input that its file no longer has reads as zeros and
// fails that run; any other bus error keeps its default action, which the
// faulting instruction meets again when the handler returns.
extern "C" void OnBusError(int, siginfo_t* info, void*) {
  if (RecoverMappedInputFault(info->si_addr)) return;
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(SIGBUS, &fallback, nullptr);
}

}  // namespace

bool AllowMappedInput() {
  static const bool installed = [] {
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGBUS, &action, nullptr) == 0;
  }();
  return installed;
}

#endif

}  // namespace morvelin::cli
