// Opening a measurement file by a path longer than the library's reader
// takes: the folder is looked up first, then the file by its name in it, as
// if from that folder, but without moving the process's working folder.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>

#if defined(_WIN32)
#include <system_error>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "base/message.h"
#include "listing_internal.h"

namespace morvelin::cli::detail {

namespace {

// The stream buffer a listing reads through, in bytes.
constexpr std::uint16_t kBufferSize = 16384;

// A folder, held for opening files by their names in it. Entered() tells
// whether the working folder could be moved there: the folder exists and
// may be searched.
class Folder {
 public:
  explicit Folder(const std::filesystem::path& path);
  ~Folder();
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  bool Entered() const { return entered_; }
  // The file of that name in the folder, opened for reading ("rb"); null
  // when it cannot be opened.
  std::FILE* Open(const std::filesystem::path& name) const;

 private:
  bool entered_ = false;
#if defined(_WIN32)
  std::filesystem::path path_;
#else
  int descriptor_ = -1;
#endif
};

#if defined(_WIN32)

Folder::Folder(const std::filesystem::path& path) : path_(path) {
  std::error_code error;
  entered_ = std::filesystem::is_directory(path, error);
}

Folder::~Folder() = default;

std::FILE* Folder::Open(const std::filesystem::path& name) const {
  if (name.empty()) return nullptr;
  return _wfopen((path_ / name).c_str(), L"rb");
}

#else

Folder::Folder(const std::filesystem::path& path) {
#if defined(O_PATH)
  descriptor_ = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
  descriptor_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#endif
  // Moving into a folder takes the right to search it, which a descriptor
  // for names alone does not ask for.
  entered_ = descriptor_ >= 0 && ::faccessat(descriptor_, ".", X_OK, AT_EACCESS) == 0;
}

Folder::~Folder() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

std::FILE* Folder::Open(const std::filesystem::path& name) const {
  const int file = ::openat(descriptor_, name.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return nullptr;
  std::FILE* stream = ::fdopen(file, "rb");
  if (stream == nullptr) ::close(file);
  return stream;
}

#endif

// The reader's answer to a path longer than it takes: the refusal alone,
// nothing is opened.
Result<MeasurementFile*> RefuseLength(const std::string& path) { return OpenGpb(path.c_str(), kBufferSize); }

}  // namespace

Result<MeasurementFile*> OpenListedFile(const std::string& path) {
  const std::filesystem::path full(path);
  if (path.size() <= kGpbPathLimit || !full.has_parent_path()) return OpenGpb(path.c_str(), kBufferSize);
  const Folder folder(full.parent_path());
  if (!folder.Entered()) return RefuseLength(path);
  const std::string name = full.filename().string();
  if (name.size() > kGpbPathLimit) return RefuseLength(name);
  std::FILE* stream = folder.Open(full.filename());
  if (stream == nullptr) return Status::Failed(PathMessage("Error: File ", name, " not found"));
  return AdoptGpb(stream, name.c_str(), kBufferSize);
}

}  // namespace morvelin::cli::detail
