// The two kinds of output target: a file on disk and a string in memory.
#pragma once

#include <memory>
#include <string>

#include "morvelin/output_set.h"

namespace morvelin {

// Writes into bytes, which the caller keeps alive while the target is used.
std::unique_ptr<OutputTarget> OpenMemoryTarget(std::string& bytes);

// A gzip file (zlib, default level) written into inner, a binary target:
// what is written is what gunzip gives back. text: "\n" is given back as
// the platform's line end, as OpenFileTarget's text mode writes it.
// Positions and WriteAt count the bytes given back. WriteAt reaches the
// bytes before EndRewritablePart() only (they become a first gzip member,
// stored, rewritten at Close; the rest a second, compressed); without that
// call the file is one compressed member and WriteAt is refused once more
// than 64 KiB were written. Null when zlib was not built in.
std::unique_ptr<OutputTarget> OpenGzipTarget(std::unique_ptr<OutputTarget> inner, bool text);

// Whether this build writes gzip files.
bool GzipAvailable();

// Up to limit bytes from the start of the file at path, as gunzip gives
// them back when it is a gzip file (its first member), else as they are.
// False when it cannot be read, or is gzip and this build has no zlib.
bool ReadFileStart(const std::string& path, std::size_t limit, std::string& text);

}  // namespace morvelin
