// `morvelin inspect`: its options, checked and handed to the listing.
#include <iostream>
#include <memory>
#include <string>
#include <tuple>

#include "commands.h"
#include "listing.h"

namespace morvelin::cli {

static_assert(kInspectDone == kExitDone && kInspectNotFound == kExitAnswerNo && kInspectDamaged == kExitFailed &&
              kInspectUsage == kExitUsage);

namespace {

struct InspectArguments {
  std::string file;
  bool csv = false;
  int prn = 0;
  std::string from;
  std::string to;
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
  const CLI::Validator gps_time(
      [](std::string& text) {
        GpsTimeArgument unused;
        return ParseGpsTimeArgument(text, unused) ? std::string()
                                                  : "must be SECONDS or WEEK:SECONDS (GPS time), not " + text;
      },
      "SECONDS|WEEK:SECONDS");
  auto* from = command
                   ->add_option("--from", args->from,
                                "Measurement files only: skip the epochs before this time; with --prn the search "
                                "starts at the first epoch at or after it. SECONDS: GPS seconds of the week of the "
                                "first epoch, running on past 604800 into the next week (a value below the first "
                                "epoch's is taken in the next week when the file crosses the end of the week); "
                                "WEEK:SECONDS: GPS week and seconds, the file's week read from its .epp")
                   ->check(gps_time);
  auto* to = command
                 ->add_option("--to", args->to,
                              "Measurement files only: end the listing before the first epoch after this time "
                              "(SECONDS or WEEK:SECONDS, as --from)")
                 ->check(gps_time);
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
    for (const auto& [option, text, into] : {std::tuple{from, &args->from, &options.from},
                                             std::tuple{to, &args->to, &options.to}}) {
      GpsTimeArgument time;
      if (option->count() > 0 && ParseGpsTimeArgument(*text, time)) *into = time;
    }
    exit_code = FinishStandardOutput(ListFile(args->file, options, std::cout, std::cerr));
  });
}

}  // namespace morvelin::cli
