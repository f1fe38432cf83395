#include "records/measurement.h"

namespace morvelin {

bool DecodeMeasurementRecord(Run&) { return true; }

void SetPreviousEpochTime(double seconds) { CurrentRun().state.measurement.previous_epoch_time = seconds; }
double GetPreviousEpochTime() { return CurrentRun().state.measurement.previous_epoch_time; }

void EpochInterval(double current, double previous, double* interval) {
  double value = previous <= 0.0 ? 0.0 : current - previous;
  if (value > 304800.0 || value < -304800.0) value += 604800.0;
  *interval = value;
}

}  // namespace morvelin
