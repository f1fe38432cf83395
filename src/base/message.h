// The library's message text: what GetErrString hands the host. It is the
// one text the loaded library keeps process-wide; the host interface and the
// measurement file library set it, a conversion never does (a converter
// reports through its own result and receivers).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "morvelin/morvelin.h"
#include "morvelin/status.h"

namespace morvelin {

inline constexpr std::size_t kMessageSize = MORVELIN_MESSAGE_SIZE;

// Copies text into the message buffer, cut to 159 characters. text may be
// (part of) the buffer itself.
void SetLibraryMessage(std::string_view text);

// The message buffer (kMessageSize bytes, always NUL-terminated).
char* LibraryMessage();

// prefix + path + suffix, cut as the message buffer cuts it: the texts that
// name a file ("Error: Unable to write to %s").
std::string PathMessage(std::string_view prefix, std::string_view path, std::string_view suffix = {});

// A write, flush or close of path that failed: "Error: Unable to write to
// PATH" (cut as PathMessage cuts it) with the system's reason for error
// (errno; none when 0).
Status WriteFailure(std::string_view path, int error);

}  // namespace morvelin
