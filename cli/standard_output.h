// The end of every command that prints its results: what was written to
// standard output must have reached it.
#pragma once

namespace morvelin::cli {

// Exit code of a command whose standard output could not be written.
inline constexpr int kOutputFailed = 2;
// Exit code of a command whose standard output was closed by its reader.
inline constexpr int kOutputClosed = 1;

// Makes a standard output closed by its reader (a pipe into `head` that
// has read enough) a failed write that the command sees, instead of the
// signal that would kill it on the spot. A command that prints much stops
// printing when a write fails. Call once, before any command runs; a
// command may put its own handler in place afterwards (convert does).
void WatchForClosedOutput();

// Flushes standard output (the C++ stream and the C stream under it) and
// checks that no write failed. Returns exit_code when all went out. When
// the reader closed it, says nothing and returns kOutputClosed, or
// exit_code when that is larger: the reader had what it wanted, but the
// command did not print all it had to, as a stopped run does not finish.
// On any other failure says "morvelin: cannot write to standard output:
// REASON" on standard error and returns kOutputFailed, or exit_code when
// that is larger.
int FinishStandardOutput(int exit_code);

}  // namespace morvelin::cli
