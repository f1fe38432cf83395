#include "morvelin/output_set.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/file_io.h"
#include "base/output_target.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace morvelin {

namespace {

namespace fs = std::filesystem;

constexpr const char* kTemporarySuffix = ".morvelin-tmp";

std::string ErrorText(int error) {
  const char* text = std::strerror(error);
  return text != nullptr ? text : "unknown error";
}

// The path as every claim compares it: absolute, with the links of its
// existing part resolved, "." and ".." gone (letter case folded on Windows).
bool Key(const std::string& path, std::string& key, std::string& reason) {
  std::error_code error;
  fs::path resolved = fs::weakly_canonical(fs::path(path), error);
  if (error) {
    reason = error.message();
    return false;
  }
  key = resolved.lexically_normal().string();
#if defined(_WIN32)
  for (char& c : key)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
#endif
  return true;
}

std::string FolderOf(const std::string& path) {
  const std::string folder = fs::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

std::string NameOf(const std::string& path) { return fs::path(path).filename().string(); }

std::uint32_t ProcessId() {
#if defined(_WIN32)
  return static_cast<std::uint32_t>(GetCurrentProcessId());
#else
  return static_cast<std::uint32_t>(getpid());
#endif
}

bool ProcessAlive(unsigned long id) {
  if (id == ProcessId()) return true;
#if defined(_WIN32)
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
  if (process == nullptr) return false;
  DWORD code = 0;
  const bool alive = GetExitCodeProcess(process, &code) != 0 && code == STILL_ACTIVE;
  CloseHandle(process);
  return alive;
#else
  return kill(static_cast<pid_t>(id), 0) == 0 || errno != ESRCH;
#endif
}

// Removes the temporaries "STEM.<pid>-<n>.morvelin-tmp" in folder whose
// process is gone: what a killed run of the same output left behind.
void RemoveStaleTemporaries(const std::string& folder, const std::string& stem) {
  std::error_code error;
  fs::directory_iterator entries(fs::path(folder), error);
  if (error) return;
  const std::string prefix = stem + ".";
  const std::size_t suffix_length = std::strlen(kTemporarySuffix);
  for (const fs::directory_entry& entry : entries) {
    const std::string name = entry.path().filename().string();
    if (name.size() <= prefix.size() + suffix_length || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - suffix_length, suffix_length, kTemporarySuffix) != 0)
      continue;
    const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix_length);
    const std::size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || middle.find_first_not_of("0123456789-") != std::string::npos)
      continue;
    const unsigned long id = std::strtoul(middle.substr(0, dash).c_str(), nullptr, 10);
    if (!ProcessAlive(id) && entry.is_regular_file(error)) fs::remove(entry.path(), error);
  }
}

// Creates path, which must not exist yet; 0 or the system's error.
int CreateEmpty(const std::string& path) {
#if defined(_WIN32)
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    switch (GetLastError()) {
      case ERROR_ACCESS_DENIED: return EACCES;
      case ERROR_PATH_NOT_FOUND: return ENOENT;
      case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
      case ERROR_DISK_FULL: return ENOSPC;
      default: return EIO;
    }
  }
  CloseHandle(handle);
  return 0;
#else
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  close(fd);
  return 0;
#endif
}

// Puts from in the place of to, replacing a file there; 0 or the error.
int Replace(const std::string& from, const std::string& to) {
#if defined(_WIN32)
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) return 0;
  return GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
#else
  return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
#endif
}

// A second name for an existing file; false where the file system has none.
bool Link(const std::string& existing, const std::string& name) {
#if defined(_WIN32)
  return CreateHardLinkA(name.c_str(), existing.c_str(), nullptr) != 0;
#else
  return link(existing.c_str(), name.c_str()) == 0;
#endif
}

std::string NewTemporaryName(const std::string& folder, const std::string& stem) {
  static std::atomic<std::uint32_t> counter{0};
  const std::string name = stem + "." + std::to_string(ProcessId()) + "-" + std::to_string(++counter) +
                           kTemporarySuffix;
  return (fs::path(folder) / fs::path(name)).string();
}

}  // namespace

const std::string* MemoryOutputs::Find(const std::string& path) const {
  const auto found = files_.find(path);
  return found != files_.end() ? &found->second : nullptr;
}

bool OutputBatch::KeyOf(const std::string& path, std::string& key, std::string& reason) const {
  if (!names_only_) return Key(path, key, reason);
  key = fs::path(path).lexically_normal().string();
  return true;
}

