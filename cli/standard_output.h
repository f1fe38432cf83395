// The end of every command that prints its results: what was written to
// standard output must have reached it.
#pragma once

namespace morvelin::cli {

// Exit code of a command whose standard output could not be written.
inline constexpr int kOutputFailed = 2;

// Flushes standard output (the C++ stream and the C stream under it) and
// checks that no write failed. Returns exit_code when all went out;
// otherwise says "morvelin: cannot write to standard output: REASON" on
// standard error and returns kOutputFailed, or exit_code when that is larger.
int FinishStandardOutput(int exit_code);

}  // namespace morvelin::cli
