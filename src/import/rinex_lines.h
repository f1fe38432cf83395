// The lines of a RINEX file, plain or gzip-compressed, read in blocks, and
// the reading of their fixed columns: a field is cut to the line it lies in,
// so no read ever leaves a line, whatever the bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/text.h"
#include "morvelin/status.h"

namespace morvelin::import {

// Where a malformed field lies: file, line number (from 1), column (from 1).
struct TextPlace {
  std::string_view file;
  std::int64_t line = 0;
  int column = 0;
};
// "FILE:LINE:COL: what" as the import reports a malformed line.
Status MalformedAt(const TextPlace& place, std::string_view what);

class LineReader {
 public:
  // The longest line taken; a longer one is malformed.
  static constexpr std::size_t kLongestLine = 1024;

  LineReader();
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Opens path (a .gz is read through zlib, any other file as it is).
  Status Open(const std::string& path);
  // Reads a file from memory (the fuzz target, the tests): no zlib.
  void OpenMemory(std::string_view bytes, std::string name);

  // The next line without its end ("\n" or "\r\n"): false at the end of
  // the file, or on a failure (Failure() then says why).
  bool Next(std::string_view& line);
  const Status& Failure() const { return failure_; }
  std::int64_t LineNumber() const { return line_number_; }
  const std::string& Name() const { return name_; }
  TextPlace At(int column) const { return {name_, line_number_, column}; }

 private:
  bool Fill();

  struct Gz;
  std::unique_ptr<Gz> gz_;
  std::string name_;
  std::string buffer_;
  std::string_view memory_;
  std::size_t start_ = 0, end_ = 0;  // unread bytes of buffer_
  bool at_end_ = false;
  std::int64_t line_number_ = 0;
  Status failure_;
};

}  // namespace morvelin::import
