// How the libraries report a failure: a Status (done, or failed with a
// message and the system's reason) or a Result<T> (a value, or the same
// failure). Readers, writers, sinks and the command line all use these; only
// the host interface keeps the process-wide message text the host reads.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace morvelin {

// Everything declared here is the C++ library's public interface: exported
// from libmorvelin-cxx.so, which is built with hidden visibility.
#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility push(default)
#endif

// A failure: the text for the user ("Error: Unable to write to X") and, when
// the system gave one, its reason in its own words ("No space left on
// device"), which the message may include too.
struct Error {
  std::string message;
  std::string reason;
};

class [[nodiscard]] Status {
 public:
  Status() = default;  // done
  Status(Error error) : error_(std::make_shared<const Error>(std::move(error))) {}  // NOLINT: a failure converts
  static Status Failed(std::string message, std::string reason = {}) {
    return Status(Error{std::move(message), std::move(reason)});
  }

  bool Ok() const { return error_ == nullptr; }
  explicit operator bool() const { return Ok(); }
  // Empty when done.
  const std::string& Message() const { return error_ != nullptr ? error_->message : Empty(); }
  const std::string& Reason() const { return error_ != nullptr ? error_->reason : Empty(); }

 private:
  static const std::string& Empty() {
    static const std::string empty;
    return empty;
  }
  std::shared_ptr<const Error> error_;  // null when done; shared so a Status copies cheaply
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : value_(std::move(value)) {}  // NOLINT: a value converts
  Result(Error error) : status_(std::move(error)) {}  // NOLINT: a failure converts
  Result(morvelin::Status failed)  // NOLINT: a failure converts
      : status_(failed.Ok() ? morvelin::Status::Failed("Error: No result") : std::move(failed)) {}

  bool Ok() const { return value_.has_value(); }
  explicit operator bool() const { return Ok(); }
  T& Value() { return *value_; }
  const T& Value() const { return *value_; }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  // The failure (a done Status when there is a value).
  const morvelin::Status& Status() const { return status_; }
  const std::string& Message() const { return status_.Message(); }
  const std::string& Reason() const { return status_.Reason(); }

 private:
  std::optional<T> value_;
  morvelin::Status status_;
};

#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility pop
#endif

}  // namespace morvelin
