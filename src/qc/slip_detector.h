// Finds cycle slips in one satellite's phase series, with the combinations
// of combinations.h, where the receiver flagged none.
//
// Each combination is predicted from the samples of the current segment
// (the mean for the Melbourne-Wuebbena combination, a straight line over
// the last samples for the geometry-free one and for code minus phase). A
// sample k opens a new segment when the median of the residuals of the
// window of samples k .. k+4 lies beyond the threshold and a step at k
// explains the window better than a step at any later sample of it (least
// squares of the residuals about 0 before the step and their median from
// it on): a step that lasts, starting exactly at k. A single wild sample moves no median and is left out of the
// prediction. So every decision waits for the next four samples of the
// segment (fewer at its end).
//
// threshold = max(floor, K sigma sqrt(1.6 / m + v)), where sigma is the
// running noise of the combination (per satellite), m the samples in the
// window and v the variance factor of the prediction at the window's centre.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace morvelin::qc {

inline constexpr int kWindow = 5;           // samples a decision looks at
inline constexpr double kThresholdK = 6.0;  // sigmas
inline constexpr double kGeometryFreeFloor = 0.010;  // m
inline constexpr double kWideLaneFloor = 0.5;        // wide-lane cycles
inline constexpr double kCodePhaseFloor = 0.6;       // m
// How fast the ionosphere may move a combination while the segment holds
// too few samples for a line (it is then predicted by their mean): at long
// intervals the mean of the first samples lies minutes away.
inline constexpr double kGeometryFreeDrift = 0.001;  // m/s
inline constexpr double kCodePhaseDrift = 0.003;     // m/s (twice the L1 ionosphere)
// The noise assumed before a satellite's own is known.
inline constexpr double kGeometryFreePrior = 0.003;  // m
inline constexpr double kWideLanePrior = 0.25;       // cycles
inline constexpr double kCodePhasePrior = 0.3;       // m

struct DetectorSample {
  double time = 0.0;     // s
  bool dual = false;     // geometry-free and wide lane; else code minus phase
  double geometry_free = 0.0;  // m
  double wide_lane = 0.0;      // cycles
  double code_phase = 0.0;     // m
  double mp1 = 0.0, mp2 = 0.0; // m, carried through for the caller (dual)
};

struct Decision {
  DetectorSample sample;
  std::uint8_t found = 0;     // kSlipGeometryFree, kSlipWideLane, kSlipCodeMinusPhase bits
  bool new_segment = false;   // the first sample of an arc, or a slip found here
};

class SlipDetector {
 public:
  // A sample that continues the arc of the one before. Decisions on earlier
  // samples that this one completes are appended to out.
  void Push(const DetectorSample& sample, std::vector<Decision>& out);
  // Decides every waiting sample; the next sample starts a new arc (a gap,
  // a slip the receiver flagged, a change between L1 only and L1 and L2).
  void Break(std::vector<Decision>& out);

 private:
  struct Series {
    static constexpr int kHistory = 30;
    double prior = 0.0, floor = 0.0;
    bool mean_only = false;  // predict by the mean of the segment
    int line_history = 10;   // samples a line is fitted to
    double drift = 0.0;      // m/s the prediction by a mean may miss by
    // segment
    std::array<double, kHistory> times{}, values{};
    int count = 0, next = 0;  // ring of the last samples
    std::int64_t n = 0;
    double mean = 0.0, inverse_n = 0.0;  // of the segment's samples; 1 / n
    // noise, kept across segments
    double sigma2 = 0.0;
    std::int64_t sigma_samples = 0;
    // Sums over the last line_history samples, relative to an origin
    // sample of that stretch, kept as samples come and go: the line costs
    // the same whatever its length. Summed anew from the samples whenever
    // the origin would fall out of the stretch, so that neither the
    // distance from the origin nor the rounding of the updates grows.
    struct Sums {
      double origin_t = 0.0, origin_y = 0.0;
      double t = 0.0, y = 0.0, tt = 0.0, ty = 0.0;
      int k = 0, age = 0;  // samples summed; samples added since summed anew
    };
    Sums sums{};
    // The line through the last samples, fitted once per sample added
    // (every prediction of a window uses the same line).
    struct Line {
      bool fitted = false;
      int k = 0;
      double t0 = 0.0, y0 = 0.0, mx = 0.0, my = 0.0, sxx = 0.0, sxy = 0.0;
      double inverse_k = 0.0, inverse_sxx = 0.0, slope = 0.0;  // 1 / k, 1 / sxx, sxy / sxx
    };
    mutable Line line{};

    void Reset() { count = next = 0, n = 0, mean = inverse_n = 0.0, sums = {}, line.fitted = false; }
    void Fit() const;
    void Resum();
    void Add(double time, double value);
    // Prediction at t and its variance factor (in units of the noise).
    double Predict(double t, double& variance) const;
    // What the prediction at t may miss by beyond the noise: the drift
    // since the mean of the samples, while a line cannot be fitted yet.
    double Unmodelled(double t) const;
    double Sigma() const;
    void LearnNoise(double residual, double variance);
  };
  struct Test {
    bool step = false;    // a lasting step at the first sample
    bool outlier = false; // the first sample alone is off
    double residual = 0.0, variance = 0.0;
  };
  Test Check(const Series& series, double DetectorSample::*value, int m) const;
  void Decide(int m, std::vector<Decision>& out);
  void Accept(Series& series, const Test& test, double time, double value);
  void Restart(const DetectorSample& sample);

  std::array<DetectorSample, kWindow> pending_{};
  int waiting_ = 0;
  bool arc_open_ = false;
  Series geometry_free_{
      .prior = kGeometryFreePrior, .floor = kGeometryFreeFloor, .line_history = 30, .drift = kGeometryFreeDrift};
  Series wide_lane_{.prior = kWideLanePrior, .floor = kWideLaneFloor, .mean_only = true};
  Series code_phase_{.prior = kCodePhasePrior, .floor = kCodePhaseFloor, .line_history = 30, .drift = kCodePhaseDrift};
};

}  // namespace morvelin::qc
