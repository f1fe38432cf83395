#include "qc_options.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "morvelin/qc.h"

namespace morvelin::cli {

void AddQcOptions(CLI::App& convert, QcCliOptions& options) {
  convert.add_flag("--qc", options.report,
                   "Also write a quality report of each file: FILE.qc.txt (per-satellite tracking, gaps, slips, "
                   "multipath, verdicts) and FILE.qc.svg (the picture of the session); docs/qc.md");
  convert.add_flag("--qc-json", options.json, "With --qc (which it implies), also FILE.qc.json");
  convert.add_option("--qc-mask", options.elevation_mask,
                     "Elevation mask of the quality report, degrees: observations above it are expected")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 89.0));
}

std::unique_ptr<ConversionSink> MakeQcSinkFor(const QcCliOptions& options, const std::string& output_base,
                                              std::string& error) {
  (void)output_base;
  error.clear();
  if (!options.report && !options.json) return nullptr;
  QcOptions qc;
  qc.elevation_mask = options.elevation_mask;
  return MakeQcSink(qc);
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error, std::string& reason,
                   const std::string& shown) {
  const std::string& name = shown.empty() ? path : shown;
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    error = "Error: Unable to create " + name;
    reason = std::strerror(errno != 0 ? errno : EACCES);
    return false;
  }
  errno = 0;
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  int saved = errno;
  if (std::fclose(file) != 0 && saved == 0) saved = errno != 0 ? errno : EIO;
  if (!written || saved != 0) {
    error = "Error: Unable to write to " + name;
    reason = std::strerror(saved != 0 ? saved : EIO);
    return false;
  }
  return true;
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error) {
  OutputSet set(path);
  std::string reason;
  if (set.Claim(path, error, reason) && WriteTextFile(set.WritePath(path), text, error, reason, path) &&
      set.Commit(error, reason))
    return true;
  error = path + ": " + reason;
  return false;
}

std::vector<std::string> QcOutputPaths(const QcCliOptions& options, const std::string& output_base) {
  if (!options.report && !options.json) return {};
  std::vector<std::string> paths = {output_base + ".qc.txt", output_base + ".qc.svg"};
  if (options.json) paths.push_back(output_base + ".qc.json");
  return paths;
}

bool WriteQcOutputs(ConversionSink* sink, const QcCliOptions& options, const std::string& output_base,
                    OutputSet& set, std::string& error, std::string& reason) {
  auto* qc = dynamic_cast<QcSink*>(sink);
  if (qc == nullptr) return true;
  const QcReport report = qc->Report();
  const std::vector<std::string> paths = QcOutputPaths(options, output_base);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string text = i == 0 ? QcReportText(report) : i == 1 ? QcReportSvg(report) : QcReportJson(report);
    if (!set.Claim(paths[i], error, reason) || !WriteTextFile(set.WritePath(paths[i]), text, error, reason, paths[i]))
      return false;
  }
  return true;
}

}  // namespace morvelin::cli
