// morvelin convert: converts raw data files with the library's converter,
// each by its bare name from its own folder as a host does, one after the
// other or in several threads, and says what it saw.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <exception>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#define MORVELIN_ISATTY _isatty
#define MORVELIN_FILENO _fileno
#else
#include <unistd.h>
#define MORVELIN_ISATTY isatty
#define MORVELIN_FILENO fileno
#endif

#include <nlohmann/json.hpp>

#include "base/text_builder.h"
#include "commands.h"
#include "convert_sinks.h"
#include "mapped_input.h"
#include "morvelin/converter.h"
#include "morvelin/output_set.h"

namespace morvelin::cli {

namespace {

namespace fs = std::filesystem;

// Raised by Ctrl-C, SIGTERM, SIGHUP and a closed output pipe: every running
// conversion stops after the record in hand and closes its files as a host
// sees them after Abort.
std::atomic<std::int32_t> g_stop{0};
static_assert(std::atomic<std::int32_t>::is_always_lock_free);

extern "C" void OnStopSignal(int) { g_stop.store(1, std::memory_order_relaxed); }

struct Settings {
  std::vector<std::string> files;
  bool kinematic = false;
  std::string output_dir;
  std::string output_name;  // -o: the name standard input goes by
  unsigned jobs = 1;
  bool strict = false;
  bool quiet = false;
  bool verbose = false;
  bool json = false;
  ExtraSinkOptions extra;
};

// One file's job: where it comes from, where its outputs go.
struct Job {
  std::string label;  // as the user typed it
  ConversionRequest request;
  std::unique_ptr<OutputSet> outputs;  // every file the job writes
  std::string refusal;  // set when the CLI refuses the file before converting
  std::string refusal_reason;
  std::string output_base;  // the host files' path without extension, once planned
};

// What one conversion printed, kept until its file is done when files run
// in parallel, printed at once otherwise.
class FileReport final : public ConversionObserver {
 public:
  // prefix starts every line; out_prefix: also the lines of standard output.
  FileReport(std::string prefix, bool out_prefix, bool live, bool quiet, bool progress)
      : prefix_(std::move(prefix)), out_prefix_(out_prefix), live_(live), quiet_(quiet), progress_(progress) {}

  void OnMessage(double time, const char* text, bool) override {
    messages.push_back({time, text});
    if (quiet_) return;
    FixedText<64> stamp;
    if (time == -1.0)
      stamp.Str("         -");
    else
      stamp.Fixed(time, 2, 10);
    Err(std::string(stamp.View()) + "  " + text);
  }
  void OnProgress(std::int64_t position, std::int64_t length) override {
    if (!progress_) return;
    constexpr int kWidth = 40;
    double ratio = length > 0 ? static_cast<double>(position) / static_cast<double>(length) : 1.0;
    ratio = std::clamp(ratio, 0.0, 1.0);
    const int filled = static_cast<int>(ratio * kWidth);
    if (filled == drawn_) return;
    drawn_ = filled;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kWidth, '.');
    std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), static_cast<int>(ratio * 100.0));
    std::fflush(stderr);
  }
  void ClearProgress() {
    if (drawn_ >= 0) std::fputs("\r\033[K", stderr);
    drawn_ = -1;
  }

  // A line for standard error (messages, reasons).
  void Err(const std::string& line) { Emit(stderr_lines, line); }
  // A line for standard output (results).
  void Out(const std::string& line) { Emit(stdout_lines, line); }

  // Prints what was kept (parallel runs), as one group.
  void Flush() {
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    for (const std::string& line : stderr_lines) std::fprintf(stderr, "%s\n", line.c_str());
    for (const std::string& line : stdout_lines) std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stderr);
    std::fflush(stdout);
    stderr_lines.clear();
    stdout_lines.clear();
  }

  struct Message {
    double time;
    std::string text;
  };
  std::vector<Message> messages;
  std::vector<std::string> stderr_lines, stdout_lines;

 private:
  void Emit(std::vector<std::string>& kept, const std::string& line) {
    const bool to_stdout = &kept == &stdout_lines;
    const std::string text = (to_stdout && !out_prefix_ ? std::string() : prefix_) + line;
    if (!live_) {
      kept.push_back(text);
      return;
    }
    ClearProgress();
    std::FILE* stream = to_stdout ? stdout : stderr;
    std::fprintf(stream, "%s\n", text.c_str());
    std::fflush(stream);
  }

  std::string prefix_;
  bool out_prefix_, live_, quiet_, progress_;
  int drawn_ = -1;
};

