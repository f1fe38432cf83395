#include "session.h"

#include <cmath>
#include <cstdio>

#include "constellation.h"
#include "gnss/constants.h"
#include "raw_writer.h"

namespace morvelin::sim {

namespace {

constexpr std::int64_t kTimeRecordEvery = 60000;  // ms of receiver time

std::int64_t EpochCount(const SimulationConfig& c) {
  return static_cast<std::int64_t>(std::floor(c.duration * 1000.0 / static_cast<double>(EpochIntervalMs(c)) + 1e-9));
}
double Milliseconds(gnss::GpsTime t) { return std::round(t.seconds * 1e3); }

void WriteSessionStart(RawWriter& raw, const SimulationConfig& config, const ReceiverSpec& receiver,
                       const ReceiverEpoch& first, const Constellation& constellation) {
  raw.TimeRecord(first.receiver_time.seconds);
  raw.StationName(receiver.station);
  raw.ReceiverTypeRecord(config.observation.dual_frequency ? ReceiverType::kGeodeticL1L2 : ReceiverType::kCaCode);
  raw.AntennaHeight(receiver.antenna_height);
  raw.AntennaRecord(Milliseconds(first.receiver_time), receiver.antenna_height);
  raw.Position(first.geodetic, first.clock_offset * 1e3);
  raw.MotionMode(receiver.kinematic);
  raw.TimeMark(first.receiver_time.seconds);
  raw.StationEntry(receiver.kinematic ? "Simulated kinematic start" : "Simulated static occupation",
                   receiver.antenna_height, receiver.station);
  raw.Ionosphere(config.observation.klobuchar);
  for (std::size_t i = 0; i < constellation.Size(); ++i) raw.Ephemeris(constellation.At(i, first.time));
}

void ApplyDamage(std::vector<std::uint8_t>& bytes, const Damage& damage, Random& random) {
  for (std::int64_t i = 0; i < damage.bit_flips && !bytes.empty(); ++i) {
    const std::uint64_t at = random.Below(bytes.size());
    bytes[at] = static_cast<std::uint8_t>(bytes[at] ^ (1u << random.Below(8)));
  }
  const auto cut = static_cast<std::size_t>(damage.cut_end < 0 ? 0 : damage.cut_end);
  // Only ever shortened: erase, not resize, which could grow it.
  const std::size_t keep = cut >= bytes.size() ? 0 : bytes.size() - cut;
  bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(keep), bytes.end());
}

// The truth of an epoch and the slips put into its phases.
void RecordTruth(ReceiverOutput& out, std::int64_t k, const ReceiverEpoch& epoch,
                 const std::vector<SatelliteObservation>& observations, bool dual_frequency) {
  out.truth.push_back({k, epoch.time, epoch.receiver_time, epoch.position, epoch.geodetic, epoch.clock_offset,
                       static_cast<int>(observations.size())});
  for (const SatelliteObservation& o : observations)
    if (o.l1_jump != 0.0)
      out.slips.push_back({k, epoch.receiver_time, o.prn, o.l1_jump, dual_frequency ? o.l2_jump : 0.0,
                           (o.f1 & kCycleSlip) != 0});
}

// An event between epoch k and the next (0.37 s after a multiple of the
// event interval, off the epoch grid), with a point entry when the receiver
// moves. marker: the events so far.
void WriteEvent(RawWriter& raw, const SimulationConfig& config, const ReceiverSpec& receiver,
                const ReceiverEpoch& epoch, std::int64_t k, std::int64_t interval, std::uint16_t& marker) {
  const double elapsed = static_cast<double>(k * interval) / 1000.0;
  const double next = elapsed + static_cast<double>(interval) / 1000.0;
  const double at = (std::floor((next - 0.37) / config.event_interval)) * config.event_interval + 0.37;
  if (!(at > elapsed && at <= next && at > 1.0)) return;
  ++marker;
  raw.ExternalEvent(marker, Milliseconds(gnss::AddSeconds(epoch.receiver_time, at - elapsed)));
  if (receiver.kinematic) {
    char point[16];
    std::snprintf(point, sizeof point, "PT%04u", static_cast<unsigned>(marker));
    raw.PointEntry(point, "Kinematic point at an event");
  }
}

ReceiverOutput SimulateReceiver(const SimulationConfig& config, const Constellation& constellation,
                                std::size_t number) {
  const ReceiverSpec& receiver = config.receivers[number];
  const std::int64_t interval = EpochIntervalMs(config);
  const std::int64_t epochs = EpochCount(config);
  Random damage_random(config.seed, 1000 + 2 * number);
  RawWriter raw;
  raw.SetJunk(config.damage.junk_rate, &damage_random);
  Tracker tracker(config.observation, Random(config.seed, 1001 + 2 * number));
  ReceiverOutput out;

  ReceiverEpoch epoch = ReceiverAt(receiver, config.start, 0, interval);
  WriteSessionStart(raw, config, receiver, epoch, constellation);
  std::int64_t set = Constellation::SetNumber(epoch.time);
  std::int64_t steps = epoch.clock_steps;
  std::uint16_t marker = 0;
  for (std::int64_t k = 0; k < epochs; ++k) {
    if (k > 0) epoch = ReceiverAt(receiver, config.start, k, interval);
    const auto time_ms = static_cast<double>(epoch.receiver_ms);
    if (k > 0 && (k * interval) % kTimeRecordEvery == 0) raw.TimeRecord(epoch.receiver_time.seconds);
    if (Constellation::SetNumber(epoch.time) != set) {
      set = Constellation::SetNumber(epoch.time);
      for (std::size_t i = 0; i < constellation.Size(); ++i) raw.Ephemeris(constellation.Ephemeris(i, set));
    }
    if (epoch.clock_steps != steps) {
      raw.TimeAdjustment(time_ms, static_cast<std::uint16_t>(std::llabs(epoch.clock_steps - steps)));
      steps = epoch.clock_steps;
    }
    const std::vector<SatelliteObservation> observations = tracker.Observe(constellation, epoch);
    raw.Measurement(time_ms, epoch.clock_offset * 1e3, observations);
    RecordTruth(out, k, epoch, observations, config.observation.dual_frequency);
    if (config.event_interval > 0.0) WriteEvent(raw, config, receiver, epoch, k, interval, marker);
  }
  out.raw = std::move(raw.Bytes());
  out.whole_size = out.raw.size();
  ApplyDamage(out.raw, config.damage, damage_random);
  return out;
}

// The epoch grid: a rate, or an interval whose epochs fall on its multiples.
std::string CheckEpochGrid(const SimulationConfig& c) {
  if (c.interval == 0) {
    if (c.rate < 1 || c.rate > 20 || 1000 % c.rate != 0)
      return "the rate must be 1, 2, 4, 5, 8, 10 or 20 Hz (a whole number of milliseconds between epochs)";
    return {};
  }
  if (c.interval < 1 || c.interval > 3600 || kSecondsPerDay % c.interval != 0)
    return "the interval must be a whole number of seconds from 1 to 3600 that divides a day (e.g. 5, 15, 30)";
  if (std::fmod(c.start.seconds, static_cast<double>(c.interval)) != 0.0)
    return "with an interval of " + std::to_string(c.interval) + " s the start must be a whole multiple of " +
           std::to_string(c.interval) + " s of week (the epochs fall on multiples of the interval)";
  return {};
}

}  // namespace

