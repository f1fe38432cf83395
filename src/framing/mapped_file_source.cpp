// Reading a raw data file through a window of a memory mapping, and the
// bus-error recovery that makes it safe when another program cuts the file
// short while it is read.
//
// The window (kWindowSize bytes) slides along the file as the record reader
// moves; only it is mapped (and, for a moment, the one left behind), so the
// memory a run touches stays small whatever the file's size. In a file
// longer than one window, a page-in thread faults each new window's pages in
// ahead of the decoding, which is the slowest thread of a conversion, and
// unmaps the window left behind.
//
// Each source's window is listed in a fixed table that the signal handler
// reads without locks: a fault inside a listed window (on either thread) is
// a page the file no longer has, which is replaced by a page of zeros, and
// the source reports the input as unreadable at its next window.
#include "framing/mapped_file_source.h"

#include "base/file_io.h"
#include "framing/file_source.h"
#include "morvelin/converter.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>
#endif

namespace morvelin {

#if defined(_WIN32)

std::unique_ptr<ByteSource> OpenMappedFile(const char* path) { return FileSource::Open(path); }
bool RecoverMappedInputFault(const void*) noexcept { return false; }

#else

namespace {

constexpr std::int64_t kWindowSize = std::int64_t{2} << 20;  // a multiple of every page size
// The decoding faults in the first pages of a window itself; the page-in
// thread starts this far past where the decoding starts.
constexpr std::size_t kPageInLead = std::size_t{64} << 10;
constexpr int kWindowSlots = 64;  // files read by mapping at once; more are read as FileSource reads

struct WindowSlot {
  std::atomic<bool> taken{false};
  std::atomic<std::uintptr_t> begin{0};
  std::atomic<std::uintptr_t> end{0};
  std::atomic<bool> lost{false};
};

WindowSlot g_windows[kWindowSlots];
std::atomic<std::uintptr_t> g_page_size{0};

int TakeSlot() {
  for (int i = 0; i < kWindowSlots; ++i) {
    bool expected = false;
    if (g_windows[i].taken.compare_exchange_strong(expected, true)) {
      g_windows[i].lost.store(false);
      return i;
    }
  }
  return -1;
}

class MappedFileSource final : public ByteSource {
 public:
  // Takes the descriptor of a regular file of length bytes, and a slot.
  MappedFileSource(int descriptor, int slot, std::int64_t length)
      : descriptor_(descriptor), window_slot_(slot), length_(length) {}
  ~MappedFileSource() override;

  std::int64_t Length() override { return length_; }
  bool CutWhileRead() const override { return cut_while_read_; }

 private:
  bool NextWindow() override;
  // The next window is mapped where the skip lands.
  bool SkipPastWindow(std::int64_t count) override {
    MoveTo(Position() + count);
    return true;
  }
  bool StillReadable();
  void UnmapWindow();
  void PageIn(void* left_behind, std::size_t left_size, std::size_t from);
  void WaitForPager();
  void PagerLoop();
  void StopPager();

  int descriptor_;
  int window_slot_;
  std::int64_t length_;
  void* window_ = nullptr;  // the window mapped now
  std::size_t window_size_ = 0;
  bool cut_while_read_ = false;

  // A file longer than one window has a page-in thread: while this thread
  // decodes the start of a window, that one reads a byte of each page of
  // the rest of it, then unmaps the window left behind, so that the
  // decoding neither takes the page faults nor waits for the unmapping.
  // One request at a time, under mutex_.
  std::thread pager_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool pager_tried_ = false;  // a thread was asked for (it may have been refused)
  bool pager_stopping_ = false;
  const std::uint8_t* page_in_window_ = nullptr;  // the window of the request; null: none
  std::size_t page_in_from_ = 0;                  // offsets in it of the pages asked for
  std::size_t page_in_to_ = 0;
  void* left_behind_ = nullptr;  // the window to unmap then, or null
  std::size_t left_size_ = 0;
};

MappedFileSource::~MappedFileSource() {
  StopPager();
  UnmapWindow();
  close(descriptor_);
  g_windows[window_slot_].taken.store(false);
}

// The page-in thread: reads one byte of each page asked for, then unmaps the
// window left behind (the decoding is in the new window by then, and would
// otherwise overtake the reads while the unmapping runs). A page the file
// lost meanwhile is a bus error here, which the handler turns into zeros and
// a lost input, as it does on the decoding thread.
void MappedFileSource::PagerLoop() {
  const std::size_t page = g_page_size.load();
  for (;;) {
    const volatile std::uint8_t* window = nullptr;
    std::size_t from = 0;
    std::size_t to = 0;
    void* left_behind = nullptr;
    std::size_t left_size = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return pager_stopping_ || page_in_window_ != nullptr; });
      if (pager_stopping_) return;
      window = page_in_window_;
      from = page_in_from_;
      to = page_in_to_;
      left_behind = left_behind_;
      left_size = left_size_;
    }
    for (std::size_t at = from - from % page; at < to; at += page) (void)window[at];
    if (left_behind != nullptr) munmap(left_behind, left_size);
    std::lock_guard<std::mutex> lock(mutex_);
    page_in_window_ = nullptr;
    left_behind_ = nullptr;
    changed_.notify_all();
  }
}

