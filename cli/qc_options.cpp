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

std::unique_ptr<ConversionSink> MakeQcSinkFor(const QcCliOptions& options) {
  if (!options.report && !options.json) return nullptr;
  QcOptions qc;
  qc.elevation_mask = options.elevation_mask;
  return MakeQcSink(qc);
}

Status WriteSetFile(OutputSet& set, const std::string& path, const std::string& text) {
  if (Status claimed = set.Claim(path); !claimed.Ok()) return claimed;
  Result<std::unique_ptr<OutputTarget>> file = set.Open(set.WritePath(path), true);
  if (!file.Ok()) return Status::Failed("Error: Unable to create " + path, file.Reason());
  const bool written = (*file)->Write(text.data(), text.size());
  if (!(*file)->Close() || !written) {
    const int error = (*file)->Error();
    return Status::Failed("Error: Unable to write to " + path, std::strerror(error != 0 ? error : EIO));
  }
  return {};
}

std::vector<std::string> QcOutputPaths(const QcCliOptions& options, const std::string& output_base) {
  if (!options.report && !options.json) return {};
  std::vector<std::string> paths = {output_base + ".qc.txt", output_base + ".qc.svg"};
  if (options.json) paths.push_back(output_base + ".qc.json");
  return paths;
}

Status WriteQcOutputs(ConversionSink* sink, const QcCliOptions& options, const std::string& output_base,
                      OutputSet& set) {
  auto* qc = dynamic_cast<QcSink*>(sink);
  if (qc == nullptr) return {};
  const QcReport report = qc->Report();
  const std::vector<std::string> paths = QcOutputPaths(options, output_base);
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const std::string text = i == 0 ? QcReportText(report) : i == 1 ? QcReportSvg(report) : QcReportJson(report);
    if (Status written = WriteSetFile(set, paths[i], text); !written.Ok()) return written;
  }
  return {};
}

}  // namespace morvelin::cli
