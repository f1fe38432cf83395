#include "constellation.h"

#include <algorithm>
#include <cmath>

#include "gnss/constants.h"
#include "gnss/ephemeris_record.h"
#include "gnss/geodesy.h"
#include "random.h"

namespace morvelin::sim {

namespace {

using gnss::BroadcastEphemeris;

constexpr int kPlanes = 6;
constexpr std::int64_t kSetsPerWeek = 84;  // 604800 / 7200

double WrapAngle(double radians) {
  radians = std::fmod(radians, 2.0 * kPi);
  if (radians > kPi) radians -= 2.0 * kPi;
  if (radians <= -kPi) radians += 2.0 * kPi;
  return radians;
}

double Single(double value) { return static_cast<double>(static_cast<float>(value)); }

// The orbit and clock of one satellite at the toe of its first set.
BroadcastEphemeris FirstEphemeris(Random& random, int prn, int index, int count, double plane_rotation) {
  const int plane = index % kPlanes;
  const int slot = index / kPlanes;
  const int slots = count / kPlanes + (plane < count % kPlanes ? 1 : 0);
  const double latitude_argument = 2.0 * kPi * (slot + plane / static_cast<double>(kPlanes)) / slots +
                                   gnss::Radians(random.Uniform(-6.0, 6.0));
  BroadcastEphemeris e;
  e.prn = prn;
  e.sqrt_a = 5153.45 + random.Uniform(0.0, 0.4);
  e.e = random.Uniform(0.001, 0.018);
  e.i0 = gnss::RecordableRadians(gnss::Radians(55.0 + random.Uniform(-1.5, 1.5)), false);
  e.omega0 = gnss::RecordableRadians(WrapAngle(plane_rotation + plane * (2.0 * kPi / kPlanes)), false);
  e.omega = gnss::RecordableRadians(random.Uniform(-kPi, kPi), false);
  e.m0 = gnss::RecordableRadians(WrapAngle(latitude_argument - e.omega), false);
  e.delta_n = gnss::RecordableRadians(random.Uniform(3.8e-9, 5.4e-9), true);
  e.idot = gnss::RecordableRadians(random.Uniform(-4e-10, 4e-10), true);
  e.omega_dot = gnss::RecordableRadians(random.Uniform(-8.4e-9, -7.6e-9), true);
  e.cuc = gnss::RecordableRadians(random.Uniform(-9e-6, 9e-6), true);
  e.cus = gnss::RecordableRadians(random.Uniform(-1.2e-5, 1.2e-5), true);
  e.cic = gnss::RecordableRadians(random.Uniform(-2e-7, 2e-7), true);
  e.cis = gnss::RecordableRadians(random.Uniform(-2e-7, 2e-7), true);
  e.crc = Single(random.Uniform(150.0, 350.0));
  e.crs = Single(random.Uniform(-120.0, 120.0));
  e.af0 = random.Uniform(-5e-4, 5e-4);
  e.af1 = random.Uniform(-8e-12, 8e-12);
  e.af2 = 0.0;
  e.tgd = Single(std::ldexp(std::round(random.Uniform(-25.0, 25.0)), -31));
  e.iode = static_cast<std::int32_t>(random.Below(256));
  return e;
}

// Set `set` of the orbit `first` (whose toe is that of set `first_set`):
// the same orbit and clock, moved to the new toe.
BroadcastEphemeris MoveTo(const BroadcastEphemeris& first, std::int64_t first_set, std::int64_t set) {
  BroadcastEphemeris e = first;
  const double elapsed = static_cast<double>(set - first_set) * kEphemerisInterval;
  e.week = static_cast<std::int32_t>(set / kSetsPerWeek);
  e.toe = e.toc = static_cast<std::int32_t>((set % kSetsPerWeek) * 7200);
  const double week_start_change = static_cast<double>(e.week - first.week) * kSecondsPerWeek;
  const double a = first.sqrt_a * first.sqrt_a;
  const double motion = std::sqrt(gnss::kEarthGravitation / (a * a * a)) + first.delta_n;
  e.m0 = gnss::RecordableRadians(WrapAngle(first.m0 + motion * elapsed), false);
  e.omega0 = gnss::RecordableRadians(
      WrapAngle(first.omega0 + first.omega_dot * elapsed - gnss::kEarthRotation * week_start_change), false);
  e.i0 = gnss::RecordableRadians(first.i0 + first.idot * elapsed, false);
  e.af0 = Single(first.af0 + first.af1 * elapsed + first.af2 * elapsed * elapsed);
  e.af1 = Single(first.af1 + 2.0 * first.af2 * elapsed);
  e.iode = static_cast<std::int32_t>((first.iode + (set - first_set)) % 256);
  e.iodc = e.iode;
  return gnss::AsRecorded(e);
}

}  // namespace

std::int64_t Constellation::SetNumber(gnss::GpsTime t) {
  return static_cast<std::int64_t>(t.week) * kSetsPerWeek +
         static_cast<std::int64_t>(std::floor((t.seconds + kEphemerisInterval / 2.0) / kEphemerisInterval));
}

Constellation::Constellation(std::uint64_t seed, int satellite_count, gnss::GpsTime first, gnss::GpsTime last) {
  Random random(seed, 0);
  const int count = std::clamp(satellite_count, kMinSatellites, kMaxSatellites);
  std::vector<int> prns(kMaxSatellites);
  for (int i = 0; i < kMaxSatellites; ++i) prns[static_cast<std::size_t>(i)] = i + 1;
  for (std::size_t i = prns.size() - 1; i > 0; --i) std::swap(prns[i], prns[random.Below(i + 1)]);
  prns.resize(static_cast<std::size_t>(count));

  first_set_ = SetNumber(first);
  const std::int64_t last_set = std::max(first_set_, SetNumber(last));
  const double plane_rotation = random.Uniform(-kPi, kPi);
  std::vector<std::pair<int, BroadcastEphemeris>> by_prn;
  for (int i = 0; i < count; ++i) {
    BroadcastEphemeris base = FirstEphemeris(random, prns[static_cast<std::size_t>(i)], i, count, plane_rotation);
    base.week = static_cast<std::int32_t>(first_set_ / kSetsPerWeek);
    by_prn.emplace_back(base.prn, base);
  }
  std::sort(by_prn.begin(), by_prn.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [prn, base] : by_prn) {
    std::vector<BroadcastEphemeris> sets;
    for (std::int64_t set = first_set_; set <= last_set; ++set) sets.push_back(MoveTo(base, first_set_, set));
    sets_.push_back(std::move(sets));
  }
}

const gnss::BroadcastEphemeris& Constellation::Ephemeris(std::size_t index, std::int64_t set) const {
  const std::vector<gnss::BroadcastEphemeris>& sets = sets_[index];
  const std::int64_t offset = std::clamp<std::int64_t>(set - first_set_, 0, static_cast<std::int64_t>(sets.size()) - 1);
  return sets[static_cast<std::size_t>(offset)];
}

}  // namespace morvelin::sim