void OutputBatch::AddInput(const std::string& path) {
  std::string key, reason;
  if (!KeyOf(path, key, reason)) return;
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.push_back({key, std::string(), path});
}

const OutputBatch::Entry* OutputBatch::Find(const std::string& key, const std::string& path) const {
  for (const Entry& entry : entries_) {
    if (entry.key == key) return &entry;
    // Two names of one file (a hard link): only inputs exist already.
    if (!names_only_ && entry.owner.empty() && SameFile(entry.label.c_str(), path.c_str())) return &entry;
  }
  return nullptr;
}

Status OutputBatch::Claim(const std::string& path, const std::string& owner) {
  std::string key, reason;
  if (!KeyOf(path, key, reason)) return Status::Failed("Error: Unable to create " + path, reason);
  std::lock_guard<std::mutex> lock(mutex_);
  if (const Entry* entry = Find(key, path)) {
    if (entry->owner.empty())
      return Status::Failed("Error: Output file would overwrite the input file: " + path,
                            "it is the input " + entry->label);
    return Status::Failed("Error: Output file " + path + " is written twice",
                          entry->owner == owner ? "another output of " + owner + " has that name"
                                                : "the output of " + entry->owner + " has that name");
  }
  entries_.push_back({key, owner, path});
  return {};
}

bool OutputBatch::Taken(const std::string& path) {
  std::string key, reason;
  if (!KeyOf(path, key, reason)) return true;
  std::lock_guard<std::mutex> lock(mutex_);
  return Find(key, path) != nullptr;
}

OutputSet::OutputSet(std::string owner, OutputBatch* batch, MemoryOutputs* memory)
    : owner_(std::move(owner)), batch_(batch), memory_(memory) {
  if (batch_ == nullptr) {
    own_batch_ = std::make_unique<OutputBatch>(memory_ != nullptr);
    batch_ = own_batch_.get();
  }
}

OutputSet::~OutputSet() { Discard(); }

Status OutputSet::Check(const std::string& final_path) {
  const std::string error = "Error: Unable to create " + final_path;
  if (final_path.empty() || NameOf(final_path).empty()) return Status::Failed(error, "no file name");
  if (memory_ != nullptr) return batch_->Claim(final_path, owner_);
  std::error_code code;
  const fs::file_status folder = fs::status(fs::path(FolderOf(final_path)), code);
  if (!fs::is_directory(folder))
    return Status::Failed(error, fs::exists(folder) ? ErrorText(ENOTDIR) : code ? code.message() : ErrorText(ENOENT));
#if !defined(_WIN32)
  if (access(FolderOf(final_path).c_str(), W_OK | X_OK) != 0) return Status::Failed(error, ErrorText(errno));
#endif
  const fs::file_status existing = fs::status(fs::path(final_path), code);
  if (fs::exists(existing) && !fs::is_regular_file(existing))
    return Status::Failed(error, fs::is_directory(existing) ? ErrorText(EISDIR) : "it is not a regular file");
  if (code && code != std::errc::no_such_file_or_directory) return Status::Failed(error, code.message());
  return batch_->Claim(final_path, owner_);
}

Status OutputSet::Plan(const std::string& final_path) {
  if (Status checked = Check(final_path); !checked.Ok()) return checked;
  files_.push_back({final_path, std::string()});
  return {};
}

std::string OutputSet::NewTemporary(const std::string& folder, const std::string& stem) {
  if (memory_ != nullptr) {
    std::string temporary = NewTemporaryName(folder, stem);
    memory_->temporaries_[temporary];
    return temporary;
  }
  RemoveStaleTemporaries(folder, stem);
  std::string temporary = NewTemporaryName(folder, stem);
  if (const int failed = CreateEmpty(temporary); failed != 0) {
    errno = failed;
    return {};
  }
  return temporary;
}

Status OutputSet::Claim(const std::string& final_path) {
  File* file = nullptr;
  for (File& planned : files_)
    if (planned.final_path == final_path) file = &planned;
  if (file == nullptr) {
    if (Status planned = Plan(final_path); !planned.Ok()) return planned;
    file = &files_.back();
  }
  if (!file->temporary.empty()) return {};
  const std::string temporary = NewTemporary(FolderOf(final_path), NameOf(final_path));
  if (temporary.empty()) return Status::Failed("Error: Unable to create " + final_path, ErrorText(errno));
  file->temporary = temporary;
  return {};
}

std::string OutputSet::WritePath(const std::string& final_path) const {
  for (const File& file : files_)
    if (file.final_path == final_path) return file.temporary;
  return {};
}

