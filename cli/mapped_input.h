// Inputs read through a memory mapping: the bus-error handler that keeps a
// file cut short by another program from ending the process.
#pragma once

namespace morvelin::cli {

// Installs the handler once; true when inputs may be mapped (never on Windows).
bool AllowMappedInput();

}  // namespace morvelin::cli
