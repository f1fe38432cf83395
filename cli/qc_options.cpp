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

bool WriteTextFile(const std::string& path, const std::string& text, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int saved = errno;
  if (std::fclose(file) != 0 || !written) {
    error = path + ": " + std::strerror(written ? errno : saved);
    return false;
  }
  return true;
}

bool WriteQcOutputs(ConversionSink* sink, const QcCliOptions& options, const std::string& output_base,
                    std::string& error) {
  auto* qc = dynamic_cast<QcSink*>(sink);
  if (qc == nullptr) return true;
  const QcReport report = qc->Report();
  if (!WriteTextFile(output_base + ".qc.txt", QcReportText(report), error)) return false;
  if (!WriteTextFile(output_base + ".qc.svg", QcReportSvg(report), error)) return false;
  if (options.json && !WriteTextFile(output_base + ".qc.json", QcReportJson(report), error)) return false;
  return true;
}

}  // namespace morvelin::cli