std::int64_t EpochIntervalMs(const SimulationConfig& c) {
  if (c.interval > 0) return static_cast<std::int64_t>(c.interval) * 1000;
  return c.rate > 0 ? 1000 / c.rate : 1000;
}

std::string CheckConfig(const SimulationConfig& c) {
  if (c.receivers.empty()) return "at least one receiver position is needed";
  if (std::string problem = CheckEpochGrid(c); !problem.empty()) return problem;
  if (!(c.duration > 0.0) || c.duration > kSecondsPerWeek) return "the duration must lie between 0 and 604800 s";
  if (EpochCount(c) < 1) return "the duration must hold at least one epoch (one interval between epochs)";
  if (c.start.week < 0 || c.start.week > 32767 || !(c.start.seconds >= 0.0) || c.start.seconds >= kSecondsPerWeek)
    return "the start must be a GPS week 0-32767 and seconds of week 0 to below 604800";
  if (c.satellites < kMinSatellites || c.satellites > kMaxSatellites) return "the satellites must number 24 to 32";
  for (const ReceiverSpec& r : c.receivers) {
    if (std::fabs(r.clock_offset) >= 1e-3) return "the clock offset must lie within +-1 ms";
    if (std::fabs(r.clock_drift) > 1e-5) return "the clock drift must lie within +-1e-5 s/s";
    if (gnss::ToGeodetic(r.position).height < -1000.0 || gnss::ToGeodetic(r.position).height > 20000.0)
      return "a receiver must lie between -1000 m and 20000 m height";
  }
  const ObservationOptions& o = c.observation;
  if (o.code_noise < 0.0 || o.phase_noise < 0.0) return "noise levels cannot be negative";
  if (o.slip_rate < 0.0 || o.slip_rate > 1.0 || o.unflagged_slip_rate < 0.0 || o.unflagged_slip_rate > 1.0 ||
      o.invalid_rate < 0.0 || o.invalid_rate > 1.0 ||
      c.damage.junk_rate < 0.0 || c.damage.junk_rate > 1.0)
    return "rates are probabilities between 0 and 1";
  if (o.mask < 0.0 || o.mask >= 90.0) return "the elevation mask must lie between 0 and 90 degrees";
  if (c.damage.bit_flips < 0 || c.damage.cut_end < 0) return "damage counts cannot be negative";
  return {};
}

