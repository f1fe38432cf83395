#include "host/library_state.h"

#include <cstring>

namespace morvelin {

LibraryState& Library() {
  static LibraryState state;
  return state;
}

void SetMessage(std::string_view text) {
  char* message = Library().message;
  std::size_t length = text.size() < kMessageSize - 1 ? text.size() : kMessageSize - 1;
  // memmove: text may be (part of) the message buffer itself.
  std::memmove(message, text.data(), length);
  message[length] = '\0';
}

void SendMessage(double time, std::string_view text) {
  SetMessage(text);
  const MorvelinCallbacks* callbacks = Library().callbacks;
  if (callbacks != nullptr && callbacks->message != nullptr) callbacks->message(time, Library().message);
}

void SendFixedMessage(double time, const char* text) {
  const MorvelinCallbacks* callbacks = Library().callbacks;
  if (callbacks != nullptr && callbacks->message != nullptr) callbacks->message(time, text);
}

void SendProgress(std::int64_t position, std::int64_t length) {
  const MorvelinCallbacks* callbacks = Library().callbacks;
  if (callbacks == nullptr || callbacks->progress == nullptr) return;
  int shift = 0;
  while ((length >> shift) > INT32_MAX || (position >> shift) > INT32_MAX) ++shift;
  callbacks->progress(static_cast<std::int32_t>(position >> shift), static_cast<std::int32_t>(length >> shift));
}

}  // namespace morvelin
