// `morvelin inspect`: its options, checked and handed to the listing.
#include <iostream>
#include <memory>
#include <string>

#include "commands.h"
#include "listing.h"

namespace morvelin::cli {

static_assert(kInspectDone == kExitDone && kInspectNotFound == kExitAnswerNo && kInspectDamaged == kExitFailed);

namespace {

struct InspectArguments {
  std::string file;
  bool csv = false;
  int prn = 0;
  double from = 0.0;
  double to = 0.0;
};

}  // namespace

void AddInspectCommand(CLI::App& app, int& exit_code) {
  auto* command = app.add_subcommand(
      "inspect",
      "Show the content of a converted file.\n"
      "  .gpb  the header (receiver type, channel count, creation time, the file name stored at creation), "
      "then one line per epoch and satellite: epoch time (GPS seconds of the week), epoch flags (1: four or "
      "more satellites, 2: kinematic), latitude and longitude (degrees), height (m), PRN, lock time (s), L1 "
      "and L2 pseudorange (m) and carrier phase (cycles). An epoch without satellites gets one line of its "
      "own.\n"
      "  .epp  one line per ephemeris block: PRN, IODE, toe, sqrt(A), eccentricity.\n"
      "  .sta, .sum  the text as it is.\n"
      "A damaged measurement file is listed up to the damage; the reason follows on stderr.\n"
      "Exit code: 0 listed; 1 no epoch matched --prn/--from/--to, or standard output was closed; 2 the file "
      "is missing, unreadable or damaged, or standard output cannot be written; 64 usage error (so is --csv, "
      "--prn, --from or --to with a file other than a .gpb).");
  auto args = std::make_shared<InspectArguments>();
  command->add_option("FILE", args->file, "The .gpb, .epp, .sta or .sum file to show")->required();
  command->add_flag("--csv", args->csv,
                    "Measurement files only: print a comma-separated table instead, a header row and one row "
                    "per epoch and satellite with every field of the epoch and observation records (the "
                    "satellite columns are empty for an epoch without satellites)");
  auto* prn = command
                  ->add_option("--prn", args->prn,
                               "Measurement files only: list this satellite alone, from the first epoch in "
                               "which it has an L1 pseudorange (found from the start of the file, or from "
                               "--from, by the library's search, run window after window of at most 60 epochs "
                               "and 1000 s); epochs without it are left out")
                  ->check(CLI::Range(0, 255));
  auto* from = command->add_option(
      "--from", args->from,
      "Measurement files only: skip the epochs whose time (GPS seconds of the week) is before this; "
      "with --prn the search starts at the first epoch at or after it");
  auto* to = command->add_option(
      "--to", args->to,
      "Measurement files only: end the listing before the first epoch whose time (GPS seconds of the "
      "week) is after this");
  command->callback([args, prn, from, to, &exit_code] {
    const bool measurement_options = args->csv || prn->count() > 0 || from->count() > 0 || to->count() > 0;
    if (KindOfFile(args->file) != ListedKind::kMeasurement && measurement_options) {
      std::cerr << "Error: --csv, --prn, --from and --to apply to measurement files (.gpb) only\n";
      exit_code = kExitUsage;
      return;
    }
    InspectOptions options;
    options.csv = args->csv;
    if (prn->count() > 0) options.prn = args->prn;
    if (from->count() > 0) options.from = args->from;
    if (to->count() > 0) options.to = args->to;
    exit_code = FinishStandardOutput(ListFile(args->file, options, std::cout, std::cerr));
  });
}

}  // namespace morvelin::cli
