#include "qc/slip_detector.h"

#include <algorithm>
#include <cmath>

#include "morvelin/qc.h"

namespace morvelin::qc {

namespace {

// The noise estimate averages its first samples, then follows the
// satellite with this weight per sample (about the last 50 samples).
constexpr std::int64_t kNoiseAveraged = 50;
constexpr double kNoiseWeight = 0.02;

// The median of values[from, m).
double Median(std::array<double, kWindow> values, int from, int m) {
  const auto first = static_cast<std::size_t>(from), end = static_cast<std::size_t>(m);
  // Insertion sort: at most five values.
  for (std::size_t i = first + 1; i < end; ++i)
    for (std::size_t j = i; j > first && values[j - 1] > values[j]; --j) std::swap(values[j - 1], values[j]);
  const std::size_t n = end - first, middle = first + n / 2;
  return n % 2 == 1 ? values[middle] : 0.5 * (values[middle - 1] + values[middle]);
}

// Where in the window a step most likely begins: the j that best explains
// the residuals as 0 before j and one level (their median) from j on.
int StepStart(const std::array<double, kWindow>& residuals, int m) {
  int best = 0;
  double best_cost = 0.0;
  for (int j = 0; j < m; ++j) {
    const double level = Median(residuals, j, m);
    double cost = 0.0;
    for (int i = 0; i < m; ++i) {
      const double r = residuals[static_cast<std::size_t>(i)] - (i < j ? 0.0 : level);
      cost += r * r;
    }
    if (j == 0 || cost < best_cost) best = j, best_cost = cost;
  }
  return best;
}

// Variance of the median of m samples of unit noise (the mean for m <= 2).
double MedianVariance(int m) { return m <= 2 ? 1.0 / m : 1.6 / m; }

}  // namespace

void SlipDetector::Series::Add(double time, double value) {
  // The sample that leaves the line's stretch, if it is full.
  const int history = std::min(line_history, kHistory);
  const bool full = !mean_only && sums.k == history;
  const auto leaving = static_cast<std::size_t>((next + kHistory - history) % kHistory);
  const double old_t = times[leaving] - sums.origin_t, old_y = values[leaving] - sums.origin_y;
  times[static_cast<std::size_t>(next)] = time;
  values[static_cast<std::size_t>(next)] = value;
  next = (next + 1) % kHistory;
  if (count < kHistory) ++count;
  line.fitted = false;
  ++n;
  inverse_n = 1.0 / static_cast<double>(n);
  mean += (value - mean) * inverse_n;
  if (mean_only) return;
  if (sums.k == 0 || sums.age >= history) {
    Resum();
    return;
  }
  if (full) {
    sums.t -= old_t, sums.y -= old_y;
    sums.tt -= old_t * old_t, sums.ty -= old_t * old_y;
  } else {
    ++sums.k;
  }
  const double dt = time - sums.origin_t, dy = value - sums.origin_y;
  sums.t += dt, sums.y += dy;
  sums.tt += dt * dt, sums.ty += dt * dy;
  ++sums.age;
}

void SlipDetector::Series::Resum() {
  const int k = std::min(count, std::min(line_history, kHistory));
  const int newest = (next + kHistory - 1) % kHistory;
  sums = {};
  sums.origin_t = times[static_cast<std::size_t>(newest)];
  sums.origin_y = values[static_cast<std::size_t>(newest)];
  for (int i = 0, at = newest; i < k; ++i, at = at == 0 ? kHistory - 1 : at - 1) {
    const double dt = times[static_cast<std::size_t>(at)] - sums.origin_t;
    const double dy = values[static_cast<std::size_t>(at)] - sums.origin_y;
    sums.t += dt, sums.y += dy;
    sums.tt += dt * dt, sums.ty += dt * dy;
  }
  sums.k = k;
}

void SlipDetector::Series::Fit() const {
  // The line about the newest sample, for precision.
  const int k = sums.k;
  const int newest = (next + kHistory - 1) % kHistory;
  const double t0 = times[static_cast<std::size_t>(newest)], y0 = values[static_cast<std::size_t>(newest)];
  const double inverse_k = 1.0 / k;
  const double mean_t = sums.t * inverse_k, mean_y = sums.y * inverse_k;
  const double sxx = std::max(0.0, sums.tt - sums.t * mean_t), sxy = sums.ty - sums.t * mean_y;
  const double mx = mean_t + (sums.origin_t - t0), my = mean_y + (sums.origin_y - y0);
  const double inverse_sxx = sxx > 0.0 ? 1.0 / sxx : 0.0;
  line = {true, k, t0, y0, mx, my, sxx, sxy, inverse_k, inverse_sxx, sxy * inverse_sxx};
}

double SlipDetector::Series::Predict(double t, double& variance) const {
  if (mean_only) {
    variance = inverse_n;
    return mean;
  }
  if (!line.fitted) Fit();
  const Line& f = line;
  if (f.k < 3 || f.sxx <= 0.0) {
    variance = f.inverse_k;
    return f.y0 + f.my;
  }
  const double dt = t - f.t0 - f.mx;
  variance = f.inverse_k + dt * dt * f.inverse_sxx;
  return f.y0 + f.my + f.slope * dt;
}

double SlipDetector::Series::Unmodelled(double t) const {
  if (mean_only || drift == 0.0) return 0.0;
  if (!line.fitted) Fit();
  if (line.k >= 3 && line.sxx > 0.0) return 0.0;
  return drift * std::fabs(t - line.t0 - line.mx);
}

double SlipDetector::Series::Sigma() const { return sigma_samples == 0 ? prior : std::sqrt(sigma2); }

void SlipDetector::Series::LearnNoise(double residual, double variance) {
  const double square = residual * residual / (1.0 + variance);
  if (sigma_samples == 0) sigma2 = prior * prior;
  if (sigma_samples < kNoiseAveraged)
    sigma2 = (sigma2 * static_cast<double>(sigma_samples + 1) + square) / static_cast<double>(sigma_samples + 2);
  else
    sigma2 += kNoiseWeight * (square - sigma2);
  ++sigma_samples;
}

SlipDetector::Test SlipDetector::Check(const Series& series, double DetectorSample::*value, int m) const {
  std::array<double, kWindow> residuals{};
  Test test;
  double largest = 0.0, variance_sum = 0.0;
  for (int i = 0; i < m; ++i) {
    const DetectorSample& s = pending_[static_cast<std::size_t>(i)];
    double variance = 0.0;
    residuals[static_cast<std::size_t>(i)] = s.*value - series.Predict(s.time, variance);
    largest = std::max(largest, std::fabs(residuals[static_cast<std::size_t>(i)]));
    variance_sum += variance;
    if (i == 0) test.variance = variance;
  }
  test.residual = residuals[0];
  // No residual beyond the floor: neither a step nor a wild sample, as
  // every threshold is at least the floor (the common case, decided without
  // the noise or a median).
  if (largest <= series.floor) return test;
  // Nor when the window's median and its first sample lie within it (the
  // step is judged by the median, the wild sample by the first).
  if (std::fabs(Median(residuals, 0, m)) <= series.floor && std::fabs(test.residual) <= series.floor) return test;
  // What the prediction may miss by beyond the noise (none once a line is fitted).
  double unmodelled_sum = 0.0;
  for (int i = 0; i < m; ++i) unmodelled_sum += series.Unmodelled(pending_[static_cast<std::size_t>(i)].time);
  const double unmodelled_first = series.Unmodelled(pending_[0].time);
  double sigma = series.Sigma();
  // Until a satellite's noise is known, the window's own spread may say it
  // is larger than assumed.
  if (series.sigma_samples < kNoiseAveraged && m >= 3) {
    const double median_all = Median(residuals, 0, m);
    std::array<double, kWindow> deviations{};
    for (int i = 0; i < m; ++i)
      deviations[static_cast<std::size_t>(i)] = std::fabs(residuals[static_cast<std::size_t>(i)] - median_all);
    sigma = std::max(sigma, 1.4826 * Median(deviations, 0, m));
  }
  auto threshold = [&](int samples) {
    return std::max(series.floor, kThresholdK * sigma * std::sqrt(MedianVariance(samples) + variance_sum / m)) +
           unmodelled_sum / m;
  };
  // The window holds a step when its median lies beyond the threshold. It
  // starts at the first sample when no later start explains the window
  // better, or when the samples before that later start hold a step that
  // starts at the first sample themselves (two slips close together).
  int samples = m;
  while (std::fabs(Median(residuals, 0, samples)) > threshold(samples)) {
    const int start = StepStart(residuals, samples);
    if (start == 0) {
      test.step = true;
      break;
    }
    samples = start;
  }
  test.outlier = !test.step && std::fabs(test.residual) > series.floor + unmodelled_first &&
                 std::fabs(test.residual) > kThresholdK * sigma * std::sqrt(1.0 + test.variance) + unmodelled_first;
  return test;
}

void SlipDetector::Accept(Series& series, const Test& test, double time, double value) {
  if (test.outlier) return;
  series.LearnNoise(test.residual, test.variance);
  series.Add(time, value);
}

void SlipDetector::Restart(const DetectorSample& sample) {
  geometry_free_.Reset();
  wide_lane_.Reset();
  code_phase_.Reset();
  if (sample.dual) {
    geometry_free_.Add(sample.time, sample.geometry_free);
    wide_lane_.Add(sample.time, sample.wide_lane);
  } else {
    code_phase_.Add(sample.time, sample.code_phase);
  }
  arc_open_ = true;
}

void SlipDetector::Decide(int m, std::vector<Decision>& out) {
  Decision& decision = out.emplace_back();  // in place, as for the samples
  decision.sample = pending_[0];
  const DetectorSample& s = decision.sample;
  if (!arc_open_) {
    Restart(s);
    decision.new_segment = true;
  } else if (s.dual) {
    const Test gf = Check(geometry_free_, &DetectorSample::geometry_free, m);
    const Test mw = Check(wide_lane_, &DetectorSample::wide_lane, m);
    decision.found = static_cast<std::uint8_t>((gf.step ? kSlipGeometryFree : 0) | (mw.step ? kSlipWideLane : 0));
    if (decision.found == 0) {
      Accept(geometry_free_, gf, s.time, s.geometry_free);
      Accept(wide_lane_, mw, s.time, s.wide_lane);
    }
  } else {
    const Test cp = Check(code_phase_, &DetectorSample::code_phase, m);
    decision.found = cp.step ? kSlipCodeMinusPhase : 0;
    if (decision.found == 0) Accept(code_phase_, cp, s.time, s.code_phase);
  }
  if (decision.found != 0) {
    Restart(s);
    decision.new_segment = true;
  }
  std::copy(pending_.begin() + 1, pending_.begin() + waiting_, pending_.begin());
  --waiting_;
}

void SlipDetector::Push(const DetectorSample& sample, std::vector<Decision>& out) {
  pending_[static_cast<std::size_t>(waiting_++)] = sample;
  if (waiting_ == kWindow) Decide(kWindow, out);
}

void SlipDetector::Break(std::vector<Decision>& out) {
  while (waiting_ > 0) Decide(waiting_, out);
  arc_open_ = false;
}

}  // namespace morvelin::qc