std::vector<ReceiverOutput> Simulate(const SimulationConfig& config) {
  const gnss::GpsTime first = gnss::AddSeconds(config.start, -1.0);
  const gnss::GpsTime last = gnss::AddSeconds(config.start, config.duration + 1.0);
  const Constellation constellation(config.seed, config.satellites, first, last);
  std::vector<ReceiverOutput> outputs;
  for (std::size_t i = 0; i < config.receivers.size(); ++i) outputs.push_back(SimulateReceiver(config, constellation, i));
  return outputs;
}

std::string TruthCsv(const SimulationConfig& config, const std::vector<ReceiverOutput>& outputs) {
  std::string csv =
      "station,epoch,gps_week,gps_seconds,receiver_seconds,x_m,y_m,z_m,latitude_deg,longitude_deg,height_m,"
      "clock_offset_s,satellites\n";
  char line[400];
  for (std::size_t r = 0; r < outputs.size(); ++r)
    for (const TruthRow& t : outputs[r].truth) {
      std::snprintf(line, sizeof line, "%s,%lld,%d,%.9f,%.3f,%.4f,%.4f,%.4f,%.10f,%.10f,%.4f,%.12e,%d\n",
                    config.receivers[r].station.c_str(), static_cast<long long>(t.epoch), t.time.week,
                    t.time.seconds, t.receiver_time.seconds, t.position.x, t.position.y, t.position.z,
                    gnss::Degrees(t.geodetic.latitude), gnss::Degrees(t.geodetic.longitude), t.geodetic.height,
                    t.clock_offset, t.satellites);
      csv += line;
    }
  return csv;
}

std::string SlipsCsv(const SimulationConfig& config, const std::vector<ReceiverOutput>& outputs) {
  std::string csv = "station,epoch,receiver_seconds,prn,l1_cycles,l2_cycles,flagged\n";
  char line[200];
  for (std::size_t r = 0; r < outputs.size(); ++r)
    for (const SlipRow& s : outputs[r].slips) {
      std::snprintf(line, sizeof line, "%s,%lld,%.3f,%d,%.0f,%.0f,%d\n", config.receivers[r].station.c_str(),
                    static_cast<long long>(s.epoch), s.receiver_time.seconds, s.prn, s.l1_cycles, s.l2_cycles,
                    s.flagged ? 1 : 0);
      csv += line;
    }
  return csv;
}

}  // namespace morvelin::sim