// The reasons a converted input counts as damaged, one phrase each.
std::vector<std::string> DamageReasons(const ConversionOutcome& outcome) {
  std::vector<std::string> reasons;
  const InputDamage& damage = outcome.damage;
  if (damage.invalid_types > 0) reasons.push_back(std::to_string(damage.invalid_types) + " invalid record types");
  if (damage.skipped_bytes > 0)
    reasons.push_back(std::to_string(damage.skipped_bytes) + " bytes passed over between records");
  if (damage.cut_record) reasons.push_back("a record cut by the end of the file");
  if (damage.dropped_epochs > 0) reasons.push_back(std::to_string(damage.dropped_epochs) + " epochs dropped");
  if (outcome.measurement_records == 0) reasons.push_back("no measurement epoch at all");
  return reasons;
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : separator) + part;
  return text;
}

const char* ResultName(int code) {
  switch (code) {
    case kExitDone: return "done";
    case kExitStopped: return "stopped";
    case kExitDamaged: return "damaged";
    default: return "failed";
  }
}

// The line of a failure for standard error: the text, then why.
std::string FailureLine(const std::string& failure, const std::string& reason) {
  const std::string said = " (" + reason + ")";
  const bool told = failure.size() >= said.size() && failure.compare(failure.size() - said.size(), said.size(), said) == 0;
  return reason.empty() || told ? failure : failure + said;
}

// What became of one job: its exit code, the texts of a failure, the
// damage found, and the outputs put into place.
struct JobResult {
  int code = kExitDone;
  std::string failure, reason;
  std::vector<std::string> warnings;
  std::vector<std::string> notes;  // what the outputs' writers want the user to know
  bool Failed() const { return code == kExitFailed || code == kExitUsage; }
  std::vector<std::string> extra_outputs;
  ConversionOutcome outcome;

  void Fail(const Status& status) {
    code = kExitFailed;
    failure = status.Message();
    reason = status.Reason();
  }
};

// The code of a run that converted: stopped, damaged (failed with
// --strict) or done.
void JudgeConverted(JobResult& result, const Settings& settings) {
  if (result.outcome.stopped) {
    result.code = kExitStopped;
  } else if (result.warnings = DamageReasons(result.outcome); !result.warnings.empty()) {
    result.code = settings.strict ? kExitFailed : kExitDamaged;
    if (settings.strict) {
      result.failure = "refused (--strict): the input was damaged";
      result.reason = Join(result.warnings, ", ");
    }
  }
}

// Converts one job and puts its outputs into place when it is done or was
// stopped; a job that fails leaves the earlier outputs as they were.
JobResult ConvertJob(Job& job, const Settings& settings, FileReport& report) {
  JobResult result;
  if (!job.refusal.empty()) {
    result.Fail(Status::Failed(job.refusal, job.refusal_reason));
    return result;
  }
  ExtraSinks extra;
  if (const Status made = MakeExtraSinks(settings.extra, job.output_base, *job.outputs, extra); !made.Ok()) {
    result.Fail(Status::Failed(made.Message()));
  } else {
    for (auto& sink : extra.sinks) job.request.sinks.push_back(sink.get());
    job.request.observer = &report;
    job.request.abort = &g_stop;
    result.outcome = Convert(job.request);
    report.ClearProgress();
    const ConversionOutcome& outcome = result.outcome;
    if (outcome.result == ConversionResult::kFailed) {
      std::string reason = outcome.reason;
      if (!reason.empty() && outcome.failed_output >= 0) reason = outcome.outputs[outcome.failed_output] + ": " + reason;
      result.Fail(Status::Failed(outcome.failure, reason));
    } else if (const Status finished = FinishExtraSinks(settings.extra, extra); !finished.Ok()) {
      result.Fail(finished);
    } else {
      JudgeConverted(result, settings);
    }
  }
  if (result.code != kExitFailed) {
    if (const Status committed = job.outputs->Commit(); !committed.Ok()) result.Fail(committed);
  }
  if (result.code == kExitFailed) {
    job.outputs->Discard();
    // A --date that the data show is not the first epoch's: the command line was wrong.
    if (extra.rinex.date_refused) result.code = kExitUsage;
  } else {
    result.extra_outputs = ExtraOutputPaths(settings.extra, extra);
    result.notes = extra.rinex.warnings;
  }
  return result;
}

