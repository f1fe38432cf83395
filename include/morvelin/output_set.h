// The files a run writes, planned before the run reads its first record and
// put into place together when it is over.
//
// A run claims each output it will write. A claim is refused, before
// anything is written, when the output is an input of the run or of its
// batch, when another output of the run or batch already claimed the same
// file, when its folder is missing or cannot be written, or when something
// other than a regular file sits at its name (a folder, a device, a
// socket). The bytes go to a temporary file beside each output, named
// "NAME.<process id>.morvelin-tmp"; Commit renames every temporary into
// place, Discard (or the destructor) removes them, so a run that fails
// leaves the earlier outputs byte for byte as they were. A temporary left
// behind by a killed process is removed by the next claim of its output.
//
// Texts come back as "Error: ..." lines that name the file; reasons in the
// system's words ("Permission denied", "File name too long") separately.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "morvelin/status.h"

namespace morvelin {

// Everything declared here is the C++ library's public interface: exported
// from libmorvelin-cxx.so, which is built with hidden visibility.
#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility push(default)
#endif

// One output file's bytes as a run writes them: a file on disk, or a
// string in memory. Used by one thread at a time.
class OutputTarget {
 public:
  virtual ~OutputTarget() = default;
  // Appends size bytes. False when they could not be written (Error() says
  // why); the output is then incomplete.
  virtual bool Write(const void* data, std::size_t size) = 0;
  // Where the next byte goes: a position to WriteAt later, or -1.
  virtual std::int64_t Position() = 0;
  // Overwrites bytes written before, starting at a position taken with
  // Position(); the writes go on at the end afterwards.
  virtual bool WriteAt(std::int64_t position, const void* data, std::size_t size) = 0;
  // Disk space for length bytes from offset, ahead of the writes (files on
  // disk that grow fast); false when none was reserved.
  virtual bool Reserve(std::int64_t offset, std::int64_t length) { return (void)offset, (void)length, false; }
  // Gives back what a reservation took beyond the bytes written.
  virtual void ReleaseReserved() {}
  // Says that WriteAt will overwrite none but the bytes written so far. A
  // compressing target keeps those apart (uncompressed, to be rewritten)
  // and compresses what follows as it comes; the others take no notice.
  virtual void EndRewritablePart() {}
  // Puts out what is buffered, then closes. False when this or an earlier
  // write failed.
  virtual bool Close() = 0;
  // The system's error (errno) of the first failure, or 0.
  virtual int Error() const = 0;
};

// Creates (or empties) the file at path on disk. text: "\n" reaches the
// disk as the platform's line end, the stream buffered; else bytes as they
// are, written unbuffered (the caller buffers).
Result<std::unique_ptr<OutputTarget>> OpenFileTarget(const std::string& path, bool text);

// The outputs of runs kept in memory instead of written to disk, by the
// paths they would have: what a program or a test reads back without
// touching the disk. Lines end in "\n" on every platform.
class MemoryOutputs {
 public:
  // The files put into place (committed), by path.
  const std::map<std::string, std::string>& Files() const { return files_; }
  // A file's bytes, or null when there is none.
  const std::string* Find(const std::string& path) const;

 private:
  friend class OutputSet;
  std::map<std::string, std::string> files_;
  std::map<std::string, std::string> temporaries_;  // written, not committed yet
};

// What a batch of runs reads and writes: every run of a batch refuses to
// write an input of the batch or a file another of its runs claimed.
// Thread-safe; shared by runs in several threads.
class OutputBatch {
 public:
  // names_only: paths are compared as written (made normal), without
  // looking at the disk: for outputs kept in memory.
  explicit OutputBatch(bool names_only = false) : names_only_(names_only) {}

  // An input of the batch, never to be written.
  void AddInput(const std::string& path);
  // Claims path for owner (a label of the run, for messages). Refused when
  // the path is an input or claimed by another owner.
  Status Claim(const std::string& path, const std::string& owner);
  // True when path is an input or claimed already.
  bool Taken(const std::string& path);

 private:
  struct Entry {
    std::string key;    // the absolute, normal path
    std::string owner;  // empty for an input
    std::string label;  // the path as given
  };
  const Entry* Find(const std::string& key, const std::string& path) const;
  bool KeyOf(const std::string& path, std::string& key, std::string& reason) const;

  bool names_only_;
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

class OutputSet {
 public:
  // owner names the run in the texts of a clash. Without a batch the set
  // keeps one of its own. memory: the outputs go there instead of to disk
  // (paths are then names only: no folder is looked at).
  explicit OutputSet(std::string owner, OutputBatch* batch = nullptr, MemoryOutputs* memory = nullptr);
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;
  ~OutputSet();  // discards what was not committed

  // An input of the run (and so of its batch), never to be written.
  void AddInput(const std::string& path) { batch_->AddInput(path); }

  // Claims final_path for the run without writing anything yet; refused
  // with the texts. A planned output need not be written; only those
  // written are put into place.
  Status Plan(const std::string& final_path);
  // Plans final_path (unless planned already) and makes its temporary
  // (empty). Refused when the claim is refused or the temporary cannot be
  // made.
  Status Claim(const std::string& final_path);
  // The temporary to write final_path's bytes to (after Claim); empty when
  // final_path was not claimed.
  std::string WritePath(const std::string& final_path) const;
  // For a file whose name is known only once it is written: a new empty
  // temporary in folder, "STEM.<process id>-<n>.morvelin-tmp".
  Result<std::string> Temporary(const std::string& folder, const std::string& stem);
  // Gives a temporary made by Temporary its final name, claimed as Claim
  // claims it (but no new temporary is made).
  Status Bind(const std::string& temporary, const std::string& final_path);
  // True when final_path can no longer be claimed by this set: an input,
  // or claimed by this or another run.
  bool Taken(const std::string& final_path);
  // Opens a temporary of the set (WritePath or Temporary) for writing.
  // text: as OpenFileTarget.
  Result<std::unique_ptr<OutputTarget>> Open(const std::string& temporary, bool text);
  // True when the outputs go to memory.
  bool InMemory() const { return memory_ != nullptr; }

  // Renames every claimed temporary into place (outputs whose temporary is
  // gone are left out). On failure, the texts of the first that failed;
  // those renamed before it are put back as they were, the rest removed.
  Status Commit();
  // Removes every temporary of the set.
  void Discard();
  // Removes one temporary (an output given up); its output is not put
  // into place.
  void Drop(const std::string& temporary);

  // The final paths claimed, in the order they were claimed.
  std::vector<std::string> FinalPaths() const;

 private:
  struct File {
    std::string final_path;
    std::string temporary;
  };
  Status Check(const std::string& final_path);
  std::string NewTemporary(const std::string& folder, const std::string& stem);
  Status CommitToDisk();
  void RemoveTemporary(const std::string& temporary);

  std::string owner_;
  std::unique_ptr<OutputBatch> own_batch_;
  OutputBatch* batch_;
  MemoryOutputs* memory_;
  std::vector<File> files_;
  std::vector<std::string> unbound_;  // temporaries not given a name yet
};

#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility pop
#endif

}  // namespace morvelin
