#include "import/rinex_lines.h"

#include <zlib.h>

#include <cstring>

namespace morvelin::import {

namespace {
constexpr std::size_t kBlock = 1 << 20;
}  // namespace

struct LineReader::Gz {
  gzFile file = nullptr;
  ~Gz() {
    if (file != nullptr) gzclose(file);
  }
};

Status MalformedAt(const TextPlace& place, std::string_view what) {
  std::string text(place.file);
  text += ':' + std::to_string(place.line) + ':' + std::to_string(place.column) + ": ";
  text += what;
  return Status::Failed(std::move(text));
}

LineReader::LineReader() = default;
LineReader::~LineReader() = default;

Status LineReader::Open(const std::string& path) {
  name_ = path;
  gz_ = std::make_unique<Gz>();
  gz_->file = gzopen(path.c_str(), "rb");
  if (gz_->file == nullptr) return Status::Failed("Error: File " + path + " not found", std::strerror(errno));
  gzbuffer(gz_->file, 1 << 17);
  buffer_.resize(kBlock + kLongestLine + 2);
  return {};
}

void LineReader::OpenMemory(std::string_view bytes, std::string name) {
  name_ = std::move(name);
  memory_ = bytes;
}

// Moves the unread bytes to the front and reads a block after them.
bool LineReader::Fill() {
  if (gz_ == nullptr) return false;
  if (start_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  const std::size_t room = buffer_.size() - end_;
  if (room == 0) return false;
  const int got = gzread(gz_->file, buffer_.data() + end_, static_cast<unsigned>(room));
  if (got < 0) {
    int code = 0;
    failure_ = Status::Failed("Error: Unable to read " + name_, gzerror(gz_->file, &code));
    return false;
  }
  end_ += static_cast<std::size_t>(got);
  return got > 0;
}

bool LineReader::Next(std::string_view& line) {
  if (!failure_.Ok()) return false;
  std::string_view rest;
  std::size_t newline = std::string_view::npos;
  if (gz_ == nullptr) {
    rest = memory_.substr(start_);
    newline = rest.find('\n');
  } else {
    for (;;) {
      rest = std::string_view(buffer_.data() + start_, end_ - start_);
      newline = rest.find('\n');
      if (newline != std::string_view::npos || at_end_ || rest.size() > kLongestLine) break;
      if (!Fill()) at_end_ = true;
    }
    if (!failure_.Ok()) return false;
  }
  if (rest.empty()) return false;
  ++line_number_;
  const std::size_t length = newline == std::string_view::npos ? rest.size() : newline;
  if (length > kLongestLine) {
    failure_ = MalformedAt(At(static_cast<int>(kLongestLine) + 1), "line longer than 1024 characters");
    return false;
  }
  line = rest.substr(0, length);
  start_ += newline == std::string_view::npos ? rest.size() : newline + 1;
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return true;
}

}  // namespace morvelin::import
