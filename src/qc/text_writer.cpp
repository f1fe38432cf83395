// The report as plain text: the session, a table of the satellites, and
// the reasons behind every verdict that is not good.
#include <cmath>
#include <string>

#include "gnss/time.h"
#include "qc/number_text.h"
#include "qc/report_text.h"

namespace morvelin {

namespace qc {

namespace {

struct Clock {
  int hour, minute;
  double second;
};

Clock ClockOf(double time) {
  double day_seconds = std::fmod(time, 86400.0);
  if (day_seconds < 0.0) day_seconds += 86400.0;
  // Hundredths decide, so that 59.999 never prints as 60.
  const auto hundredths = static_cast<std::int64_t>(std::llround(day_seconds * 100.0)) % 8640000;
  return {static_cast<int>(hundredths / 360000), static_cast<int>(hundredths / 6000 % 60),
          static_cast<double>(hundredths % 6000) / 100.0};
}

void AppendClock(std::string& out, double time, bool seconds) {
  const Clock c = ClockOf(time);
  FixedText<32> text;
  text.Int(c.hour, 2, TextBuilder::Pad::kZeros).Char(':').Int(c.minute, 2, TextBuilder::Pad::kZeros);
  if (seconds) {
    text.Char(':');
    if (c.second == std::floor(c.second))
      text.Int(static_cast<std::int64_t>(c.second), 2, TextBuilder::Pad::kZeros);
    else
      text.Fixed(c.second, 2, 5, TextBuilder::Pad::kZeros);
  }
  out += text.View();
}

std::string Date(const QcSession& session, double time, char separator) {
  const gnss::GpsTime at = gnss::AddSeconds({session.week, 0.0}, std::round(time * 100.0) / 100.0);
  const gnss::CalendarDate date = gnss::DateOf(at);
  FixedText<64> text;
  text.Int(date.year, 4, TextBuilder::Pad::kZeros).Char('-').Int(date.month, 2, TextBuilder::Pad::kZeros).Char('-');
  text.Int(date.day, 2, TextBuilder::Pad::kZeros).Char(separator);
  std::string out(text.View());
  AppendClock(out, time, true);
  return out;
}

}  // namespace

std::string SessionTimeText(const QcSession& session, double time) {
  if (session.week_known) return Date(session, time, ' ');
  std::string out;
  AppendFixed(out, time, 2);
  return out + " s of week";
}

std::string SessionDateTime(const QcSession& session, double time) {
  return session.week_known ? Date(session, time, 'T') : std::string();
}

std::string ClockText(double time, bool seconds) {
  std::string out;
  AppendClock(out, time, seconds);
  return out;
}

std::string DurationText(double seconds) {
  std::string out;
  const auto whole = static_cast<std::int64_t>(std::llround(seconds));
  if (seconds < 60.0) {
    AppendFixed(out, seconds, 1);
    return out + " s";
  }
  if (whole < 3600) {
    AppendInt(out, whole / 60);
    out += " min ";
    AppendInt(out, whole % 60);
    return out + " s";
  }
  AppendInt(out, whole / 3600);
  out += " h ";
  AppendInt(out, whole / 60 % 60);
  return out + " min";
}

}  // namespace qc

std::string QcReportText(const QcReport& report) {
  using namespace qc;
  const QcSession& s = report.session;
  std::string out = "Quality report";
  if (!s.station.empty()) out += " of station " + s.station;
  out += "\n\nSession\n";
  auto line = [&out](const char* label, const std::string& value) {
    out += "  ";
    AppendPadded(out, label, 20);
    out += value + "\n";
  };
  auto week_note = [&s](double t) {
    std::string note;
    if (s.week_known) {
      note = " GPS (week " + std::to_string(s.week) + ", ";
      AppendFixed(note, t, 2);
      note += " s)";
    }
    return note;
  };
  line("first epoch", SessionTimeText(s, s.first_time) + week_note(s.first_time));
  line("last epoch", SessionTimeText(s, s.last_time) + week_note(s.last_time));
  line("duration", DurationText(s.duration));
  line("interval", Fixed(s.interval, 2) + " s");
  line("epochs", std::to_string(s.epochs) + " (" + std::to_string(s.missing_epochs) + " missing at the interval)");
  line("observations", std::to_string(s.observations));
  line("satellites", "mean " + Fixed(s.mean_satellites, 2) + " per epoch, minimum " +
                         std::to_string(s.min_satellites) + ", " + std::to_string(s.epochs_below_four) +
                         " epochs with fewer than four");
  if (s.has_position)
    line("position", Fixed(s.latitude, 6) + " deg latitude, " + Fixed(s.longitude, 6) + " deg longitude, " +
                         Fixed(s.height, 1) + " m height");
  else
    line("position", "unknown (no elevations)");
  line("ephemerides", std::to_string(s.ephemerides) + (s.ephemerides > 0 && s.has_position
                                                           ? "; elevation mask " + Fixed(s.elevation_mask, 1) +
                                                                 " deg, elevations every " +
                                                                 Fixed(s.elevation_step, 0) + " s"
                                                           : std::string()));
  line("event markers", std::to_string(s.events));
  line("verdict", QcVerdictName(s.verdict));
  for (const std::string& reason : s.reasons) line("", reason);

  out += "\nSatellites\n";
  out +=
      "  PRN  epochs  dual%  gaps  longest gap  slips: flagged  found   MP1 m   MP2 m  elevation deg  tracked%  "
      "verdict\n";
  for (const QcSatellite& sat : report.satellites) {
    out += "  ";
    FixedText<16> prn;
    prn.Int(sat.prn, 2, TextBuilder::Pad::kZeros);
    out += prn.View();
    out += "  ";
    AppendInt(out, sat.epochs, 6);
    out += "  ";
    if (sat.epochs > 0)
      AppendFixed(out, 100.0 * static_cast<double>(sat.dual_epochs) / static_cast<double>(sat.epochs), 1, 5);
    else
      out += "    -";
    out += "  ";
    AppendInt(out, sat.gaps, 4);
    out += "  ";
    if (sat.gaps > 0) {
      AppendFixed(out, sat.longest_gap, 1, 9);
      out += " s";
    } else {
      out += "          -";
    }
    out += "  ";
    AppendInt(out, sat.slips_flagged, 14);
    out += "  ";
    AppendInt(out, sat.slips_found, 5);
    out += "  ";
    if (sat.has_multipath) {
      AppendFixed(out, sat.mp1_rms, 2, 6);
      out += "  ";
      AppendFixed(out, sat.mp2_rms, 2, 6);
    } else {
      out += "     -       -";
    }
    out += "  ";
    if (sat.has_elevation) {
      std::string range = Fixed(sat.elevation_min, 1) + " - " + Fixed(sat.elevation_max, 1);
      out.append(range.size() < 13 ? 13 - range.size() : 0, ' ');
      out += range;
    } else {
      out += "            -";
    }
    out += "  ";
    if (sat.expected > 0)
      AppendFixed(out, 100.0 * static_cast<double>(sat.expected_tracked) / static_cast<double>(sat.expected), 1, 8);
    else
      out += "       -";
    out += "  ";
    out += QcVerdictName(sat.verdict);
    out += "\n";
  }
  bool any = false;
  for (const QcSatellite& sat : report.satellites) {
    if (sat.reasons.empty()) continue;
    if (!any) out += "\nWhy\n";
    any = true;
    FixedText<16> prn;
    prn.Int(sat.prn, 2, TextBuilder::Pad::kZeros);
    out += "  PRN ";
    out += prn.View();
    out += " ";
    out += QcVerdictName(sat.verdict);
    out += ":";
    for (std::size_t i = 0; i < sat.reasons.size(); ++i) out += (i == 0 ? " " : "; ") + sat.reasons[i];
    out += "\n";
  }
  bool found = false;
  for (const QcSatellite& sat : report.satellites)
    for (const QcSlip& slip : sat.slips) {
      if (!found) out += "\nSlips (F flagged by the receiver; found by G geometry-free, W Melbourne-Wuebbena, C code minus phase)\n";
      found = true;
      FixedText<16> prn;
      prn.Int(sat.prn, 2, TextBuilder::Pad::kZeros);
      out += "  PRN ";
      out += prn.View();
      out += "  " + SessionTimeText(s, slip.time) + "  ";
      if (slip.how & kSlipFlagged) out += 'F';
      if (slip.how & kSlipGeometryFree) out += 'G';
      if (slip.how & kSlipWideLane) out += 'W';
      if (slip.how & kSlipCodeMinusPhase) out += 'C';
      out += "\n";
    }
  out += "\nThe verdicts' thresholds and the detectors are described in the manual (docs/qc.md).\n";
  return out;
}

}  // namespace morvelin
