// morvelin import: RINEX observation and navigation files into the host's
// four files, through the converter as a receiver's raw data (src/import),
// with the same further outputs (--rinex, --qc) and the same atomic output
// plan as convert: a run that fails leaves the earlier outputs untouched.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "convert_sinks.h"
#include "import/rinex_import.h"
#include "morvelin/converter.h"
#include "morvelin/output_set.h"

namespace morvelin::cli {

namespace {

struct ImportSettings {
  std::vector<std::string> files;  // the observation file, then navigation files
  std::string output_dir;
  std::string output_name;
  bool lenient = false;
  bool quiet = false;
  ExtraSinkOptions extra;
};

class MessageReport final : public ConversionObserver {
 public:
  explicit MessageReport(bool quiet) : quiet_(quiet) {}
  void OnMessage(double time, const char* text, bool) override {
    if (quiet_) return;
    if (time == -1.0)
      std::fprintf(stderr, "         -  %s\n", text);
    else
      std::fprintf(stderr, "%10.2f  %s\n", time, text);
  }

 private:
  bool quiet_;
};

void PrintCounts(const ConversionOutcome& outcome, const import::ImportCounts& c) {
  std::printf("  epochs written:     %d\n", outcome.counts.epochs);
  std::printf("  ephemerides:        %d\n", outcome.counts.ephemerides);
  std::printf("  station lines:      %d\n", outcome.counts.station_lines);
  std::printf("  events:             %d\n", outcome.counts.events);
  auto line = [](const char* what, std::int64_t n) {
    if (n != 0) std::printf("  %-20s%lld\n", what, static_cast<long long>(n));
  };
  line("other systems:", c.observation.other_systems + c.navigation.other_systems);
  line("left out (>12):", c.left_out);
  line("without L1 code:", c.without_l1_code);
  line("second L1 code:", c.second_l1_code);
  line("slip records:", c.observation.slip_records);
  line("duplicate eph.:", c.navigation.duplicates);
  line("skipped epochs:", c.observation.skipped_epochs);
  line("skipped lines:", c.observation.skipped_lines);
  line("skipped eph.:", c.navigation.skipped_records);
}

bool Lenient(const import::ImportCounts& c) {
  return c.observation.skipped_epochs + c.observation.skipped_lines + c.navigation.skipped_records != 0;
}

int Fail(OutputSet& set, const std::string& text, const std::string& reason = {}) {
  set.Discard();
  std::fprintf(stderr, "%s%s\n", text.c_str(), reason.empty() ? "" : (" (" + reason + ")").c_str());
  std::fprintf(stderr, "nothing written: the earlier outputs are as they were\n");
  return kExitFailed;
}

// Plans the outputs, converts and puts the outputs into place.
int RunImport(ImportSettings& settings, import::RinexImport& source) {
  OutputBatch batch;
  for (const std::string& file : settings.files) batch.AddInput(file);
  OutputSet set(settings.files.front(), &batch);
  const std::string base = import::ImportOutputBase(settings.files.front(), settings.output_dir, settings.output_name);
  ConversionRequest request;
  request.output_base = base;
  request.output_set = &set;
  MessageReport report(settings.quiet);
  request.observer = &report;
  std::vector<std::string> planned = {base + ".gpb", base + ".epp", base + ".sum", base + ".sta"};
  for (const std::string& extra : PlannedExtraOutputs(settings.extra, base)) planned.push_back(extra);
  for (const std::string& output : planned)
    if (const Status plan = set.Plan(output); !plan.Ok()) return Fail(set, plan.Message(), plan.Reason());
  if (!settings.extra.rinex.version.empty() && settings.extra.rinex.week < 0 && settings.extra.rinex.date.empty())
    settings.extra.rinex.week = source.FirstWeek();
  ExtraSinks extra;
  if (const Status made = MakeExtraSinks(settings.extra, base, set, extra); !made.Ok()) return Fail(set, made.Message());
  for (auto& sink : extra.sinks) request.sinks.push_back(sink.get());
  const ConversionOutcome outcome = import::ConvertImport(source, settings.files.front(), request);
  if (outcome.result == ConversionResult::kFailed) return Fail(set, outcome.failure, outcome.reason);
  if (const Status finished = FinishExtraSinks(settings.extra, extra); !finished.Ok())
    return Fail(set, finished.Message(), finished.Reason());
  if (const Status committed = set.Commit(); !committed.Ok())
    return Fail(set, committed.Message(), committed.Reason());
  PrintCounts(outcome, source.Counts());
  if (Lenient(source.Counts())) {
    std::fprintf(stderr, "imported, but malformed lines were passed over (--lenient)\n");
    return kExitDamaged;
  }
  return kExitDone;
}

}  // namespace

void AddImportCommand(CLI::App& app, int& exit_code) {
  auto* command = app.add_subcommand(
      "import",
      "Import a RINEX observation file (2.10, 2.11, 3.02-3.05; GPS only, other systems passed over with a count) "
      "and navigation files (2.x GPS, 3.x mixed: the GPS records), plain or .gz, into the host's four files "
      "(FILE.gpb, .epp, .sum, .sta beside the observation file, or in DIR, named NAME with -o), exactly as "
      "convert writes a receiver's data (docs/import.md). A malformed line is refused with its file, line and "
      "column. Exit codes: 0 done; 2 failed or refused; 3 imported with malformed lines passed over "
      "(--lenient); 64 usage error.");
  auto settings = std::make_shared<ImportSettings>();
  command->add_option("-d,--output-dir", settings->output_dir, "Write the outputs into DIR (created if missing)");
  command->add_option("-o,--name", settings->output_name, "Name the outputs NAME.gpb, NAME.epp, ... (a bare name)");
  command->add_flag("--lenient", settings->lenient,
                    "Pass over malformed lines (the epoch or navigation record they belong to) with a count");
  command->add_flag("-q,--quiet", settings->quiet, "No messages; results and errors only");
  AddExtraSinkOptions(*command, settings->extra);
  command->add_option("FILE", settings->files, "FILE.obs [FILE.nav ...]: the observation file, then navigation files")
      ->required();
  command->callback([settings, &exit_code] {
    const std::string& name = settings->output_name;
    if (!name.empty() && (name.find_first_of("/\\:") != std::string::npos || name[0] == '.')) {
      std::fprintf(stderr, "morvelin import: -o takes a bare file name (no folder, no leading dot), not %s\n",
                   name.c_str());
      exit_code = kExitUsage;
      return;
    }
    if (!settings->output_dir.empty() && !MakeOutputFolder(settings->output_dir, settings->files)) {
      exit_code = kExitFailed;
      return;
    }
    import::RinexImport source;
    const std::vector<std::string> navigation(settings->files.begin() + 1, settings->files.end());
    if (const Status opened = source.Open(settings->files.front(), navigation, settings->lenient); !opened.Ok()) {
      std::fprintf(stderr, "%s%s\n", opened.Message().c_str(),
                   opened.Reason().empty() ? "" : (" (" + opened.Reason() + ")").c_str());
      exit_code = kExitFailed;
      return;
    }
    exit_code = FinishStandardOutput(RunImport(*settings, source));
  });
}

}  // namespace morvelin::cli
