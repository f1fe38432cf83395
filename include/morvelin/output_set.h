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

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace morvelin {

// What a batch of runs reads and writes: every run of a batch refuses to
// write an input of the batch or a file another of its runs claimed.
// Thread-safe; shared by runs in several threads.
class OutputBatch {
 public:
  // An input of the batch, never to be written.
  void AddInput(const std::string& path);

  // Claims path for owner (a label of the run, for messages). False, with
  // the texts set, when the path is an input or claimed by another owner.
  bool Claim(const std::string& path, const std::string& owner, std::string& error, std::string& reason);
  // True when path is an input or claimed already.
  bool Taken(const std::string& path);

 private:
  struct Entry {
    std::string key;    // the absolute, normal path
    std::string owner;  // empty for an input
    std::string label;  // the path as given
  };
  const Entry* Find(const std::string& key, const std::string& path) const;

  std::mutex mutex_;
  std::vector<Entry> entries_;
};

class OutputSet {
 public:
  // owner names the run in the texts of a clash. Without a batch the set
  // keeps one of its own.
  explicit OutputSet(std::string owner, OutputBatch* batch = nullptr);
  OutputSet(const OutputSet&) = delete;
  OutputSet& operator=(const OutputSet&) = delete;
  ~OutputSet();  // discards what was not committed

  // An input of the run (and so of its batch), never to be written.
  void AddInput(const std::string& path) { batch_->AddInput(path); }

  // Claims final_path for the run without writing anything yet: false,
  // with the texts set, when the claim is refused. A planned output need
  // not be written; only those written are put into place.
  bool Plan(const std::string& final_path, std::string& error, std::string& reason);
  // Plans final_path (unless planned already) and makes its temporary
  // (empty). False with the texts set when the claim is refused or the
  // temporary cannot be made.
  bool Claim(const std::string& final_path, std::string& error, std::string& reason);
  // The temporary to write final_path's bytes to (after Claim); empty when
  // final_path was not claimed.
  std::string WritePath(const std::string& final_path) const;

  // For a file whose name is known only once it is written: a new empty
  // temporary in folder, "STEM.<process id>.morvelin-tmp". Empty, with the
  // texts set, when it cannot be made.
  std::string Temporary(const std::string& folder, const std::string& stem, std::string& error,
                        std::string& reason);
  // Gives a temporary made by Temporary its final name, claimed as Claim
  // claims it (but no new temporary is made). False when refused.
  bool Bind(const std::string& temporary, const std::string& final_path, std::string& error, std::string& reason);
  // True when final_path can no longer be claimed by this set: an input,
  // or claimed by this or another run.
  bool Taken(const std::string& final_path);

  // Renames every claimed temporary into place (outputs whose temporary is
  // gone are left out). False, with the texts of the first that failed;
  // those renamed before it stay in place, the rest are removed.
  bool Commit(std::string& error, std::string& reason);
  // Removes every temporary of the set.
  void Discard();

  // The final paths claimed, in the order they were claimed.
  std::vector<std::string> FinalPaths() const;

 private:
  struct File {
    std::string final_path;
    std::string temporary;
  };
  bool Check(const std::string& final_path, std::string& error, std::string& reason);

  std::string owner_;
  std::unique_ptr<OutputBatch> own_batch_;
  OutputBatch* batch_;
  std::vector<File> files_;
  std::vector<std::string> unbound_;  // temporaries not given a name yet
};

}  // namespace morvelin
