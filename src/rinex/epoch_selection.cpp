#include "rinex/epoch_selection.h"

#include <cmath>
#include <cstdlib>

#include "gnss/time.h"

namespace morvelin::rinex {

namespace {

constexpr std::int64_t kTicksPerWeek = 7 * kTicksPerDay;
constexpr std::int64_t kTicksPerHour = 3600 * kTicksPerSecond;

}  // namespace

EpochSelection::EpochSelection(const RinexOptions& options) {
  if (options.interval > 0.0) interval_ticks_ = std::llround(options.interval * static_cast<double>(kTicksPerSecond));
  if (options.from) has_from_ = true, from_ = GpsTicks(options.from->week, options.from->seconds);
  if (options.to) has_to_ = true, to_ = GpsTicks(options.to->week, options.to->seconds);
  if (options.split == RinexSplit::kHour) period_ticks_ = kTicksPerHour;
  if (options.split == RinexSplit::kDay) period_ticks_ = kTicksPerDay;
}

bool EpochSelection::InWindow(std::int64_t ticks) const {
  if (has_from_ && ticks < from_ - kSelectionTolerance) return false;
  return !has_to_ || ticks < to_ + kSelectionTolerance;
}

bool EpochSelection::Keeps(std::int64_t ticks) const {
  if (!InWindow(ticks)) return false;
  if (interval_ticks_ <= 0) return true;
  // Multiples counted from the start of the GPS week the epoch lies in.
  const std::int64_t of_week = ticks - gnss::FloorDiv(ticks, kTicksPerWeek) * kTicksPerWeek;
  const std::int64_t from_multiple = (of_week + kSelectionTolerance) % interval_ticks_;
  return from_multiple <= 2 * kSelectionTolerance;
}

std::int64_t EpochSelection::PeriodOf(std::int64_t ticks) const {
  if (period_ticks_ <= 0) return 0;
  // An epoch tagged just before the hour belongs to the hour it is meant for.
  return gnss::FloorDiv(ticks + kSelectionTolerance, period_ticks_);
}

double EpochSelection::PeriodSeconds() const {
  return static_cast<double>(period_ticks_) / static_cast<double>(kTicksPerSecond);
}

double EpochSelection::HeaderInterval(std::int64_t step_ticks) const {
  if (interval_ticks_ > 0 && step_ticks > 0) {
    const std::int64_t multiples = (step_ticks + interval_ticks_ / 2) / interval_ticks_;
    const std::int64_t nominal = multiples * interval_ticks_;
    if (multiples > 0 && std::llabs(step_ticks - nominal) <= 2 * kSelectionTolerance) step_ticks = nominal;
  }
  return static_cast<double>(step_ticks) / static_cast<double>(kTicksPerSecond);
}

}  // namespace morvelin::rinex
