// Which epochs a RINEX export writes and into which file: the interval,
// the time window and the split into hourly or daily files, all on GPS
// time in ticks of 0.1 us (rinex_time.h).
#pragma once

#include <cstdint>

#include "morvelin/rinex.h"
#include "rinex/rinex_time.h"

namespace morvelin::rinex {

// How far an epoch's time may lie from a multiple of the interval, from
// the window's ends and from the start of an hour or day, and still count
// as on it: 0.025 s, as RTKLIB's convbin takes it (receivers tag epochs
// with their own clock, a little off the whole second).
inline constexpr std::int64_t kSelectionTolerance = kTicksPerSecond / 40;
// The shortest interval asked for: twice the tolerance would keep every epoch.
inline constexpr double kShortestInterval = 0.1;

class EpochSelection {
 public:
  explicit EpochSelection(const RinexOptions& options);

  // Whether an epoch at ticks (GPS time since the GPS epoch) is written.
  bool Keeps(std::int64_t ticks) const;
  // Whether an event at ticks lies in the time window.
  bool InWindow(std::int64_t ticks) const;

  bool Splits() const { return period_ticks_ > 0; }
  // The hour or day an epoch's file covers (0 when not split).
  std::int64_t PeriodOf(std::int64_t ticks) const;
  // The start of a period in ticks and its length in seconds.
  std::int64_t PeriodStart(std::int64_t period) const { return period * period_ticks_; }
  double PeriodSeconds() const;

  // The INTERVAL of a file whose shortest step between epochs is
  // step_ticks: with an interval asked for, the multiple of it within
  // twice the tolerance of the step, else the step.
  double HeaderInterval(std::int64_t step_ticks) const;

 private:
  std::int64_t interval_ticks_ = 0;
  std::int64_t from_ = 0, to_ = 0;
  bool has_from_ = false, has_to_ = false;
  std::int64_t period_ticks_ = 0;
};

}  // namespace morvelin::rinex
