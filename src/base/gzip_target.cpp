// The gzip stage of an output target (zlib). A RINEX observation header is
// rewritten in place at the end (the time of the last epoch, the interval),
// which compressed bytes cannot be: the part that may be rewritten is held
// and written as a first gzip member of stored blocks, whose size does not
// depend on the bytes, and the rest is compressed into a second member as
// it comes. gunzip gives back the two members' bytes one after the other.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/output_target.h"

#if defined(MORVELIN_HAVE_ZLIB)
#include <zlib.h>
#endif

namespace morvelin {

#if defined(MORVELIN_HAVE_ZLIB)

namespace {

constexpr int kGzipWindow = 15 + 16;  // zlib's window, with the gzip wrapper
constexpr int kMemoryLevel = 8;
// Bytes held before EndRewritablePart when it does not come: then the file
// is compressed from its start.
constexpr std::size_t kHoldLimit = 64 * 1024;
constexpr std::size_t kChunk = 256 * 1024;

class GzipTarget final : public OutputTarget {
 public:
  GzipTarget(std::unique_ptr<OutputTarget> inner, bool text) : inner_(std::move(inner)) {
#if defined(_WIN32)
    crlf_ = text;
#else
    (void)text;
#endif
  }
  ~GzipTarget() override {
    if (streaming_) deflateEnd(&stream_);
  }

  bool Write(const void* data, std::size_t size) override {
    if (error_ != 0) return false;
    const char* bytes = static_cast<const char*>(data);
    if (!crlf_) return Take(bytes, size);
    std::size_t start = 0;
    for (std::size_t i = 0; i < size; ++i) {
      if (bytes[i] != '\n') continue;
      if (!Take(bytes + start, i - start) || !Take("\r\n", 2)) return false;
      start = i + 1;
    }
    return Take(bytes + start, size - start);
  }
  std::int64_t Position() override { return error_ != 0 ? -1 : position_; }
  bool WriteAt(std::int64_t position, const void* data, std::size_t size) override {
    std::string bytes(static_cast<const char*>(data), size);
    if (crlf_) {
      std::string expanded;
      for (const char c : bytes) {
        if (c == '\n') expanded.push_back('\r');
        expanded.push_back(c);
      }
      bytes.swap(expanded);
    }
    if (error_ != 0 || position < 0 || static_cast<std::uint64_t>(position) > held_.size() ||
        bytes.size() > held_.size() - static_cast<std::size_t>(position))
      return Fail(EINVAL);
    held_.replace(static_cast<std::size_t>(position), bytes.size(), bytes);
    return true;
  }
  void EndRewritablePart() override {
    if (error_ != 0 || streaming_ || rewritable_) return;
    rewritable_ = true;
    std::string member;
    if (!StoredMember(member) || !inner_->Write(member.data(), member.size())) {
      Fail(inner_->Error());
      return;
    }
    stored_size_ = member.size();
    StartStream();
  }
  bool Close() override {
    if (error_ == 0 && !streaming_ && StartStream()) {
      std::string body;
      body.swap(held_);
      Deflate(body.data(), body.size(), Z_NO_FLUSH);
    }
    if (error_ == 0 && streaming_) Deflate(nullptr, 0, Z_FINISH);
    if (error_ == 0 && rewritable_) {
      std::string member;
      if (!StoredMember(member) || member.size() != stored_size_ || !inner_->WriteAt(0, member.data(), member.size()))
        Fail(inner_->Error() != 0 ? inner_->Error() : EIO);
    }
    if (!inner_->Close()) Fail(inner_->Error());
    return error_ == 0;
  }
  int Error() const override { return error_; }

 private:
  bool Fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
    return false;
  }

  // Bytes into the held part or the compressed stream.
  bool Take(const char* bytes, std::size_t size) {
    if (size == 0) return true;
    position_ += static_cast<std::int64_t>(size);
    if (streaming_) return Deflate(bytes, size, Z_NO_FLUSH);
    held_.append(bytes, size);
    if (held_.size() <= kHoldLimit) return true;
    if (!StartStream()) return false;
    std::string body;
    body.swap(held_);
    return Deflate(body.data(), body.size(), Z_NO_FLUSH);
  }

