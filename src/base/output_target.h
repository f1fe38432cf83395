// The two kinds of output target: a file on disk and a string in memory.
#pragma once

#include <memory>
#include <string>

#include "morvelin/output_set.h"

namespace morvelin {

// Writes into bytes, which the caller keeps alive while the target is used.
std::unique_ptr<OutputTarget> OpenMemoryTarget(std::string& bytes);

}  // namespace morvelin
