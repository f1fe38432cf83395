// morvelin-sim: simulates GPS receivers and writes the raw data file each of
// them would record. See --help, docs/simulator.md.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "gnss/constants.h"
#include "session.h"

namespace {

using morvelin::sim::ReceiverSpec;
using morvelin::sim::SimulationConfig;

bool ParseNumbers(const std::string& text, std::vector<double>& out, std::size_t count) {
  out.clear();
  std::size_t at = 0;
  while (at <= text.size() && out.size() < count + 1) {
    const std::size_t comma = text.find(',', at);
    const std::string field = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    try {
      std::size_t used = 0;
      out.push_back(std::stod(field, &used));
      if (used != field.size()) return false;
    } catch (const std::exception&) {
      return false;
    }
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return out.size() == count && std::all_of(out.begin(), out.end(), [](double v) { return std::isfinite(v); });
}

bool WriteFile(const std::string& path, const void* data, std::size_t size) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(data, 1, size, file) == size;
  return std::fclose(file) == 0 && written;
}

int Fail(const std::string& text) {
  std::fprintf(stderr, "morvelin-sim: %s\n", text.c_str());
  return 2;
}

// The command line as given, before it is checked.
struct CommandLine {
  SimulationConfig config;
  ReceiverSpec defaults;  // what every receiver starts from
  std::string start = "2291:86400";
  std::vector<std::string> positions, ecefs, stations, outputs;
  std::vector<int> kinematic_receivers;  // numbers from 1, in the order of the positions
  std::string truth_path, slips_path, code = "p";
  bool single = false, squared = false, no_iono = false, no_tropo = false;
  double clock_offset_ms = defaults.clock_offset * 1e3;
};

// The session, its receivers and the files to write.
void AddSessionOptions(CLI::App& app, CommandLine& line) {
  SimulationConfig& config = line.config;
  app.add_option("OUT", line.outputs, "raw data file(s) to write, one per receiver, in the order of the positions")
      ->required();
  app.add_option("--start", line.start, "receiver time of the first epoch, GPS WEEK:SECONDS (seconds of week)")
      ->capture_default_str();
  app.add_option("--duration", config.duration, "session length in seconds (epochs = duration x rate, or / interval)")
      ->capture_default_str();
  CLI::Option* rate =
      app.add_option("--rate", config.rate, "epochs per second: 1, 2, 4, 5, 8, 10 or 20")->capture_default_str();
  app.add_option("--interval", config.interval,
                 "seconds between epochs below 1 Hz, instead of --rate (e.g. 5, 15, 30; divides a day): epochs at "
                 "whole multiples of it in seconds of week")
      ->check(CLI::Range(1, 3600))
      ->excludes(rate);
  app.add_option("--position", line.positions,
                 "required (or --ecef): a receiver at LAT,LON,HEIGHT (degrees, degrees, metres above the WGS-84 "
                 "ellipsoid); repeat for more receivers")
      ->take_all()
      ->allow_extra_args(false);
  app.add_option("--ecef", line.ecefs,
                 "a receiver at X,Y,Z (metres, WGS-84 Earth-fixed), after those of --position; repeatable")
      ->take_all()
      ->allow_extra_args(false);
  app.add_option("--station", line.stations, "station name per receiver (up to 5 characters; default SIM1, SIM2, ...)")
      ->take_all()
      ->allow_extra_args(false);
  app.add_option("--seed", config.seed, "random seed: constellation, noise, slips, damage")->capture_default_str();
  app.add_option("--truth", line.truth_path, "write the true position and clock of every epoch to this CSV file");
  app.add_option("--slips", line.slips_path,
                 "write every cycle slip put into the phases (flagged by the receiver or not) to this CSV file");
  app.add_option("--satellites", config.satellites, "satellites in the constellation, 24-32")->capture_default_str();
}

// What the receivers track and how they move and keep time.
void AddReceiverOptions(CLI::App& app, CommandLine& line) {
  ReceiverSpec& defaults = line.defaults;
  app.add_option("--mask", line.config.observation.mask, "elevation mask, degrees")->capture_default_str();
  app.add_flag("--single-frequency", line.single, "L1 only (default: L1 and L2)");
  app.add_option("--code", line.code, "L1 code: p (P-code) or ca (C/A)")
      ->check(CLI::IsMember({"p", "ca"}))
      ->capture_default_str();
  app.add_flag("--squared-l2", line.squared, "dual frequency with squared L2: the host gets no L2 code and phase");
  CLI::Option* all = app.add_flag("--kinematic", defaults.kinematic,
                                  "every receiver moves around a circle that starts at its position");
  app.add_option("--kinematic-receivers", line.kinematic_receivers,
                 "these receivers move (numbers from 1 in the order of the positions, e.g. 2 or 2,3), the others "
                 "stay put; instead of --kinematic")
      ->delimiter(',')
      ->allow_extra_args(false)
      ->excludes(all);
  app.add_option("--speed", defaults.speed, "kinematic speed, m/s")->capture_default_str();
  app.add_option("--radius", defaults.radius, "kinematic circle radius, m")->capture_default_str();
  app.add_option("--antenna-height", defaults.antenna_height, "antenna height, m")->capture_default_str();
  app.add_option("--clock-offset", line.clock_offset_ms, "receiver clock offset at the first epoch, ms (within +-1)")
      ->capture_default_str();
  app.add_option("--clock-drift", defaults.clock_drift,
                 "receiver clock drift, s/s; the receiver steps its clock by 1 ms when the offset passes 1 ms")
      ->capture_default_str();
}

// Noise, atmosphere, slips, events, and the damage done to the files.
void AddErrorOptions(CLI::App& app, CommandLine& line) {
  morvelin::sim::ObservationOptions& obs = line.config.observation;
  morvelin::sim::Damage& damage = line.config.damage;
  app.add_option("--code-noise", obs.code_noise, "code noise, metres (1 sigma)")->capture_default_str();
  app.add_option("--phase-noise", obs.phase_noise, "carrier phase noise, metres (1 sigma)")->capture_default_str();
  app.add_flag("--no-iono", line.no_iono,
               "no ionospheric delay (default: 0.8 of the broadcast model it writes, with a smooth night edge, docs/simulator.md)");
  app.add_flag("--no-tropo", line.no_tropo, "no tropospheric delay (default: Saastamoinen, standard atmosphere)");
  app.add_option("--slip-rate", obs.slip_rate, "cycle slip probability per satellite and epoch")->capture_default_str();
  app.add_option("--unflagged-slip-rate", obs.unflagged_slip_rate,
                 "probability per satellite and epoch of continuous tracking of a cycle slip the receiver does not flag")
      ->capture_default_str();
  app.add_option("--invalid-rate", obs.invalid_rate, "invalid phase probability per satellite and epoch")
      ->capture_default_str();
  app.add_option("--event-interval", line.config.event_interval, "seconds between external event markers; 0 none")
      ->capture_default_str();
  app.add_option("--junk-rate", damage.junk_rate, "damage: probability of junk bytes after a record")
      ->capture_default_str();
  app.add_option("--bit-flips", damage.bit_flips, "damage: bits flipped at random in the file")->capture_default_str();
  app.add_option("--cut-end", damage.cut_end, "damage: bytes cut from the end of the file")->capture_default_str();
}

// Each of these takes a part of the command line into the configuration
// and returns what is wrong with it, or empty.

std::string TakeStart(const std::string& start, morvelin::gnss::GpsTime& time) {
  std::vector<double> v;
  std::string fields = start;
  if (const std::size_t colon = fields.find(':'); colon != std::string::npos) fields[colon] = ',';
  if (start.find(',') != std::string::npos || !ParseNumbers(fields, v, 2) || v[0] != std::floor(v[0]))
    return "--start must be WEEK:SECONDS, e.g. 2291:86400";
  time = {static_cast<std::int32_t>(v[0]), std::round(v[1] * 1000.0) / 1000.0};
  return {};
}

// The receivers of --position, then those of --ecef.
std::string TakePositions(const CommandLine& line, std::vector<ReceiverSpec>& receivers) {
  if (line.positions.empty() && line.ecefs.empty())
    return "--position LAT,LON,HEIGHT (or --ecef X,Y,Z) is required: where each receiver is";
  std::vector<double> v;
  for (const std::string& p : line.positions) {
    if (!ParseNumbers(p, v, 3) || std::fabs(v[0]) > 90.0 || std::fabs(v[1]) > 360.0)
      return "--position must be LAT,LON,HEIGHT in degrees, degrees, metres: " + p;
    ReceiverSpec r = line.defaults;
    r.position = morvelin::gnss::ToEcef({morvelin::gnss::Radians(v[0]), morvelin::gnss::Radians(v[1]), v[2]});
    receivers.push_back(r);
  }
  for (const std::string& p : line.ecefs) {
    if (!ParseNumbers(p, v, 3) || std::hypot(v[0], v[1], v[2]) < 6.0e6)
      return "--ecef must be X,Y,Z in metres near the Earth's surface: " + p;
    ReceiverSpec r = line.defaults;
    r.position = {v[0], v[1], v[2]};
    receivers.push_back(r);
  }
  return {};
}

// An output file, a station name and the clock offset for every receiver.
std::string TakeNames(const CommandLine& line, std::vector<ReceiverSpec>& receivers) {
  if (line.outputs.size() != receivers.size())
    return "give one OUT file per receiver (" + std::to_string(receivers.size()) + " receivers, " +
           std::to_string(line.outputs.size()) + " files)";
  if (line.stations.size() > receivers.size()) return "more --station names than receivers";
  // Every file written once: a name given twice would keep only the last.
  namespace fs = std::filesystem;
  std::vector<std::pair<fs::path, std::string>> files;  // the file compared, the name given
  for (const std::string& path : line.outputs) files.emplace_back(path, path);
  for (const std::string* path : {&line.truth_path, &line.slips_path})
    if (!path->empty()) files.emplace_back(*path, *path);
  for (std::size_t i = 0; i < files.size(); ++i) {
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(fs::absolute(files[i].first), error);
    files[i].first = error ? files[i].first.lexically_normal() : canonical;
    for (std::size_t j = 0; j < i; ++j)
      if (files[j].first == files[i].first)
        return files[i].second + " is named twice as an output (" + files[j].second + "): give each file once";
  }
  for (std::size_t i = 0; i < receivers.size(); ++i) {
    receivers[i].station = i < line.stations.size() ? line.stations[i] : "SIM" + std::to_string(i + 1);
    if (receivers[i].station.empty() || receivers[i].station.size() > 5) return "a station name has 1 to 5 characters";
    receivers[i].clock_offset = line.clock_offset_ms * 1e-3;
  }
  return {};
}

// The receivers --kinematic-receivers moves.
std::string TakeMotion(const CommandLine& line, std::vector<ReceiverSpec>& receivers) {
  for (const int number : line.kinematic_receivers) {
    if (number < 1 || static_cast<std::size_t>(number) > receivers.size())
      return "--kinematic-receivers: there is no receiver " + std::to_string(number) + " (receivers 1 to " +
             std::to_string(receivers.size()) + ", in the order of the positions)";
    receivers[static_cast<std::size_t>(number) - 1].kinematic = true;
  }
  return {};
}

void TakeSignals(const CommandLine& line, morvelin::sim::ObservationOptions& obs) {
  obs.dual_frequency = !line.single;
  obs.full_l2 = !line.squared;
  obs.p_code = line.code == "p";
  obs.ionosphere = !line.no_iono;
  obs.troposphere = !line.no_tropo;
}

// The configuration of the session, checked whole.
std::string Configure(CommandLine& line) {
  SimulationConfig& config = line.config;
  if (std::string problem = TakeStart(line.start, config.start); !problem.empty()) return problem;
  if (std::string problem = TakePositions(line, config.receivers); !problem.empty()) return problem;
  if (std::string problem = TakeMotion(line, config.receivers); !problem.empty()) return problem;
  if (std::string problem = TakeNames(line, config.receivers); !problem.empty()) return problem;
  TakeSignals(line, config.observation);
  return morvelin::sim::CheckConfig(config);
}

// The raw data files, then the truth and the slips when asked for: 0, or 2
// when --cut-end would leave nothing of a file (before any is written) or at
// the first file that cannot be written.
int WriteOutputs(const CommandLine& line, const std::vector<morvelin::sim::ReceiverOutput>& results) {
  const SimulationConfig& config = line.config;
  for (std::size_t i = 0; i < results.size(); ++i)
    if (config.damage.cut_end > 0 && static_cast<std::size_t>(config.damage.cut_end) >= results[i].whole_size)
      return Fail("--cut-end " + std::to_string(config.damage.cut_end) + " leaves nothing of " + line.outputs[i] +
                  " (" + std::to_string(results[i].whole_size) + " bytes): cut fewer bytes than the file holds");
  for (std::size_t i = 0; i < results.size(); ++i) {
    const std::string& path = line.outputs[i];
    if (!WriteFile(path, results[i].raw.data(), results[i].raw.size())) return Fail(path + ": cannot be written");
    std::printf("%s: %zu bytes, %zu epochs, station %s\n", path.c_str(), results[i].raw.size(),
                results[i].truth.size(), config.receivers[i].station.c_str());
  }
  if (!line.truth_path.empty()) {
    const std::string csv = morvelin::sim::TruthCsv(config, results);
    if (!WriteFile(line.truth_path, csv.data(), csv.size())) return Fail(line.truth_path + ": cannot be written");
  }
  if (!line.slips_path.empty()) {
    const std::string csv = morvelin::sim::SlipsCsv(config, results);
    if (!WriteFile(line.slips_path, csv.data(), csv.size())) return Fail(line.slips_path + ": cannot be written");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "morvelin-sim: simulates GPS receivers (a constellation flown from the broadcast ephemerides it writes) and\n"
      "writes one raw data file per receiver. Deterministic: the same options and seed give the same bytes."};
  CommandLine line;
  AddSessionOptions(app, line);
  AddReceiverOptions(app, line);
  AddErrorOptions(app, line);
  CLI11_PARSE(app, argc, argv);

  if (const std::string problem = Configure(line); !problem.empty()) return Fail(problem);
  return WriteOutputs(line, morvelin::sim::Simulate(line.config));
}
