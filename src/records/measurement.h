// Measurement records (type 17): one epoch of satellite observations.
#pragma once

#include "records/decoder.h"

namespace morvelin {

// Reads one type-17 record from the input (its length follows from its
// content) and reports its epoch, when it is one to store, with the
// cycle-slip lines and messages it gives rise to.
void DecodeMeasurementRecord(DecodeContext& context);

// Seconds from previous to current, 0.0 when previous <= 0.0; an interval
// beyond +-304800 s is taken as a week crossing (604800 s added).
void EpochInterval(double current, double previous, double* interval);

}  // namespace morvelin