  bool StartStream() {
    std::memset(&stream_, 0, sizeof stream_);
    if (deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindow, kMemoryLevel, Z_DEFAULT_STRATEGY) !=
        Z_OK)
      return Fail(ENOMEM);
    streaming_ = true;
    return true;
  }

  bool Deflate(const char* bytes, std::size_t size, int flush) {
    if (out_.empty()) out_.resize(kChunk);
    stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes));
    stream_.avail_in = static_cast<uInt>(size);
    int result = Z_OK;
    do {
      stream_.next_out = reinterpret_cast<Bytef*>(out_.data());
      stream_.avail_out = static_cast<uInt>(out_.size());
      result = deflate(&stream_, flush);
      if (result == Z_STREAM_ERROR) return Fail(EIO);
      const std::size_t made = out_.size() - stream_.avail_out;
      if (made > 0 && !inner_->Write(out_.data(), made)) return Fail(inner_->Error());
    } while (stream_.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    return true;
  }

  // The held bytes as one gzip member of stored blocks (level 0): its size
  // follows from their number alone.
  bool StoredMember(std::string& member) const {
    z_stream stored{};
    if (deflateInit2(&stored, Z_NO_COMPRESSION, Z_DEFLATED, kGzipWindow, kMemoryLevel, Z_DEFAULT_STRATEGY) != Z_OK)
      return false;
    member.resize(deflateBound(&stored, static_cast<uLong>(held_.size())));
    stored.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(held_.data()));
    stored.avail_in = static_cast<uInt>(held_.size());
    stored.next_out = reinterpret_cast<Bytef*>(member.data());
    stored.avail_out = static_cast<uInt>(member.size());
    const int result = deflate(&stored, Z_FINISH);
    member.resize(member.size() - stored.avail_out);
    deflateEnd(&stored);
    return result == Z_STREAM_END;
  }

  std::unique_ptr<OutputTarget> inner_;
  bool crlf_ = false;
  z_stream stream_{};
  bool streaming_ = false;
  bool rewritable_ = false;   // the held part is a member of its own
  std::size_t stored_size_ = 0;
  std::string held_;
  std::vector<char> out_;
  std::int64_t position_ = 0;
  int error_ = 0;
};

}  // namespace

std::unique_ptr<OutputTarget> OpenGzipTarget(std::unique_ptr<OutputTarget> inner, bool text) {
  return std::unique_ptr<OutputTarget>(new (std::nothrow) GzipTarget(std::move(inner), text));
}

bool GzipAvailable() { return true; }

namespace {

bool Gunzip(const std::string& bytes, std::size_t limit, std::string& text) {
  z_stream stream{};
  if (inflateInit2(&stream, kGzipWindow) != Z_OK) return false;
  text.assign(limit, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(text.data());
  stream.avail_out = static_cast<uInt>(limit);
  const int result = inflate(&stream, Z_SYNC_FLUSH);
  text.resize(limit - stream.avail_out);
  inflateEnd(&stream);
  return result == Z_OK || result == Z_STREAM_END || result == Z_BUF_ERROR;
}

}  // namespace

#else

std::unique_ptr<OutputTarget> OpenGzipTarget(std::unique_ptr<OutputTarget>, bool) { return nullptr; }

bool GzipAvailable() { return false; }

namespace {

bool Gunzip(const std::string&, std::size_t, std::string&) { return false; }

}  // namespace

#endif

bool ReadFileStart(const std::string& path, std::size_t limit, std::string& text) {
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (in == nullptr) return false;
  std::string bytes(limit, '\0');
  bytes.resize(std::fread(bytes.data(), 1, limit, in));
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) return false;
  const bool gzip = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
                    static_cast<unsigned char>(bytes[1]) == 0x8b;
  if (!gzip) {
    text = std::move(bytes);
    return true;
  }
  return Gunzip(bytes, limit, text);
}

}  // namespace morvelin
