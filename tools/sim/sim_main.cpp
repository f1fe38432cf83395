// morvelin-sim: simulates GPS receivers and writes the raw data file each of
// them would record. See --help, docs/simulator.md.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "gnss/constants.h"
#include "session.h"

namespace {

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

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "morvelin-sim: simulates GPS receivers (a constellation flown from the broadcast ephemerides it writes) and\n"
      "writes one raw data file per receiver. Deterministic: the same options and seed give the same bytes."};
  SimulationConfig config;
  morvelin::sim::ObservationOptions& obs = config.observation;
  morvelin::sim::ReceiverSpec defaults;
  std::string start = "2291:86400";
  std::vector<std::string> positions, ecefs, stations, outputs;
  std::string truth_path, slips_path, code = "p";
  bool single = false, squared = false, no_iono = false, no_tropo = false;
  double clock_offset_ms = defaults.clock_offset * 1e3;

  app.add_option("OUT", outputs, "raw data file(s) to write, one per receiver, in the order of the positions")
      ->required();
  app.add_option("--start", start, "receiver time of the first epoch, GPS WEEK:SECONDS (seconds of week)")
      ->capture_default_str();
  app.add_option("--duration", config.duration, "session length in seconds (epochs = duration x rate)")
      ->capture_default_str();
  app.add_option("--rate", config.rate, "epochs per second: 1, 2, 4, 5, 8, 10 or 20")->capture_default_str();
  app.add_option("--position", positions,
                 "a receiver at LAT,LON,HEIGHT (degrees, degrees, metres above the WGS-84 ellipsoid); repeat for more receivers")
      ->take_all()
      ->allow_extra_args(false);
  app.add_option("--ecef", ecefs, "a receiver at X,Y,Z (metres, WGS-84 Earth-fixed), after those of --position; repeatable")
      ->take_all()
      ->allow_extra_args(false);
  app.add_option("--station", stations, "station name per receiver (up to 5 characters; default SIM1, SIM2, ...)")
      ->take_all()
      ->allow_extra_args(false);
  app.add_option("--seed", config.seed, "random seed: constellation, noise, slips, damage")->capture_default_str();
  app.add_option("--truth", truth_path, "write the true position and clock of every epoch to this CSV file");
  app.add_option("--slips", slips_path,
                 "write every cycle slip put into the phases (flagged by the receiver or not) to this CSV file");
  app.add_option("--satellites", config.satellites, "satellites in the constellation, 24-32")->capture_default_str();
  app.add_option("--mask", obs.mask, "elevation mask, degrees")->capture_default_str();
  app.add_flag("--single-frequency", single, "L1 only (default: L1 and L2)");
  app.add_option("--code", code, "L1 code: p (P-code) or ca (C/A)")->check(CLI::IsMember({"p", "ca"}))->capture_default_str();
  app.add_flag("--squared-l2", squared, "dual frequency with squared L2: the host gets no L2 code and phase");
  app.add_flag("--kinematic", defaults.kinematic, "receivers move around a circle that starts at their position");
  app.add_option("--speed", defaults.speed, "kinematic speed, m/s")->capture_default_str();
  app.add_option("--radius", defaults.radius, "kinematic circle radius, m")->capture_default_str();
  app.add_option("--antenna-height", defaults.antenna_height, "antenna height, m")->capture_default_str();
  app.add_option("--clock-offset", clock_offset_ms, "receiver clock offset at the first epoch, ms (within +-1)")
      ->capture_default_str();
  app.add_option("--clock-drift", defaults.clock_drift,
                 "receiver clock drift, s/s; the receiver steps its clock by 1 ms when the offset passes 1 ms")
      ->capture_default_str();
  app.add_option("--code-noise", obs.code_noise, "code noise, metres (1 sigma)")->capture_default_str();
  app.add_option("--phase-noise", obs.phase_noise, "carrier phase noise, metres (1 sigma)")->capture_default_str();
  app.add_flag("--no-iono", no_iono, "no ionospheric delay (default: the broadcast model, docs/simulator.md)");
  app.add_flag("--no-tropo", no_tropo, "no tropospheric delay (default: Saastamoinen, standard atmosphere)");
  app.add_option("--slip-rate", obs.slip_rate, "cycle slip probability per satellite and epoch")->capture_default_str();
  app.add_option("--unflagged-slip-rate", obs.unflagged_slip_rate,
                 "probability per satellite and epoch of continuous tracking of a cycle slip the receiver does not flag")
      ->capture_default_str();
  app.add_option("--invalid-rate", obs.invalid_rate, "invalid phase probability per satellite and epoch")
      ->capture_default_str();
  app.add_option("--event-interval", config.event_interval, "seconds between external event markers; 0 none")
      ->capture_default_str();
  app.add_option("--junk-rate", config.damage.junk_rate, "damage: probability of junk bytes after a record")
      ->capture_default_str();
  app.add_option("--bit-flips", config.damage.bit_flips, "damage: bits flipped at random in the file")
      ->capture_default_str();
  app.add_option("--cut-end", config.damage.cut_end, "damage: bytes cut from the end of the file")->capture_default_str();
  CLI11_PARSE(app, argc, argv);

  auto fail = [](const std::string& text) {
    std::fprintf(stderr, "morvelin-sim: %s\n", text.c_str());
    return 2;
  };
  std::vector<double> v;
  std::string start_fields = start;
  if (const std::size_t colon = start_fields.find(':'); colon != std::string::npos) start_fields[colon] = ',';
  if (start.find(',') != std::string::npos || !ParseNumbers(start_fields, v, 2) || v[0] != std::floor(v[0]))
    return fail("--start must be WEEK:SECONDS, e.g. 2291:86400");
  config.start = {static_cast<std::int32_t>(v[0]), std::round(v[1] * 1000.0) / 1000.0};
  for (const std::string& p : positions) {
    if (!ParseNumbers(p, v, 3) || std::fabs(v[0]) > 90.0 || std::fabs(v[1]) > 360.0)
      return fail("--position must be LAT,LON,HEIGHT in degrees, degrees, metres: " + p);
    morvelin::sim::ReceiverSpec r = defaults;
    r.position = morvelin::gnss::ToEcef({morvelin::gnss::Radians(v[0]), morvelin::gnss::Radians(v[1]), v[2]});
    config.receivers.push_back(r);
  }
  for (const std::string& p : ecefs) {
    if (!ParseNumbers(p, v, 3) || std::hypot(v[0], v[1], v[2]) < 6.0e6)
      return fail("--ecef must be X,Y,Z in metres near the Earth's surface: " + p);
    morvelin::sim::ReceiverSpec r = defaults;
    r.position = {v[0], v[1], v[2]};
    config.receivers.push_back(r);
  }
  if (outputs.size() != config.receivers.size())
    return fail("give one OUT file per receiver (" + std::to_string(config.receivers.size()) + " receivers, " +
                std::to_string(outputs.size()) + " files)");
  if (stations.size() > config.receivers.size()) return fail("more --station names than receivers");
  for (std::size_t i = 0; i < config.receivers.size(); ++i) {
    config.receivers[i].station = i < stations.size() ? stations[i] : "SIM" + std::to_string(i + 1);
    if (config.receivers[i].station.empty() || config.receivers[i].station.size() > 5)
      return fail("a station name has 1 to 5 characters");
    config.receivers[i].clock_offset = clock_offset_ms * 1e-3;
  }
  obs.dual_frequency = !single;
  obs.full_l2 = !squared;
  obs.p_code = code == "p";
  obs.ionosphere = !no_iono;
  obs.troposphere = !no_tropo;
  if (const std::string problem = morvelin::sim::CheckConfig(config); !problem.empty()) return fail(problem);

  const std::vector<morvelin::sim::ReceiverOutput> results = morvelin::sim::Simulate(config);
  for (std::size_t i = 0; i < results.size(); ++i) {
    if (!WriteFile(outputs[i], results[i].raw.data(), results[i].raw.size()))
      return fail(outputs[i] + ": cannot be written");
    std::printf("%s: %zu bytes, %zu epochs, station %s\n", outputs[i].c_str(), results[i].raw.size(),
                results[i].truth.size(), config.receivers[i].station.c_str());
  }
  if (!truth_path.empty()) {
    const std::string csv = morvelin::sim::TruthCsv(config, results);
    if (!WriteFile(truth_path, csv.data(), csv.size())) return fail(truth_path + ": cannot be written");
  }
  if (!slips_path.empty()) {
    const std::string csv = morvelin::sim::SlipsCsv(config, results);
    if (!WriteFile(slips_path, csv.data(), csv.size())) return fail(slips_path + ": cannot be written");
  }
  return 0;
}
