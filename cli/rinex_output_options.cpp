#include "rinex_output_options.h"

#include <array>
#include <charconv>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/gnss_constants.h"
#include "listing/listing.h"
#include "morvelin/util.h"
#include "time_text.h"

namespace morvelin::cli {

namespace {

// "A,B,C": three numbers, read locale-free.
bool ParseTriple(std::string_view text, std::array<double, 3>& values) {
  for (std::size_t i = 0; i < 3; ++i) {
    const std::size_t comma = i < 2 ? text.find(',') : text.size();
    if (comma == std::string_view::npos) return false;
    std::string_view number = text.substr(0, comma);
    if (!number.empty() && number.front() == '+') number.remove_prefix(1);
    const auto result = std::from_chars(number.data(), number.data() + number.size(), values[i]);
    if (number.empty() || result.ec != std::errc() || result.ptr != number.data() + number.size()) return false;
    text.remove_prefix(i < 2 ? comma + 1 : comma);
  }
  return true;
}

// "A/B/C" into at most count parts: the last takes the rest, slashes and all.
std::vector<std::string> SlashParts(const std::string& text, std::size_t count) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (parts.size() + 1 < count) {
    const std::size_t slash = text.find('/', at);
    if (slash == std::string::npos) break;
    parts.push_back(text.substr(at, slash - at));
    at = slash + 1;
  }
  parts.push_back(text.substr(at));
  parts.resize(count);
  return parts;
}

CLI::Validator Check(const char* form, bool (*valid)(const std::string&)) {
  return CLI::Validator(
      [valid, form](std::string& text) { return valid(text) ? std::string() : "must be " + std::string(form) + ", not " + text; },
      "");
}

bool ValidTime(const std::string& text) {
  RinexGpsTime time;
  return ParseRinexTime(text, time);
}

bool ValidTriple(const std::string& text) {
  std::array<double, 3> values{};
  return ParseTriple(text, values);
}

}  // namespace

bool ParseRinexTime(const std::string& text, RinexGpsTime& time) {
  if (text.size() > 4 && text[4] == '-') {
    CalendarTime when;
    if (ParseCalendarTime(text, when) != CalendarParse::kDone) return false;
    int week = 0;
    double seconds = 0.0;
    CalendarToGpsFullWeek(when.hour, when.minute, when.seconds, when.month, when.day, when.year, week, seconds);
    if (week < 0 || seconds < 0.0) return false;
    time = {week, seconds};
    return true;
  }
  GpsTimeArgument argument;
  if (!ParseGpsTimeArgument(text, argument) || !argument.week || argument.seconds >= kSecondsPerWeek) return false;
  time = {*argument.week, argument.seconds};
  return true;
}

void AddRinexOutputOptions(CLI::App& command, RinexOutputCliOptions& options, CLI::Option* needs) {
  const char* time_form = "WEEK:SECONDS|YYYY-MM-DDTHH:MM:SS";
  std::vector<CLI::Option*> added = {
      command.add_option("--interval", options.interval,
                         "Keep the epochs at whole multiples of S seconds of the GPS week (within 0.025 s, as "
                         "RTKLIB's convbin -ti), 0.1 to 86400")
          ->check(CLI::Range(0.1, static_cast<double>(kSecondsPerDay)))
          ->type_name("S"),
      command.add_option("--from", options.from, "First time written, included: GPS WEEK:SECONDS or YYYY-MM-DDTHH:MM:SS")
          ->check(Check(time_form, ValidTime))
          ->type_name("TIME"),
      command.add_option("--to", options.to, "Last time written, included: GPS WEEK:SECONDS or YYYY-MM-DDTHH:MM:SS")
          ->check(Check(time_form, ValidTime))
          ->type_name("TIME"),
      command.add_option("--split", options.split, "One observation file per hour or per day of GPS time")
          ->check(CLI::IsMember({"hour", "day"})),
      command.add_option("--marker-name", options.marker_name, "MARKER NAME (60 characters; names the files too)"),
      command.add_option("--marker-number", options.marker_number, "MARKER NUMBER (20 characters)"),
      command.add_option("--marker-type", options.marker_type,
                         "MARKER TYPE, RINEX 3 (20 characters; default GEODETIC, GROUND_CRAFT for a kinematic start)"),
      command.add_option("--observer", options.observer, "OBSERVER (20 characters)"),
      command.add_option("--agency", options.agency, "AGENCY (40 characters)"),
      command.add_option("--receiver", options.receiver,
                         "REC # / TYPE / VERS: NUMBER/TYPE/VERSION, 20 characters each (an empty part keeps the data's)")
          ->type_name("N/T/V"),
      command.add_option("--antenna", options.antenna, "ANT # / TYPE: NUMBER/TYPE, 20 characters each")
          ->type_name("N/T"),
      command.add_option("--antenna-delta", options.antenna_delta,
                         "ANTENNA: DELTA H/E/N in metres (default: the antenna height of the data, 0, 0)")
          ->check(Check("H,E,N", ValidTriple))
          ->type_name("H,E,N"),
      command.add_option("--approx-position", options.approx_position,
                         "APPROX POSITION XYZ of the marker in metres, Earth-fixed (default: the data's "
                         "position, the antenna's, less the antenna delta)")
          ->check(Check("X,Y,Z", ValidTriple))
          ->type_name("X,Y,Z"),
      command.add_flag("--gzip", options.gzip, "Write the RINEX files gzip-compressed (.23o.gz, _GO.rnx.gz)"),
  };
  if (needs != nullptr)
    for (CLI::Option* option : added) option->needs(needs);
}

Status ApplyRinexOutputOptions(const RinexOutputCliOptions& cli, RinexOptions& options) {
  options.interval = cli.interval;
  RinexGpsTime time;
  if (!cli.from.empty()) {
    if (!ParseRinexTime(cli.from, time)) return Status::Failed("Error: --from must be WEEK:SECONDS or YYYY-MM-DDTHH:MM:SS");
    options.from = time;
  }
  if (!cli.to.empty()) {
    if (!ParseRinexTime(cli.to, time)) return Status::Failed("Error: --to must be WEEK:SECONDS or YYYY-MM-DDTHH:MM:SS");
    options.to = time;
  }
  if (cli.split == "hour") options.split = RinexSplit::kHour;
  else if (cli.split == "day") options.split = RinexSplit::kDay;
  else if (!cli.split.empty()) return Status::Failed("Error: --split must be hour or day, not " + cli.split);
  RinexHeaderFields& header = options.header;
  header.marker_name = cli.marker_name, header.marker_number = cli.marker_number;
  header.marker_type = cli.marker_type, header.observer = cli.observer, header.agency = cli.agency;
  const std::vector<std::string> receiver = SlashParts(cli.receiver, 3);
  header.receiver_number = receiver[0], header.receiver_type = receiver[1], header.receiver_version = receiver[2];
  const std::vector<std::string> antenna = SlashParts(cli.antenna, 2);
  header.antenna_number = antenna[0], header.antenna_type = antenna[1];
  for (const auto& [text, into, name] : {std::tuple{&cli.antenna_delta, &header.antenna_delta, "--antenna-delta"},
                                         std::tuple{&cli.approx_position, &header.approx_position, "--approx-position"}}) {
    if (text->empty()) continue;
    std::array<double, 3> values{};
    if (!ParseTriple(*text, values)) return Status::Failed(std::string("Error: ") + name + " must be three numbers A,B,C");
    *into = values;
  }
  options.gzip = cli.gzip;
  return CheckRinexOptions(options);
}

}  // namespace morvelin::cli
