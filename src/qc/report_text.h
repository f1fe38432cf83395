// Pieces the report's writers share: times of the session as texts.
#pragma once

#include <string>

#include "morvelin/qc.h"

namespace morvelin::qc {

// "2023-12-11 00:00:00" (GPS time; ".05" added when the time is not whole)
// when the week is known, else "86400.00 s of week".
std::string SessionTimeText(const QcSession& session, double time);
// "2023-12-11T00:00:00.00" when the week is known, else empty.
std::string SessionDateTime(const QcSession& session, double time);
// "hh:mm" of the GPS day (the picture's axis).
std::string ClockText(double time, bool seconds);
// "12 h 30 min", "14 min 59 s", "45.0 s"
std::string DurationText(double seconds);

}  // namespace morvelin::qc