// Asks the page-in thread for the pages of the window from offset from to
// its end, and to unmap the window left behind (if any) after them. The
// thread is started for a file longer than one window; without it the
// decoding faults the pages in and the window left behind is unmapped here.
void MappedFileSource::PageIn(void* left_behind, std::size_t left_size, std::size_t from) {
  if (!pager_.joinable() && !pager_tried_ && length_ > kWindowSize) {
    pager_tried_ = true;
    try {
      pager_ = std::thread(&MappedFileSource::PagerLoop, this);
    } catch (...) {
      // No thread to be had: everything stays on this one.
    }
  }
  if (!pager_.joinable()) {
    if (left_behind != nullptr) munmap(left_behind, left_size);
    return;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  page_in_window_ = static_cast<const std::uint8_t*>(window_);
  page_in_from_ = from;
  page_in_to_ = window_size_;
  left_behind_ = left_behind;
  left_size_ = left_size;
  changed_.notify_all();
}

// Waits until the page-in thread no longer reads the window.
void MappedFileSource::WaitForPager() {
  if (!pager_.joinable()) return;
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return page_in_window_ == nullptr; });
}

void MappedFileSource::StopPager() {
  if (pager_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pager_stopping_ = true;
      changed_.notify_all();
    }
    pager_.join();
  }
  // A window handed over that the thread did not get to.
  if (left_behind_ != nullptr) munmap(left_behind_, left_size_);
  left_behind_ = nullptr;
}

// Unmaps the current window (once the page-in thread is stopped).
void MappedFileSource::UnmapWindow() {
  if (window_ == nullptr) return;
  WindowSlot& slot = g_windows[window_slot_];
  slot.begin.store(0);
  slot.end.store(0);
  munmap(window_, window_size_);
  window_ = nullptr;
  window_size_ = 0;
}

// Before the window that holds the next byte is mapped: false, with the
// read failed, once pages went missing. At the measured end, the file is
// measured again: bytes added meanwhile are read on; a file that became
// shorter fails the read.
bool MappedFileSource::StillReadable() {
  // Pages already lost: the rest of the file is not read.
  if (g_windows[window_slot_].lost.load()) {
    cut_while_read_ = true;
    Fail();
    return false;
  }
  if (WindowStart() < length_) return true;
  struct stat info;
  const bool measured = fstat(descriptor_, &info) == 0;
  const bool lost = g_windows[window_slot_].lost.load();
  if (lost || !measured || static_cast<std::int64_t>(info.st_size) < length_) {
    cut_while_read_ = lost || measured;
    Fail();
    return false;
  }
  if (static_cast<std::int64_t>(info.st_size) == length_ || WindowStart() >= info.st_size) return false;
  length_ = static_cast<std::int64_t>(info.st_size);
  return true;
}

// Maps the window that holds WindowStart() (the next byte wanted).
bool MappedFileSource::NextWindow() {
  WaitForPager();
  if (!StillReadable()) return false;
  const std::int64_t base = WindowStart() - WindowStart() % kWindowSize;
  const std::size_t size = static_cast<std::size_t>(std::min<std::int64_t>(kWindowSize, length_ - base));
  void* window = mmap(nullptr, size, PROT_READ, MAP_SHARED, descriptor_, static_cast<off_t>(base));
  if (window == MAP_FAILED) {
    Fail();
    return false;
  }
  madvise(window, size, MADV_SEQUENTIAL);
  void* left_behind = window_;
  const std::size_t left_size = window_size_;
  window_ = window;
  window_size_ = size;
  WindowSlot& slot = g_windows[window_slot_];
  slot.end.store(0);
  slot.begin.store(reinterpret_cast<std::uintptr_t>(window));
  slot.end.store(reinterpret_cast<std::uintptr_t>(window) + size);
  const auto offset = static_cast<std::size_t>(WindowStart() - base);
  SetWindow(static_cast<const std::uint8_t*>(window) + offset, size - offset);
  PageIn(left_behind, left_size, offset + kPageInLead);
  return true;
}

// A descriptor of path that can be mapped, and its length; -1 (the
// descriptor closed) for a file that must be read as it comes.
int MappableDescriptor(int descriptor, std::int64_t& length) {
  struct stat info;
  bool mappable = fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
  // A file system that cannot map files (some network and virtual ones).
  if (mappable) {
    void* trial = mmap(nullptr, 1, PROT_READ, MAP_SHARED, descriptor, 0);
    mappable = trial != MAP_FAILED;
    if (mappable) munmap(trial, 1);
  }
  if (!mappable) {
    close(descriptor);
    return -1;
  }
  length = static_cast<std::int64_t>(info.st_size);
  return descriptor;
}

}  // namespace

bool RecoverMappedInputFault(const void* address) noexcept {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  const std::uintptr_t page = g_page_size.load();
  if (page == 0) return false;
  for (WindowSlot& slot : g_windows) {
    if (at < slot.begin.load() || at >= slot.end.load()) continue;
    void* zeros = mmap(reinterpret_cast<void*>(at & ~(page - 1)), page, PROT_READ,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeros == MAP_FAILED) return false;
    slot.lost.store(true);
    return true;
  }
  return false;
}

std::unique_ptr<ByteSource> OpenMappedFile(const char* path) {
  if (IsDirectory(path)) return nullptr;
  const int opened = open(path, O_RDONLY | O_CLOEXEC);
  if (opened < 0) return nullptr;
  std::int64_t length = 0;
  const int descriptor = MappableDescriptor(opened, length);
  if (descriptor < 0) return FileSource::Open(path);  // a pipe, a device or an empty file: read as it comes
  const int slot = TakeSlot();
  if (slot < 0) {
    close(descriptor);
    return FileSource::Open(path);
  }
  if (g_page_size.load() == 0) g_page_size.store(static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE)));
  std::unique_ptr<ByteSource> source(new (std::nothrow) MappedFileSource(descriptor, slot, length));
  if (source == nullptr) {
    close(descriptor);
    g_windows[slot].taken.store(false);
    return FileSource::Open(path);
  }
  return source;
}

#endif

}  // namespace morvelin
