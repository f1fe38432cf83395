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

std::string PathMessage(std::string_view prefix, std::string_view path, std::string_view suffix) {
  std::string text;
  text.reserve(prefix.size() + path.size() + suffix.size());
  text.append(prefix).append(path).append(suffix);
  if (text.size() > kMessageSize - 1) text.resize(kMessageSize - 1);
  return text;
}

Status WriteFailure(std::string_view path, int error) {
  return Status::Failed(PathMessage("Error: Unable to write to ", path), error != 0 ? std::strerror(error) : "");
}

}  // namespace morvelin