Result<std::string> OutputSet::Temporary(const std::string& folder, const std::string& stem) {
  const std::string where = folder.empty() ? "." : folder;
  std::string temporary = NewTemporary(where, stem);
  if (temporary.empty()) return Status::Failed("Error: Unable to create a file in " + where, ErrorText(errno));
  unbound_.push_back(temporary);
  return temporary;
}

Status OutputSet::Bind(const std::string& temporary, const std::string& final_path) {
  if (Status checked = Check(final_path); !checked.Ok()) return checked;
  for (auto it = unbound_.begin(); it != unbound_.end(); ++it) {
    if (*it == temporary) {
      unbound_.erase(it);
      break;
    }
  }
  files_.push_back({final_path, temporary});
  return {};
}

bool OutputSet::Taken(const std::string& final_path) { return batch_->Taken(final_path); }

Result<std::unique_ptr<OutputTarget>> OutputSet::Open(const std::string& temporary, bool text) {
  if (memory_ == nullptr) return OpenFileTarget(temporary, text);
  const auto found = memory_->temporaries_.find(temporary);
  if (found == memory_->temporaries_.end())
    return Status::Failed("Error: Unable to create " + temporary, ErrorText(ENOENT));
  return OpenMemoryTarget(found->second);
}

Status OutputSet::Commit() {
  if (memory_ == nullptr) return CommitToDisk();
  for (File& file : files_) {
    const auto found = memory_->temporaries_.find(file.temporary);
    if (file.temporary.empty() || found == memory_->temporaries_.end()) continue;
    memory_->files_[file.final_path] = std::move(found->second);
    memory_->temporaries_.erase(found);
    file.temporary.clear();
  }
  Discard();
  return {};
}

Status OutputSet::CommitToDisk() {
  // A second name of each earlier output first, so that a rename that
  // fails midway can give back the ones renamed before it.
  std::vector<std::string> earlier(files_.size());
  std::vector<bool> existed(files_.size());
  for (std::size_t i = 0; i < files_.size(); ++i) {
    const File& file = files_[i];
    existed[i] = PathExists(file.final_path.c_str());
    if (file.temporary.empty() || !existed[i]) continue;
    earlier[i] = NewTemporaryName(FolderOf(file.final_path), NameOf(file.final_path));
    if (!Link(file.final_path, earlier[i])) earlier[i].clear();
  }
  Status status;
  std::size_t renamed = 0;
  for (; renamed < files_.size(); ++renamed) {
    const File& file = files_[renamed];
    if (file.temporary.empty()) continue;
    int failed = IsDirectory(file.final_path.c_str()) ? EISDIR : 0;
    if (failed == 0) failed = Replace(file.temporary, file.final_path);
    if (failed != 0) {
      status = Status::Failed("Error: Unable to create " + file.final_path, ErrorText(failed));
      break;
    }
  }
  const bool ok = status.Ok();
  for (std::size_t i = 0; i < files_.size(); ++i) {
    File& file = files_[i];
    if (!ok && i < renamed && !file.temporary.empty()) {
      // Put back what was there: the earlier file, or nothing (a file
      // system without second names keeps the new one).
      if (!earlier[i].empty())
        Replace(earlier[i], file.final_path);
      else if (!existed[i])
        std::remove(file.final_path.c_str());
    }
    if (!ok && i >= renamed && !file.temporary.empty()) std::remove(file.temporary.c_str());
    if (!earlier[i].empty()) std::remove(earlier[i].c_str());
    file.temporary.clear();
  }
  Discard();
  return status;
}

void OutputSet::RemoveTemporary(const std::string& temporary) {
  if (memory_ != nullptr)
    memory_->temporaries_.erase(temporary);
  else
    std::remove(temporary.c_str());
}

void OutputSet::Discard() {
  for (File& file : files_) {
    if (!file.temporary.empty()) RemoveTemporary(file.temporary);
    file.temporary.clear();
  }
  for (const std::string& temporary : unbound_) RemoveTemporary(temporary);
  unbound_.clear();
}

void OutputSet::Drop(const std::string& temporary) {
  if (temporary.empty()) return;
  for (File& file : files_)
    if (file.temporary == temporary) file.temporary.clear();
  std::erase(unbound_, temporary);
  RemoveTemporary(temporary);
}

std::vector<std::string> OutputSet::FinalPaths() const {
  std::vector<std::string> paths;
  for (const File& file : files_) paths.push_back(file.final_path);
  return paths;
}

}  // namespace morvelin
