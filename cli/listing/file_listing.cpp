// Which listing a file gets, and the listing of a text file.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>

#include "listing.h"

namespace morvelin::cli {

namespace {

std::string LowerExtension(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  const std::size_t separator = path.find_last_of("/\\");
  if (dot == std::string::npos || (separator != std::string::npos && dot < separator)) return {};
  std::string extension = path.substr(dot);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

}  // namespace

ListedKind KindOfFile(const std::string& path) {
  const std::string extension = LowerExtension(path);
  if (extension == ".gpb") return ListedKind::kMeasurement;
  if (extension == ".epp") return ListedKind::kEphemeris;
  if (extension == ".sta" || extension == ".sum") return ListedKind::kText;
  return ListedKind::kOther;
}

int ListFile(const std::string& path, const InspectOptions& options, std::ostream& out, std::ostream& err) {
  switch (KindOfFile(path)) {
    case ListedKind::kMeasurement:
      return ListMeasurementFile(path, options, out, err);
    case ListedKind::kEphemeris:
      return ListEphemerisFile(path, out, err);
    case ListedKind::kText:
      return ListTextFile(path, out, err);
    case ListedKind::kOther:
      break;
  }
  err << "Error: " << path << " is not a .gpb, .epp, .sta or .sum file\n";
  return kInspectDamaged;
}

int ListTextFile(const std::string& path, std::ostream& out, std::ostream& err) {
  std::FILE* in = std::fopen(path.c_str(), "r");
  if (in == nullptr) {
    err << "Error: File " << path << " not found\n";
    return kInspectDamaged;
  }
  out.flush();
  char chunk[16384];
  std::size_t length;
  // A failed write ends the copy.
  while ((length = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
    if (!out.write(chunk, static_cast<std::streamsize>(length))) break;
  }
  const bool failed = std::ferror(in) != 0;
  std::fclose(in);
  out.flush();
  if (failed) {
    err << "Error: Unable to read " << path << '\n';
    return kInspectDamaged;
  }
  return kInspectDone;
}

}  // namespace morvelin::cli