// What standard error says, and the counts of the outputs put into place.
void ReportJobText(const Job& job, const Settings& settings, const JobResult& result, FileReport& report) {
  const int code = result.code;
  if (code == kExitFailed && settings.strict && !result.warnings.empty()) {
    report.Err("refused (--strict): " + Join(result.warnings, ", "));
  } else if (result.Failed()) {
    report.Err(FailureLine(result.failure, result.reason));
    if (job.refusal.empty()) report.Err("nothing written: the earlier outputs of this file are as they were");
  } else if (code == kExitStopped) {
    report.Err("stopped: the outputs hold what was read until then");
  } else if (code == kExitDamaged) {
    report.Err("converted, but the input was damaged: " + Join(result.warnings, ", "));
  }
  if (!settings.quiet)
    for (const std::string& note : result.notes) report.Err(note);
  if (result.Failed() || settings.json) return;
  const ConversionCounts& counts = result.outcome.counts;
  report.Out("  epochs written:     " + std::to_string(counts.epochs));
  report.Out("  ephemerides:        " + std::to_string(counts.ephemerides));
  report.Out("  station lines:      " + std::to_string(counts.station_lines));
  report.Out("  events:             " + std::to_string(counts.events));
  if (settings.verbose) {
    for (const std::string& path : result.outcome.outputs)
      if (!path.empty()) report.Out("  wrote " + path);
    for (const std::string& path : result.extra_outputs) report.Out("  wrote " + path);
  }
}

