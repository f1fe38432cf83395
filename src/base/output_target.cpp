#include "base/output_target.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/file_io.h"

namespace morvelin {

namespace {

// A larger buffer than the default for text files: fewer, larger writes.
constexpr std::size_t kTextBuffer = 64 * 1024;

class FileTarget final : public OutputTarget {
 public:
  explicit FileTarget(std::FILE* stream) : stream_(stream) {}
  ~FileTarget() override {
    if (stream_ != nullptr) std::fclose(stream_);
  }

  bool Write(const void* data, std::size_t size) override {
    if (stream_ == nullptr) return Failed(EBADF);
    errno = 0;
    return size == 0 || std::fwrite(data, 1, size, stream_) == size || Failed(errno);
  }
  std::int64_t Position() override {
    if (stream_ == nullptr) return -1;
    errno = 0;
    const std::int64_t position = Tell(stream_);
    if (position < 0) Failed(errno);
    return position;
  }
  bool WriteAt(std::int64_t position, const void* data, std::size_t size) override {
    if (stream_ == nullptr) return Failed(EBADF);
    errno = 0;
    if (SeekAbsolute(stream_, position) != 0 || !Write(data, size) || SeekEnd(stream_) != 0) return Failed(errno);
    return true;
  }
  bool Reserve(std::int64_t offset, std::int64_t length) override {
    return stream_ != nullptr && ReserveSpace(stream_, offset, length);
  }
  void ReleaseReserved() override {
    if (stream_ != nullptr) ReleaseReservedSpace(stream_);
  }
  bool Close() override {
    if (stream_ == nullptr) return error_ == 0;
    errno = 0;
    if (std::ferror(stream_) != 0) Failed(errno);
    if (std::fclose(stream_) != 0) Failed(errno);
    stream_ = nullptr;
    return error_ == 0;
  }
  int Error() const override { return error_; }

 private:
  bool Failed(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
    return false;
  }

  std::FILE* stream_;
  int error_ = 0;
};

class MemoryTarget final : public OutputTarget {
 public:
  explicit MemoryTarget(std::string& bytes) : bytes_(bytes) {}

  bool Write(const void* data, std::size_t size) override {
    if (closed_) return false;
    bytes_.append(static_cast<const char*>(data), size);
    return true;
  }
  std::int64_t Position() override { return static_cast<std::int64_t>(bytes_.size()); }
  bool WriteAt(std::int64_t position, const void* data, std::size_t size) override {
    if (closed_ || position < 0 || static_cast<std::size_t>(position) > bytes_.size() ||
        size > bytes_.size() - static_cast<std::size_t>(position))
      return false;
    bytes_.replace(static_cast<std::size_t>(position), size, static_cast<const char*>(data), size);
    return true;
  }
  bool Close() override {
    closed_ = true;
    return true;
  }
  int Error() const override { return 0; }

 private:
  std::string& bytes_;
  bool closed_ = false;
};

}  // namespace

Result<std::unique_ptr<OutputTarget>> OpenFileTarget(const std::string& path, bool text) {
  errno = 0;
  std::FILE* stream = OpenForWriting(path.c_str(), !text);
  if (stream == nullptr) return Status::Failed("Error: Unable to create " + path, std::strerror(errno != 0 ? errno : EACCES));
  if (text)
    std::setvbuf(stream, nullptr, _IOFBF, kTextBuffer);
  else
    std::setvbuf(stream, nullptr, _IONBF, 0);
  std::unique_ptr<OutputTarget> target(new (std::nothrow) FileTarget(stream));
  if (!target) {
    std::fclose(stream);
    return Status::Failed("Error: Not enough memory for " + path);
  }
  return target;
}

std::unique_ptr<OutputTarget> OpenMemoryTarget(std::string& bytes) { return std::make_unique<MemoryTarget>(bytes); }

}  // namespace morvelin
