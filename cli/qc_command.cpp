// `morvelin qc`: the quality report of a raw data file (converted in
// memory, no host files written) or of a measurement file with its
// ephemeris file; as text or JSON on standard output, and as an SVG page.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "mapped_input.h"
#include "morvelin/qc.h"
#include "morvelin/util.h"
#include "qc_options.h"
#include "rinex_options.h"

namespace morvelin::cli {

namespace {

struct QcArguments {
  std::string input;
  std::string epp;
  std::string svg;
  bool json = false;
  std::int32_t week = -1;
  std::string date;
  std::string position;
  bool kinematic = false;
  double mask = 10.0;
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Extension(const std::string& path) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return Lower(path.substr(dot));
}

std::string WithoutExtension(const std::string& path) {
  return Extension(path).empty() ? path : path.substr(0, path.rfind('.'));
}

bool Exists(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

// The GPS week that holds a day YYYY-MM-DD (checked as the option was parsed).
bool WeekOfDate(const std::string& text, std::int32_t& week) {
  RinexDate date;
  if (!ParseFirstEpochDate(text, date)) return false;
  std::int32_t full_week = 0;
  double seconds = 0.0;
  CalendarToGpsFullWeek(0, 0, 0.0, date.month, date.day, date.year, full_week, seconds);
  if (full_week < 0) return false;
  week = full_week;
  return true;
}

bool ParsePosition(const std::string& text, QcOptions& options) {
  double lat = 0, lon = 0, height = 0;
  char rest = 0;
  if (std::sscanf(text.c_str(), "%lf,%lf,%lf%c", &lat, &lon, &height, &rest) != 3) return false;
  if (!(std::fabs(lat) <= 90.0) || !(std::fabs(lon) <= 360.0) || !std::isfinite(height)) return false;
  options.position_given = true;
  options.latitude = lat, options.longitude = lon, options.height = height;
  return true;
}

int Run(const QcArguments& args) {
  QcOptions options;
  options.elevation_mask = args.mask;
  options.week = args.week;
  // The options' values were checked as they were parsed.
  if ((!args.date.empty() && !WeekOfDate(args.date, options.week)) ||
      (!args.position.empty() && !ParsePosition(args.position, options)))
    return kExitUsage;
  const bool measurement_file = Extension(args.input) == ".gpb";
  std::string epp = args.epp;
  if (measurement_file && epp.empty()) {
    for (const char* extension : {".epp", ".EPP"})
      if (Exists(WithoutExtension(args.input) + extension)) {
        epp = WithoutExtension(args.input) + extension;
        break;
      }
  }
  // The picture never replaces a file the report is made from; refused
  // before any work.
  OutputSet set("qc");
  set.AddInput(args.input);
  if (!epp.empty()) set.AddInput(epp);
  if (!args.svg.empty()) {
    if (const Status planned = set.Plan(args.svg); !planned.Ok()) {
      std::cerr << "morvelin qc: " << planned.Message()
                << (planned.Reason().empty() ? "" : " (" + planned.Reason() + ")") << "\n";
      return kExitFailed;
    }
  }
  QcReport report;
  if (measurement_file) {
    Result<QcReport> built = BuildQcReportFromFiles(args.input, epp, options);
    if (!built.Ok()) {
      std::cerr << "morvelin qc: " << built.Message() << "\n";
      return kExitFailed;
    }
    report = std::move(*built);
  } else {
    if (!args.epp.empty()) {
      std::cerr << "morvelin qc: --epp goes with a measurement file (.gpb); a raw data file has its ephemerides\n";
      return kExitUsage;
    }
    std::unique_ptr<QcSink> sink = MakeQcSink(options);
    ConversionRequest request;
    request.input = FileInput{args.input, AllowMappedInput()};
    request.host_files = false;
    request.kinematic = args.kinematic;
    request.sinks = {sink.get()};
    const ConversionOutcome outcome = Convert(request);
    if (outcome.result != ConversionResult::kDone) {
      std::cerr << "morvelin qc: " << args.input << ": " << outcome.failure
                << (outcome.reason.empty() ? "" : " (" + outcome.reason + ")") << "\n";
      return kExitFailed;
    }
    // Any file converts to something: one without a single measurement
    // record (a summary or ephemeris file written by convert) has no
    // session to report on.
    if (outcome.measurement_records == 0) {
      std::cerr << "morvelin qc: " << args.input
                << ": not a raw data file (no measurement record in it), nor a measurement file (.gpb)\n";
      return kExitFailed;
    }
    report = sink->Report();
  }
  std::cout << (args.json ? QcReportJson(report) : QcReportText(report));
  if (!args.svg.empty()) {
    Status written = WriteSetFile(set, args.svg, QcReportSvg(report));
    if (written.Ok()) written = set.Commit();
    if (!written.Ok()) {
      std::cerr << "morvelin qc: " << args.svg << ": " << written.Reason() << "\n";
      return kExitFailed;
    }
  }
  return kExitDone;
}

}  // namespace

void AddQcCommand(CLI::App& app, int& exit_code) {
  auto* command = app.add_subcommand(
      "qc",
      "Quality report of a session: per satellite the epochs tracked, L1 and L2 share, gaps, cycle slips flagged "
      "by the receiver and found in the data, code multipath (MP1, MP2), elevations and the share of expected "
      "observations tracked, with a verdict per satellite and for the session (docs/qc.md). FILE is a raw data "
      "file (converted in memory; no files written) or a measurement file (.gpb; its .epp beside it is read "
      "unless --epp names another); any other file is refused. Exit code 0 done; 1 stopped (standard output closed); "
      "2 refused or failed; 64 usage error.");
  auto args = std::make_shared<QcArguments>();
  command->add_option("FILE", args->input, "Raw data file (.dat) or measurement file (.gpb)")->required();
  command->add_option("--epp", args->epp, "Ephemeris file of a measurement file (default: FILE.epp if it exists)");
  command->add_option("--svg", args->svg, "Write the picture of the session to this SVG file");
  command->add_flag("--json", args->json, "Print the report as JSON (schema in docs/qc.md) instead of text");
  AddFirstEpochOptions(*command, args->week, args->date);
  command
      ->add_option("--position", args->position,
                   "Receiver position LAT,LON,HEIGHT (degrees, degrees, metres) instead of the one in the data")
      ->check(CLI::Validator(
          [](std::string& text) {
            QcOptions unused;
            return ParsePosition(text, unused) ? std::string()
                                               : "must be LAT,LON,HEIGHT in degrees, degrees, metres, not " + text;
          },
          "LAT,LON,HEIGHT"));
  command->add_option("--mask", args->mask, "Elevation mask, degrees: observations above it are expected")
      ->capture_default_str()
      ->check(CLI::Range(0.0, 89.0));
  command->add_flag("--kinematic", args->kinematic, "Convert a raw data file in kinematic motion mode");
  command->callback([args, &exit_code] { exit_code = FinishStandardOutput(Run(*args)); });
}

}  // namespace morvelin::cli
