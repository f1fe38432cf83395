#include "qc/collector.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include "base/gnss_constants.h"
#include "gnss/geodesy.h"
#include "gnss/orbit.h"
#include "gnss/time.h"
#include "qc/combinations.h"

namespace morvelin::qc {

namespace {

constexpr double kEphemerisReach = 4.0 * 3600;  // s from toe an ephemeris is used for elevations
constexpr std::size_t kEphemeridesPerPrn = 64;
constexpr std::int64_t kDetectorBatch = 1024;  // epochs whose samples wait for the detectors
constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();

}  // namespace

Collector::Collector(const QcOptions& options) : options_(options) {
  if (options_.position_given) {
    has_position_ = true;
    latitude_ = options_.latitude, longitude_ = options_.longitude, height_ = options_.height;
  }
}

// The detectors' thread, destroyed first, waits for its batch.
Collector::~Collector() = default;

std::size_t Collector::BinGrid::Index(double time) const {
  const double index = std::floor((time - first_time) * inverse_width + 1e-9);
  if (index < 0.0 || count == 0) return 0;
  return std::min(static_cast<std::size_t>(index), count - 1);
}

std::size_t Collector::BinOf(double time) {
  double index = std::floor((time - first_time_) / bin_width_ + 1e-9);
  if (index < 0.0) index = 0.0;
  while (index >= static_cast<double>(kPictureBins)) {
    HalveBins();
    index = std::floor((time - first_time_) / bin_width_ + 1e-9);
  }
  const auto bin = static_cast<std::size_t>(index);
  if (bins_.size() <= bin) bins_.resize(bin + 1);
  return bin;
}

void Collector::HalveBins() {
  // The detectors' batch adds to the multipath bins merged here.
  WaitForDetectors();
  bin_width_ *= 2.0;
  std::vector<SessionBin> merged((bins_.size() + 1) / 2);
  for (std::size_t i = 0; i < bins_.size(); ++i) {
    SessionBin& to = merged[i / 2];
    const SessionBin& from = bins_[i];
    if (from.epochs == 0) continue;
    to.min_satellites = to.epochs == 0 ? from.min_satellites : std::min(to.min_satellites, from.min_satellites);
    to.max_satellites = std::max(to.max_satellites, from.max_satellites);
    to.epochs += from.epochs;
    to.satellites += from.satellites;
  }
  bins_ = std::move(merged);
  auto halve = [](std::vector<std::uint32_t>& counts) {
    for (std::size_t i = 0; i < counts.size(); ++i) counts[i / 2] = (i % 2 == 0 ? 0 : counts[i / 2]) + counts[i];
    counts.resize((counts.size() + 1) / 2);
  };
  for (Satellite& sat : satellites_) {
    halve(sat.tracked_bins);
    halve(sat.dual_bins);
    std::vector<MpBin> kept;
    for (MpBin entry : sat.mp_bins) {
      entry.bin /= 2;
      if (!kept.empty() && kept.back().bin == entry.bin && kept.back().segment == entry.segment) {
        MpBin& into = kept.back();
        into.n += entry.n;
        into.sum1 += entry.sum1, into.square1 += entry.square1;
        into.sum2 += entry.sum2, into.square2 += entry.square2;
      } else {
        kept.push_back(entry);
      }
    }
    sat.mp_bins = std::move(kept);
  }
}

void Collector::AddEphemeris(const gnss::BroadcastEphemeris& eph) {
  if (eph.prn < 1 || eph.prn > kMaxPrn) return;
  auto& list = ephemerides_[static_cast<std::size_t>(eph.prn)];
  for (const gnss::BroadcastEphemeris& known : list)
    if (known.week == eph.week && known.toe == eph.toe && known.iode == eph.iode) return;
  if (list.size() >= kEphemeridesPerPrn) list.erase(list.begin());
  list.push_back(eph);
  ++ephemeris_count_;
}

const gnss::BroadcastEphemeris* Collector::EphemerisFor(int prn, double seconds_of_week) const {
  const gnss::BroadcastEphemeris* best = nullptr;
  double best_distance = kEphemerisReach;
  for (const gnss::BroadcastEphemeris& eph : ephemerides_[static_cast<std::size_t>(prn)]) {
    const double distance = std::fabs(gnss::WrapHalfWeek(seconds_of_week - eph.toe));
    if (distance <= best_distance) best = &eph, best_distance = distance;
  }
  return best;
}

void Collector::AddEvent(double time) {
  ++event_count_;
  if (events_.size() >= kEventList) return;
  double t = time + kSecondsPerWeek * weeks_on_;
  if (started_ && t < last_time_ - kHalfWeek) t += kSecondsPerWeek;
  if (started_ && t > last_time_ + kHalfWeek) t -= kSecondsPerWeek;
  events_.push_back(t);
}

void Collector::AddEpoch(const EpochInput& epoch) {
  if (!started_) {
    started_ = true;
    first_seconds_ = last_seconds_ = first_time_ = last_time_ = epoch.time;
    next_elevation_sample_ = first_time_;
  } else if (epoch.time < last_seconds_ - kHalfWeek) {
    ++weeks_on_;
  }
  const double t = epoch.time + kSecondsPerWeek * weeks_on_;
  bool session_continuous = true;
  if (epochs_ > 0) {
    const double step = t - last_time_;
    steps_.Add(step);
    const double interval = Interval();
    if (interval > 0.0 && step > 1.5 * interval) {
      missing_epochs_ += std::llround(step / interval) - 1;
      if (missing_.size() < kGapList) missing_.emplace_back(last_time_, t);
      session_continuous = false;
    }
  }
  last_seconds_ = epoch.time;
  last_time_ = t;
  if (!options_.position_given && epoch.has_position) {
    has_position_ = true;
    latitude_ = epoch.latitude, longitude_ = epoch.longitude, height_ = epoch.height;
  }
  if (has_position_ && !session_continuous) SampleHole(t, epoch.time);

  sorted_.clear();
  for (const Observation& o : epoch.observations)
    if (o.prn >= 1 && o.prn <= kMaxPrn) sorted_.push_back(o);
  // By PRN, in their order of arrival within a PRN: an insertion sort, as an
  // epoch's few satellites mostly come sorted (and it asks for no memory).
  for (std::size_t i = 1; i < sorted_.size(); ++i)
    for (std::size_t j = i; j > 0 && sorted_[j - 1].prn > sorted_[j].prn; --j) std::swap(sorted_[j - 1], sorted_[j]);
  sorted_.erase(std::unique(sorted_.begin(), sorted_.end(),
                            [](const Observation& a, const Observation& b) { return a.prn == b.prn; }),
                sorted_.end());

  const auto count = static_cast<std::uint32_t>(sorted_.size());
  ++epochs_;
  observations_ += count;
  min_satellites_ = epochs_ == 1 ? static_cast<std::int32_t>(count)
                                 : std::min(min_satellites_, static_cast<std::int32_t>(count));
  if (count < 4) ++below_four_;
  const std::size_t bin = BinOf(t);
  SessionBin& b = bins_[bin];
  b.min_satellites = b.epochs == 0 ? count : std::min(b.min_satellites, count);
  b.max_satellites = std::max(b.max_satellites, count);
  b.satellites += count;
  ++b.epochs;

  std::array<bool, kMaxPrn + 1> tracked{};
  for (const Observation& o : sorted_) {
    tracked[static_cast<std::size_t>(o.prn)] = true;
    Observe(satellites_[static_cast<std::size_t>(o.prn)], o, t, bin, session_continuous);
  }
  if (has_position_ && t >= next_elevation_sample_) SampleElevations(t, epoch.time, tracked);
  if (++waiting_epochs_ == kDetectorBatch) HandToDetectors();
}

void Collector::Observe(Satellite& sat, const Observation& obs, double t, std::size_t bin, bool session_continuous) {
  QcSatellite& r = sat.report;
  const std::int64_t index = epochs_ - 1;
  bool continuous = false;
  if (!sat.tracked) {
    sat.tracked = true;
    r.first_time = t;
    r.passes = 1;
  } else {
    continuous = sat.last_epoch == index - 1 && session_continuous;
    if (!continuous) {
      sat.sky_break = true;
      const double step = t - sat.last_time;
      if (step > options_.pass_break) {
        ++r.passes;
      } else {
        ++r.gaps;
        sat.longest_step = std::max(sat.longest_step, step);
        if (sat.gap_spans.size() < kGapList) sat.gap_spans.emplace_back(sat.last_time, t);
      }
    }
  }
  r.last_time = t;
  ++r.epochs;
  if (obs.dual) ++r.dual_epochs;
  if (sat.tracked_bins.size() <= bin) sat.tracked_bins.resize(bin + 1), sat.dual_bins.resize(bin + 1);
  ++sat.tracked_bins[bin];
  if (obs.dual) ++sat.dual_bins[bin];

  // Filled in place: a copy through the stack costs more than the rest.
  Waiting& w = sat.waiting.emplace_back();
  w.arc_break = !continuous || obs.flagged_slip || obs.dual != sat.last_dual;
  w.flagged = obs.flagged_slip;
  DetectorSample& s = w.sample;
  s.time = t;
  s.dual = obs.dual;
  if (obs.dual) {
    s.geometry_free = GeometryFree(obs.l1, obs.l2);
    s.wide_lane = MelbourneWuebbena(obs.p1, obs.p2, obs.l1, obs.l2);
    s.mp1 = Multipath1(obs.p1, obs.l1, obs.l2);
    s.mp2 = Multipath2(obs.p2, obs.l1, obs.l2);
  } else {
    s.code_phase = CodeMinusPhase(obs.p1, obs.l1);
  }
  sat.last_dual = obs.dual;
  sat.last_time = t;
  sat.last_epoch = index;
}

void Collector::Detect(Satellite& sat, const BinGrid& grid) {
  for (const Waiting& w : sat.detecting) {
    // Decisions on earlier samples come first, so the slips stay in time order.
    if (w.arc_break) sat.detector.Break(sat.decisions);
    Apply(sat, grid);
    if (w.flagged) {
      ++sat.report.slips_flagged;
      if (sat.report.slips.size() < kQcSlipListLimit) sat.report.slips.push_back({w.sample.time, kSlipFlagged});
    }
    sat.detector.Push(w.sample, sat.decisions);
    Apply(sat, grid);
  }
  sat.detecting.clear();
}

void Collector::DetectBatch() {
  // The satellites one at a time to whichever thread asks first.
  for (std::size_t p = next_detected_.fetch_add(1); p < satellites_.size(); p = next_detected_.fetch_add(1))
    Detect(satellites_[p], batch_grid_);
}

void Collector::HandToDetectors() {
  // The detectors and the multipath sums of a satellite are theirs alone
  // while they run, as is its slip list; this thread goes on with the
  // rest of the satellite. The picture's bins already cover every sample
  // handed over, and the grid is not halved before they are done.
  WaitForDetectors();
  waiting_epochs_ = 0;
  for (Satellite& sat : satellites_) std::swap(sat.waiting, sat.detecting);
  batch_grid_ = Grid();
  next_detected_.store(0);
  // No second thread to be had: the batch runs here.
  if (!detector_thread_.Give([this] { DetectBatch(); })) DetectBatch();
}

void Collector::WaitForDetectors() {
  DetectBatch();
  // The detectors' failure (no memory) ends the run as it would have in this thread.
  if (std::exception_ptr failure = detector_thread_.Wait()) std::rethrow_exception(failure);
}

void Collector::Apply(Satellite& sat, const BinGrid& grid) {
  for (const Decision& d : sat.decisions) {
    const DetectorSample& s = d.sample;
    if (d.found != 0) {
      ++sat.report.slips_found;
      if (sat.report.slips.size() < kQcSlipListLimit) sat.report.slips.push_back({s.time, d.found});
    }
    if (!s.dual) continue;
    if (d.new_segment || sat.segments.empty()) sat.segments.push_back({0, 0.0, 0.0, 0.0, 0.0, s.mp1, s.mp2});
    const std::size_t bin = grid.Index(s.time);
    const auto segment = static_cast<std::uint32_t>(sat.segments.size() - 1);
    MpSegment& seg = sat.segments.back();
    const double d1 = s.mp1 - seg.ref1, d2 = s.mp2 - seg.ref2;
    ++seg.n;
    seg.sum1 += d1, seg.square1 += d1 * d1;
    seg.sum2 += d2, seg.square2 += d2 * d2;
    if (sat.mp_bins.empty() || sat.mp_bins.back().bin != bin || sat.mp_bins.back().segment != segment)
      sat.mp_bins.push_back({static_cast<std::uint32_t>(bin), segment, 0, 0.0, 0.0, 0.0, 0.0});
    MpBin& entry = sat.mp_bins.back();
    ++entry.n;
    entry.sum1 += d1, entry.square1 += d1 * d1;
    entry.sum2 += d2, entry.square2 += d2 * d2;
  }
  sat.decisions.clear();
}

void Collector::SampleHole(double t, double seconds_of_week) {
  const double step = std::max(kElevationStep, Interval());
  const std::array<bool, kMaxPrn + 1> none{};
  const std::int64_t budget = kGapSamplesBase + kGapSamplesPerEpoch * epochs_;
  // An instant within an interval of t is the epoch's own to sample.
  while (next_elevation_sample_ <= t - Interval() + 1e-6 && gap_samples_ < budget) {
    ++gap_samples_;
    const double at = next_elevation_sample_;
    SampleElevations(at, seconds_of_week - (t - at), none);
    next_elevation_sample_ = at + step;
  }
}

void Collector::SampleElevations(double t, double seconds_of_week, const std::array<bool, kMaxPrn + 1>& tracked) {
  const double step = std::max(kElevationStep, Interval());
  next_elevation_sample_ = first_time_ + (std::floor((t - first_time_) / step + 1e-9) + 1.0) * step;
  const gnss::Geodetic where{gnss::Radians(latitude_), gnss::Radians(longitude_), height_};
  const gnss::Ecef receiver = gnss::ToEcef(where);
  for (int prn = 1; prn <= kMaxPrn; ++prn) {
    const auto p = static_cast<std::size_t>(prn);
    const gnss::BroadcastEphemeris* eph = EphemerisFor(prn, seconds_of_week);
    if (eph == nullptr || (eph->health != 0 && !tracked[p])) continue;
    const gnss::LookAngles look = gnss::LookAt(where, receiver, gnss::SatelliteAt(*eph, seconds_of_week).position);
    const double elevation = gnss::Degrees(look.elevation);
    QcSatellite& r = satellites_[p].report;
    if (elevation >= options_.elevation_mask) {
      ++r.expected;
      if (tracked[p]) ++r.expected_tracked;
    }
    if (!tracked[p]) continue;
    r.elevation_min = r.has_elevation ? std::min(r.elevation_min, elevation) : elevation;
    r.elevation_max = r.has_elevation ? std::max(r.elevation_max, elevation) : elevation;
    r.has_elevation = true;
    AddSkyPoint(satellites_[p], look.azimuth, elevation);
  }
}

void Collector::AddSkyPoint(Satellite& sat, double azimuth, double elevation) {
  if (sat.sky_counter++ % sat.sky_stride == 0) {
    sat.sky.push_back({static_cast<float>(gnss::Degrees(azimuth)), static_cast<float>(elevation), sat.sky_break});
    sat.sky_break = false;
  }
  if (sat.sky.size() <= kSkyPoints) return;
  // Every other point goes; a kept point breaks the track where the one
  // dropped before it did.
  std::size_t kept = 0;
  for (std::size_t i = 0; i < sat.sky.size(); i += 2) {
    QcPicture::SkyPoint point = sat.sky[i];
    if (i > 0) point.after_gap = point.after_gap || sat.sky[i - 1].after_gap;
    sat.sky[kept++] = point;
  }
  sat.sky.resize(kept);
  sat.sky_stride *= 2;
}

bool Collector::FirstWeek(std::int32_t& week) const {
  if (options_.week >= 0) {
    week = options_.week;
    return true;
  }
  for (const auto& list : ephemerides_) {
    if (list.empty()) continue;
    const gnss::BroadcastEphemeris& eph = list.front();
    const double apart = first_seconds_ - eph.toe;
    week = eph.week + (apart > kHalfWeek ? -1 : apart < -kHalfWeek ? 1 : 0);
    return true;
  }
  return false;
}

QcSession Collector::Session() const {
  QcSession s;
  s.station = station_;
  s.week_known = FirstWeek(s.week);
  const double interval = Interval();
  s.first_time = first_time_;
  s.last_time = last_time_;
  s.duration = last_time_ - first_time_;
  s.interval = interval;
  s.epochs = epochs_;
  s.observations = observations_;
  s.mean_satellites = epochs_ > 0 ? static_cast<double>(observations_) / static_cast<double>(epochs_) : 0.0;
  s.min_satellites = min_satellites_;
  s.epochs_below_four = below_four_;
  s.missing_epochs = missing_epochs_;
  s.has_position = has_position_;
  s.latitude = latitude_, s.longitude = longitude_, s.height = height_;
  s.ephemerides = ephemeris_count_;
  s.elevation_mask = options_.elevation_mask;
  s.elevation_step = std::max(kElevationStep, interval);
  s.events = event_count_;
  return s;
}

void Collector::SessionSeries(QcPicture& picture) const {
  picture.start = first_time_;
  picture.bin_width = bin_width_;
  const std::size_t bins = bins_.size();
  picture.epochs.resize(bins);
  picture.mean_satellites.assign(bins, kNoValue);
  picture.min_satellites.assign(bins, kNoValue);
  picture.max_satellites.assign(bins, kNoValue);
  for (std::size_t i = 0; i < bins; ++i) {
    const SessionBin& b = bins_[i];
    picture.epochs[i] = b.epochs;
    if (b.epochs == 0) continue;
    picture.mean_satellites[i] = static_cast<float>(static_cast<double>(b.satellites) / b.epochs);
    picture.min_satellites[i] = static_cast<float>(b.min_satellites);
    picture.max_satellites[i] = static_cast<float>(b.max_satellites);
  }
  picture.missing = missing_;
  picture.events = events_;
}

void Collector::SatelliteMultipath(const Satellite& sat, QcSatellite& r, MultipathTotal& total) {
  double squares1 = 0.0, squares2 = 0.0;
  std::int64_t samples = 0, freedom = 0;
  for (const MpSegment& seg : sat.segments) {
    if (seg.n < 2) continue;
    const auto n = static_cast<double>(seg.n);
    squares1 += seg.square1 - seg.sum1 * seg.sum1 / n;
    squares2 += seg.square2 - seg.sum2 * seg.sum2 / n;
    samples += seg.n;
    freedom += seg.n - 1;
  }
  total.squares1 += squares1, total.squares2 += squares2, total.freedom += freedom;
  if (freedom == 0) return;
  r.has_multipath = true;
  r.multipath_samples = samples;
  r.mp1_rms = std::sqrt(std::max(0.0, squares1) / static_cast<double>(freedom));
  r.mp2_rms = std::sqrt(std::max(0.0, squares2) / static_cast<double>(freedom));
}

QcSatellite Collector::SatelliteReport(int prn, const Satellite& sat, double interval, MultipathTotal& total) {
  QcSatellite r = sat.report;
  r.prn = prn;
  if (r.gaps > 0 && interval > 0.0) {
    r.longest_gap = std::max(0.0, sat.longest_step - interval);
    r.longest_gap_epochs = std::llround(sat.longest_step / interval) - 1;
  }
  SatelliteMultipath(sat, r, total);
  return r;
}

void Collector::MultipathSums::Add(const Satellite& sat) {
  for (const MpBin& entry : sat.mp_bins) {
    const MpSegment& seg = sat.segments[entry.segment];
    if (seg.n < 2 || entry.bin >= counts.size()) continue;
    const double m1 = seg.sum1 / static_cast<double>(seg.n), m2 = seg.sum2 / static_cast<double>(seg.n);
    const double n = entry.n;
    squares1[entry.bin] += entry.square1 - 2.0 * m1 * entry.sum1 + n * m1 * m1;
    squares2[entry.bin] += entry.square2 - 2.0 * m2 * entry.sum2 + n * m2 * m2;
    counts[entry.bin] += n;
  }
}

void Collector::MultipathSums::Into(QcPicture& picture) const {
  const std::size_t bins = counts.size();
  picture.mp1_rms.assign(bins, kNoValue);
  picture.mp2_rms.assign(bins, kNoValue);
  picture.mp_samples.assign(bins, 0);
  for (std::size_t i = 0; i < bins; ++i) {
    if (counts[i] < 1.0) continue;
    picture.mp_samples[i] = static_cast<std::uint32_t>(counts[i]);
    picture.mp1_rms[i] = static_cast<float>(std::sqrt(std::max(0.0, squares1[i]) / counts[i]));
    picture.mp2_rms[i] = static_cast<float>(std::sqrt(std::max(0.0, squares2[i]) / counts[i]));
  }
}

QcPicture::Row Collector::PictureRow(int prn, const Satellite& sat, std::size_t bins) {
  QcPicture::Row row;
  row.prn = prn;
  row.tracked = sat.tracked_bins;
  row.dual = sat.dual_bins;
  row.tracked.resize(bins);
  row.dual.resize(bins);
  row.gaps = sat.gap_spans;
  return row;
}

QcReport Collector::Finish() {
  WaitForDetectors();
  const BinGrid grid = Grid();
  for (Satellite& sat : satellites_) {
    std::swap(sat.waiting, sat.detecting);
    Detect(sat, grid);
    sat.detector.Break(sat.decisions);
    Apply(sat, grid);
  }
  QcReport report;
  report.thresholds = options_.thresholds;
  report.session = Session();
  QcPicture& picture = report.picture;
  SessionSeries(picture);
  const std::size_t bins = bins_.size();
  MultipathSums multipath{std::vector<double>(bins), std::vector<double>(bins), std::vector<double>(bins)};
  MultipathTotal total;
  for (int prn = 1; prn <= kMaxPrn; ++prn) {
    const Satellite& sat = satellites_[static_cast<std::size_t>(prn)];
    if (!sat.tracked && sat.report.expected == 0) continue;
    report.satellites.push_back(SatelliteReport(prn, sat, report.session.interval, total));
    multipath.Add(sat);
    picture.rows.push_back(PictureRow(prn, sat, bins));
    if (!sat.sky.empty()) picture.sky.push_back({prn, sat.sky});
  }
  multipath.Into(picture);
  QcSession& session = report.session;
  if (total.freedom > 0) {
    session.has_multipath = true;
    session.mp1_rms = std::sqrt(std::max(0.0, total.squares1) / static_cast<double>(total.freedom));
    session.mp2_rms = std::sqrt(std::max(0.0, total.squares2) / static_cast<double>(total.freedom));
  }
  JudgeReport(report);
  return report;
}

}  // namespace morvelin::qc
