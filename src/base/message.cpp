#include "base/message.h"

#include <cstring>

namespace morvelin {

namespace {
char g_message[kMessageSize] = {};
}  // namespace

char* LibraryMessage() { return g_message; }

void SetLibraryMessage(std::string_view text) {
  const std::size_t length = text.size() < kMessageSize - 1 ? text.size() : kMessageSize - 1;
  std::memmove(g_message, text.data(), length);
  g_message[length] = '\0';
}

}  // namespace morvelin
