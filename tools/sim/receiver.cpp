#include "receiver.h"

#include <cmath>

#include "gnss/constants.h"

namespace morvelin::sim {

namespace {

gnss::Ecef PositionAt(const ReceiverSpec& receiver, double elapsed) {
  if (!receiver.kinematic || receiver.radius <= 0.0) return receiver.position;
  const double angle = receiver.speed * elapsed / receiver.radius;
  const gnss::Enu offset{receiver.radius * std::sin(angle), receiver.radius * (1.0 - std::cos(angle)),
                         0.5 * std::sin(angle / 3.0)};
  return gnss::OffsetBy(receiver.position, gnss::ToGeodetic(receiver.position), offset);
}

}  // namespace

ReceiverEpoch ReceiverAt(const ReceiverSpec& receiver, gnss::GpsTime start, std::int64_t index,
                         std::int64_t interval_ms) {
  ReceiverEpoch epoch;
  epoch.index = index;
  const std::int64_t elapsed_ms = index * interval_ms;
  constexpr std::int64_t kWeekMs = std::int64_t{kWholeSecondsPerWeek} * 1000;
  const std::int64_t total_ms = static_cast<std::int64_t>(start.week) * kWeekMs +
                                static_cast<std::int64_t>(std::llround(start.seconds * 1000.0)) + elapsed_ms;
  epoch.receiver_ms = total_ms % kWeekMs;
  epoch.receiver_time = {static_cast<std::int32_t>(total_ms / kWeekMs), static_cast<double>(epoch.receiver_ms) / 1000.0};
  const double free_running = receiver.clock_offset + receiver.clock_drift * static_cast<double>(elapsed_ms) / 1000.0;
  epoch.clock_steps = static_cast<std::int64_t>(std::trunc(free_running / 1e-3));
  epoch.clock_offset = free_running - static_cast<double>(epoch.clock_steps) * 1e-3;
  epoch.clock_drift = receiver.clock_drift;
  epoch.time = gnss::AddSeconds(epoch.receiver_time, -epoch.clock_offset);

  const double elapsed = static_cast<double>(elapsed_ms) / 1000.0 - (epoch.clock_offset - receiver.clock_offset);
  epoch.position = PositionAt(receiver, elapsed);
  const gnss::Ecef ahead = PositionAt(receiver, elapsed + 0.05), behind = PositionAt(receiver, elapsed - 0.05);
  epoch.velocity = {(ahead.x - behind.x) / 0.1, (ahead.y - behind.y) / 0.1, (ahead.z - behind.z) / 0.1};
  epoch.geodetic = gnss::ToGeodetic(epoch.position);
  return epoch;
}

}  // namespace morvelin::sim