// The job's line of JSON.
void ReportJobJson(const Job& job, const JobResult& result, FileReport& report) {
  const int code = result.code;
  const bool written = !result.Failed();
  const ConversionOutcome& outcome = result.outcome;
  nlohmann::json json = {{"file", job.label}};
  json["result"] = ResultName(code);
  json["exit_code"] = code;
  json["counts"] = {{"epochs", written ? outcome.counts.epochs : 0},
                    {"ephemerides", written ? outcome.counts.ephemerides : 0},
                    {"station_lines", written ? outcome.counts.station_lines : 0},
                    {"events", written ? outcome.counts.events : 0}};
  json["warnings"] = result.warnings;
  nlohmann::json outputs = nlohmann::json::array();
  if (written) {
    for (const std::string& path : outcome.outputs)
      if (!path.empty()) outputs.push_back(path);
    for (const std::string& path : result.extra_outputs) outputs.push_back(path);
  }
  json["outputs"] = outputs;
  if (result.Failed()) {
    json["failure"] = result.failure;
    if (!result.reason.empty()) json["reason"] = result.reason;
  }
  nlohmann::json messages = nlohmann::json::array();
  for (const FileReport::Message& message : report.messages)
    messages.push_back({{"time", message.time}, {"text", message.text}});
  json["messages"] = messages;
  report.Out(json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

// Converts one job, reports it and returns its exit code.
int RunJob(Job& job, const Settings& settings, FileReport& report) {
  const JobResult result = ConvertJob(job, settings, report);
  ReportJobText(job, settings, result, report);
  if (settings.json) ReportJobJson(job, result, report);
  return result.code;
}

// The line of a file that a stopped run did not reach.
void ReportNotConverted(const Job& job, const Settings& settings, FileReport& report) {
  if (!settings.json) {
    report.Err("not converted: the run was stopped before this file");
    return;
  }
  nlohmann::json json = {{"file", job.label},
                         {"result", ResultName(kExitStopped)},
                         {"exit_code", kExitStopped},
                         {"counts", {{"epochs", 0}, {"ephemerides", 0}, {"station_lines", 0}, {"events", 0}}},
                         {"warnings", nlohmann::json::array()},
                         {"outputs", nlohmann::json::array()},
                         {"failure", "not converted: the run was stopped before this file"},
                         {"messages", nlohmann::json::array()}};
  report.Out(json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

// True for a path reached through /dev or /proc (a device, a descriptor
// of this process): its outputs cannot go beside it.
bool SystemPath(const std::string& file) {
#if defined(_WIN32)
  (void)file;
  return false;
#else
  std::error_code error;
  const fs::path absolute = fs::absolute(fs::path(file), error).lexically_normal();
  fs::path resolved = fs::weakly_canonical(fs::path(file), error);
  if (error) resolved = absolute;
  for (const fs::path& path : {absolute, resolved}) {
    const std::string text = path.string();
    if (text.rfind("/dev/", 0) == 0 || text.rfind("/proc/", 0) == 0) return true;
  }
  return false;
#endif
}

// The jobs of the command line, each with the plan of its outputs: refused
// where the CLI cannot convert a file as asked (standard input or a file
// that is not a regular file without -d) or where its outputs would land on
// an input of the run or on another file's outputs.
std::vector<Job> PlanJobs(const Settings& settings, OutputBatch& batch) {
  for (const std::string& file : settings.files)
    if (file != "-") batch.AddInput(file);
  std::vector<Job> jobs;
  for (const std::string& file : settings.files) {
    Job job;
    job.label = file;
    bool missing = false;
    job.outputs = std::make_unique<OutputSet>(file, &batch);
    ConversionRequest& request = job.request;
    request.kinematic = settings.kinematic;
    request.output_set = job.outputs.get();
    if (file == "-") {
      request.input = StreamInput{stdin, "-"};
      request.host_name = settings.output_name;
      request.output_dir = settings.output_dir;
    } else {
      const fs::path path(file);
      request.input = FileInput{file, AllowMappedInput()};
      request.host_name = path.filename().string();
      const std::string folder = path.parent_path().string();
      request.output_dir = !settings.output_dir.empty() ? settings.output_dir : folder.empty() ? "." : folder;
      std::error_code error;
      const fs::file_status status = fs::status(path, error);
      if (!fs::exists(status)) {
        // The library says so in the host's words, before any output (or
        // its folder) is looked at.
        missing = true;
      } else if (fs::is_directory(status)) {
        job.refusal = "Error: File " + file + " not found (it is a folder)";
      } else if ((!fs::is_regular_file(status) || SystemPath(file)) && settings.output_dir.empty()) {
        job.refusal = "not a regular file: give -d DIR to convert it";
      }
    }
    const Result<std::array<std::string, 4>> outputs = PlanOutputPaths(request);
    if (job.refusal.empty() && !missing && !outputs.Ok()) job.refusal = outputs.Message();
    if (job.refusal.empty() && !missing) {
      std::vector<std::string> planned(outputs->begin(), outputs->end());
      job.output_base = (*outputs)[0].substr(0, (*outputs)[0].size() - 4);
      for (const std::string& extra : PlannedExtraOutputs(settings.extra, job.output_base)) planned.push_back(extra);
      for (const std::string& output : planned) {
        if (const Status plan = job.outputs->Plan(output); !plan.Ok()) {
          job.refusal = plan.Message();
          job.refusal_reason = plan.Reason();
          break;
        }
      }
    }
    jobs.push_back(std::move(job));
  }
  return jobs;
}

// A usage error of the options, or empty.
std::string CheckUsage(const Settings& settings) {
  const bool from_stdin = std::find(settings.files.begin(), settings.files.end(), "-") != settings.files.end();
  if (from_stdin && (settings.output_dir.empty() || settings.output_name.empty()))
    return "standard input ('-') is converted with -d DIR and -o NAME";
  if (!settings.extra.rinex.version.empty()) {
    // The RINEX header's values are checked against their fields now: a
    // value that does not fit is a usage error, before any file is read
    // (the --iono-from file is read after this check).
    RinexCliOptions values = settings.extra.rinex;
    values.iono_from.clear();
    const Result<RinexOptions> rinex = ToRinexOptions(values, "RINEX");
    if (!rinex.Ok()) return std::string(rinex.Message()).substr(rinex.Message().rfind("Error: ", 0) == 0 ? 7 : 0);
  }
  if (settings.output_name.empty()) return {};
  if (!from_stdin) return "-o names standard input ('-'): it cannot rename a named file";
  const std::string& name = settings.output_name;
  if (name.find_first_of("/\\:") != std::string::npos || name[0] == '.' || name == "..")
    return "-o takes a bare file name (no folder, no leading dot), not " + name;
  return {};
}

int ConvertAll(const Settings& settings) {
  OutputBatch batch;
  std::vector<Job> jobs = PlanJobs(settings, batch);
  const bool several = jobs.size() > 1;
  const unsigned threads = std::max(1u, std::min<unsigned>(settings.jobs, static_cast<unsigned>(jobs.size())));
  const bool live = threads == 1;
  const bool progress = live && !settings.quiet && MORVELIN_ISATTY(MORVELIN_FILENO(stderr)) != 0;

  std::vector<int> codes(jobs.size(), kExitDone);
  std::atomic<std::size_t> next{0};
  auto worker = [&] {
    for (std::size_t i = next++; i < jobs.size(); i = next++) {
      FileReport report(several ? jobs[i].label + ": " : "", !settings.json, live, settings.quiet, progress);
      if (g_stop.load() != 0) {
        codes[i] = kExitStopped;
        ReportNotConverted(jobs[i], settings, report);
        report.Flush();
        continue;
      }
      if (!several && !settings.json) report.Out(jobs[i].label);
      try {
        codes[i] = RunJob(jobs[i], settings, report);
      } catch (const std::exception& error) {
        // Not out of a thread: the other files go on.
        codes[i] = kExitFailed;
        report.Err(std::string("Error: ") + error.what());
      }
      report.Flush();
    }
  };
  if (threads == 1) {
    worker();
  } else {
    std::vector<std::thread> pool;
    for (unsigned t = 0; t < threads; ++t) pool.emplace_back(worker);
    for (std::thread& thread : pool) thread.join();
  }
  int exit_code = kExitDone;
  for (int code : codes) {
    // A usage error outranks a failure, a failure a stop, a stop damaged input.
    auto rank = [](int c) {
      return c == kExitUsage ? 4 : c == kExitFailed ? 3 : c == kExitStopped ? 2 : c == kExitDamaged ? 1 : 0;
    };
    if (rank(code) > rank(exit_code)) exit_code = code;
  }
  return exit_code;
}

void InstallStopSignals() {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
#if !defined(_WIN32)
  std::signal(SIGHUP, OnStopSignal);
  std::signal(SIGPIPE, OnStopSignal);
#endif
}

}  // namespace

void AddConvertCommand(CLI::App& app, int& exit_code) {
  auto* command = app.add_subcommand(
      "convert",
      "Convert raw data files. Each FILE.dat gives FILE.gpb (measurements), FILE.epp (ephemerides), "
      "FILE.sta (station lines) and FILE.sum (summary) beside it, or in the folder given with -d; existing "
      "files of those names are replaced. Each file is converted by its bare name, as a host converts it "
      "from its own folder. Messages go to standard error with their GPS time in seconds of the week ('-' "
      "when a message concerns no time); the counts go to standard output. In a run of several files every "
      "line starts with its file's name. Ctrl-C, SIGTERM, SIGHUP and a closed output pipe stop the run "
      "cleanly: the outputs hold whole epochs and the closing summary. Exit codes: 0 done; 1 stopped; 2 "
      "failed (or refused, or damaged input with --strict); 3 converted, but the input was damaged (invalid "
      "record types, bytes passed over between records, a record cut by the end of the file, epochs "
      "dropped, no measurement epoch at all); 64 usage error.");
  auto settings = std::make_shared<Settings>();
  command->add_flag("--kinematic", settings->kinematic,
                    "Start in kinematic motion mode (station records may still switch it)");
  command->add_option("-d,--output-dir", settings->output_dir,
                      "Write the outputs into DIR (created if missing) instead of beside each input");
  command->add_option("-o,--name", settings->output_name,
                      "The name standard input ('-') goes by, as a receiver names its files (SITEDDDS.dat): "
                      "it names the outputs in DIR and gives the summary its day. A bare file name (no folder, "
                      "no leading dot); only with '-' and -d");
  command->add_option("-j,--jobs", settings->jobs, "Convert N files at once (default 1)")
      ->check(CLI::Range(1u, 256u));
  command->add_flag("--strict", settings->strict, "Count damaged input as a failure (exit 2 instead of 3)");
  command->add_flag("-q,--quiet", settings->quiet, "No messages and no progress bar; results and errors only");
  command->add_flag("-v,--verbose", settings->verbose, "Also list the files written");
  command->add_flag("--json", settings->json,
                    "One JSON object per file on standard output: file, result, exit_code, counts, warnings, "
                    "outputs, messages, and failure/reason when it failed");
  AddExtraSinkOptions(*command, settings->extra);
  command->add_option("FILE", settings->files, "Raw data files to convert ('-' for standard input)")->required();
  command->callback([settings, &exit_code] {
    if (const std::string usage = CheckUsage(*settings); !usage.empty()) {
      std::fprintf(stderr, "morvelin convert: %s\n", usage.c_str());
      exit_code = kExitUsage;
      return;
    }
    // Read once, before any file is converted: a file that cannot give
    // them refuses the whole run, with nothing written.
    if (const Status loaded = LoadIonosphere(settings->extra.rinex); !loaded.Ok()) {
      std::fprintf(stderr, "morvelin convert: %s\n", FailureLine(loaded.Message(), loaded.Reason()).c_str());
      exit_code = kExitFailed;
      return;
    }
    if (!settings->output_dir.empty() && !MakeOutputFolder(settings->output_dir, settings->files)) {
      exit_code = kExitFailed;
      return;
    }
    g_stop.store(0);
    InstallStopSignals();
    exit_code = ConvertAll(*settings);
    // A signal that came after the last file (a pipe closed while the
    // results were printed) still ends the run as stopped, and a stopped
    // run does not also complain that standard output failed.
    if (g_stop.load() != 0 && exit_code != kExitFailed && exit_code != kExitUsage) exit_code = kExitStopped;
    if (exit_code == kExitStopped)
      std::fflush(stdout);
    else
      exit_code = FinishStandardOutput(exit_code);
  });
}

}  // namespace morvelin::cli
