// The interval of a session from the steps between its epochs. Epoch times
// come rounded (the measurement file keeps them on a 0.02 s grid), so a
// 20 Hz session steps 0.04 and 0.06 s by turns: the interval is the mean of
// the most common cluster of steps (within the rounding of one another),
// snapped to a standard interval when it lies within 5 ms of one.
#pragma once

#include <cstdint>
#include <map>

namespace morvelin::qc {

class EpochSteps {
 public:
  void Add(double step);  // s between two epochs; steps of 0 are left out
  double Interval() const { return interval_; }  // s; 0 before the first step

 private:
  double Compute() const;

  std::map<std::int64_t, std::int64_t> counts_;  // centiseconds -> steps
  std::int64_t added_ = 0;
  std::int64_t centre_ = 0;  // centiseconds: the cluster the interval came from
  double interval_ = 0.0;
};

}  // namespace morvelin::qc
