#include "qc/epoch_steps.h"

#include <cmath>
#include <cstdlib>

namespace morvelin::qc {

namespace {

constexpr std::size_t kStepKinds = 64;   // distinct steps counted
constexpr std::int64_t kRounding = 2;    // centiseconds two rounded times may differ by
constexpr double kSnap = 0.005;           // s: a mean this close to a standard interval is that interval
constexpr double kStandardRates[] = {0.05, 0.1, 0.2, 0.25, 0.5, 1.0, 2.0, 5.0, 10.0, 15.0, 30.0, 60.0};

}  // namespace

void EpochSteps::Add(double step) {
  const std::int64_t centiseconds = std::llround(step * 100.0);
  if (centiseconds <= 0) return;
  if (counts_.size() >= kStepKinds && counts_.count(centiseconds) == 0) return;
  ++counts_[centiseconds];
  ++added_;
  // The interval moves only when a step outside its cluster comes, or the
  // counts have doubled: recounting at every epoch would cost the most.
  const bool power_of_two = (added_ & (added_ - 1)) == 0;
  if (interval_ == 0.0 || power_of_two || std::llabs(centiseconds - centre_) > kRounding) {
    interval_ = Compute();
    centre_ = std::llround(interval_ * 100.0);
  }
}

double EpochSteps::Compute() const {
  // The step whose neighbourhood (within the rounding) holds the most steps.
  std::int64_t best = 0, best_count = -1;
  for (auto it = counts_.begin(); it != counts_.end(); ++it) {
    std::int64_t near = 0;
    for (auto at = counts_.lower_bound(it->first - kRounding);
         at != counts_.end() && at->first <= it->first + kRounding; ++at)
      near += at->second;
    if (near > best_count) best = it->first, best_count = near;
  }
  double sum = 0.0, count = 0.0;
  for (auto at = counts_.lower_bound(best - kRounding); at != counts_.end() && at->first <= best + kRounding; ++at)
    sum += static_cast<double>(at->first * at->second), count += static_cast<double>(at->second);
  if (count == 0.0) return 0.0;
  const double mean = sum / count / 100.0;
  for (const double rate : kStandardRates)
    if (std::fabs(mean - rate) <= kSnap) return rate;
  return std::round(mean * 1000.0) / 1000.0;
}

}  // namespace morvelin::qc
