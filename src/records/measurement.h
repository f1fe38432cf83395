// Measurement records (type 17): one epoch of satellite observations.
#pragma once

#include "convert/record_stream.h"

namespace morvelin {

// Reads one type-17 record from the run's input (its length follows from
// its content) and appends its epoch to the measurement file. False only
// when the epoch could not be written (the message buffer says why).
bool DecodeMeasurementRecord(Run& run);

void SetPreviousEpochTime(double seconds);
double GetPreviousEpochTime();

// Seconds from previous to current, 0.0 when previous <= 0.0; an interval
// beyond +-304800 s is taken as a week crossing (604800 s added).
void EpochInterval(double current, double previous, double* interval);

}  // namespace morvelin
