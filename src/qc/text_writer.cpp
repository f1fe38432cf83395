// The report as plain text: the session, a table of the satellites, and
// the reasons behind every verdict that is not good.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/gnss_constants.h"
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
  double day_seconds = std::fmod(time, kSecondsPerDay);
  if (day_seconds < 0.0) day_seconds += kSecondsPerDay;
  // Hundredths decide, so that 59.999 never prints as 60.
  const auto hundredths = static_cast<std::int64_t>(std::llround(day_seconds * 100.0)) % (std::int64_t{kSecondsPerDay} * 100);
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

namespace {

using qc::AppendFixed;
using qc::AppendInt;
using qc::Fixed;

// The two digits of a PRN, "07".
void AppendPrn(std::string& out, int prn) {
  FixedText<16> text;
  text.Int(prn, 2, TextBuilder::Pad::kZeros);
  out += text.View();
}

// Right-aligned in a column of width characters.
void AppendRight(std::string& out, std::string_view text, std::size_t width) {
  out.append(text.size() < width ? width - text.size() : 0, ' ');
  out += text;
}

// The share in percent, "-" when there is no whole.
void AppendPercent(std::string& out, std::int64_t part, std::int64_t whole, int width) {
  if (whole > 0)
    AppendFixed(out, 100.0 * static_cast<double>(part) / static_cast<double>(whole), 1, width);
  else
    AppendRight(out, "-", static_cast<std::size_t>(width));
}

// " 99.5%", "     -" when there is no whole.
void AppendShare(std::string& out, std::int64_t part, std::int64_t whole) {
  AppendPercent(out, part, whole, whole > 0 ? 6 : 7);
  if (whole > 0) out += '%';
}

void AppendSessionLine(std::string& out, const char* label, const std::string& value) {
  out += "  ";
  qc::AppendPadded(out, label, 20);
  out += value + "\n";
}

// " GPS (week 2292, 86400.00 s)" when the week is known; a time past the
// end of the first epoch's week in the week that holds it.
std::string WeekNote(const QcSession& s, double time) {
  std::string note;
  if (s.week_known) {
    const double weeks = std::floor(std::round(time * 100.0) / 100.0 / kSecondsPerWeek);
    note = " GPS (week " + std::to_string(s.week + static_cast<std::int32_t>(weeks)) + ", ";
    AppendFixed(note, time - weeks * kSecondsPerWeek, 2);
    note += " s)";
  }
  return note;
}

std::string PositionText(const QcSession& s) {
  if (!s.has_position) return "unknown (no elevations)";
  return Fixed(s.latitude, 6) + " deg latitude, " + Fixed(s.longitude, 6) + " deg longitude, " +
         Fixed(s.height, 1) + " m height";
}

std::string EphemeridesText(const QcSession& s) {
  std::string text = std::to_string(s.ephemerides);
  if (s.ephemerides > 0 && s.has_position)
    text += "; elevation mask " + Fixed(s.elevation_mask, 1) + " deg, elevations every " +
            Fixed(s.elevation_step, 0) + " s";
  return text;
}

void SessionBlock(std::string& out, const QcSession& s) {
  out += "\nSession\n";
  AppendSessionLine(out, "first epoch", qc::SessionTimeText(s, s.first_time) + WeekNote(s, s.first_time));
  AppendSessionLine(out, "last epoch", qc::SessionTimeText(s, s.last_time) + WeekNote(s, s.last_time));
  AppendSessionLine(out, "duration", qc::DurationText(s.duration));
  AppendSessionLine(out, "interval", Fixed(s.interval, 2) + " s");
  AppendSessionLine(out, "epochs",
                    std::to_string(s.epochs) + " (" + std::to_string(s.missing_epochs) + " missing at the interval)");
  AppendSessionLine(out, "observations", std::to_string(s.observations));
  AppendSessionLine(out, "satellites",
                    "mean " + Fixed(s.mean_satellites, 2) + " per epoch, minimum " +
                        std::to_string(s.min_satellites) + ", " + std::to_string(s.epochs_below_four) +
                        " epochs with fewer than four");
  AppendSessionLine(out, "position", PositionText(s));
  AppendSessionLine(out, "ephemerides", EphemeridesText(s));
  AppendSessionLine(out, "event markers", std::to_string(s.events));
  AppendSessionLine(out, "verdict", QcVerdictName(s.verdict));
  for (const std::string& reason : s.reasons) AppendSessionLine(out, "", reason);
}

void AppendLongestGap(std::string& out, const QcSatellite& sat) {
  if (sat.gaps > 0) {
    AppendFixed(out, sat.longest_gap, 1, 9);
    out += " s";
  } else {
    AppendRight(out, "-", 11);
  }
}

void AppendMultipath(std::string& out, const QcSatellite& sat) {
  if (sat.has_multipath) {
    AppendFixed(out, sat.mp1_rms, 2, 6);
    out += "  ";
    AppendFixed(out, sat.mp2_rms, 2, 6);
  } else {
    out += "     -       -";
  }
}

void AppendElevations(std::string& out, const QcSatellite& sat) {
  AppendRight(out, sat.has_elevation ? Fixed(sat.elevation_min, 1) + " - " + Fixed(sat.elevation_max, 1) : "-",
              13);
}

void SatelliteRow(std::string& out, const QcSatellite& sat) {
  out += "  ";
  AppendPrn(out, sat.prn);
  out += "  ";
  AppendInt(out, sat.epochs, 6);
  out += "  ";
  AppendPercent(out, sat.dual_epochs, sat.epochs, 5);
  out += "  ";
  AppendInt(out, sat.passes, 6);
  out += "  ";
  AppendInt(out, sat.gaps, 4);
  out += "  ";
  AppendLongestGap(out, sat);
  out += "  ";
  AppendInt(out, sat.slips_flagged, 14);
  out += "  ";
  AppendInt(out, sat.slips_found, 5);
  out += "  ";
  AppendMultipath(out, sat);
  out += "  ";
  AppendElevations(out, sat);
  out += "  ";
  AppendPercent(out, sat.expected_tracked, sat.expected, 8);
  out += "  ";
  out += QcVerdictName(sat.verdict);
  out += "\n";
}

void SatelliteTable(std::string& out, const std::vector<QcSatellite>& satellites) {
  out += "\nSatellites\n";
  out +=
      "  PRN  epochs  dual%  passes  gaps  longest gap  slips: flagged  found   MP1 m   MP2 m  elevation deg  tracked%  "
      "verdict\n";
  for (const QcSatellite& sat : satellites) SatelliteRow(out, sat);
}

// The reasons of every satellite whose verdict is not good.
void WhyLines(std::string& out, const std::vector<QcSatellite>& satellites) {
  bool any = false;
  for (const QcSatellite& sat : satellites) {
    if (sat.reasons.empty()) continue;
    if (!any) out += "\nWhy\n";
    any = true;
    out += "  PRN ";
    AppendPrn(out, sat.prn);
    out += " ";
    out += QcVerdictName(sat.verdict);
    out += ":";
    for (std::size_t i = 0; i < sat.reasons.size(); ++i) out += (i == 0 ? " " : "; ") + sat.reasons[i];
    out += "\n";
  }
}

// The letters of what saw a slip, in the order of the list's heading.
void AppendSlipHow(std::string& out, std::uint8_t how) {
  if (how & kSlipFlagged) out += 'F';
  if (how & kSlipGeometryFree) out += 'G';
  if (how & kSlipWideLane) out += 'W';
  if (how & kSlipCodeMinusPhase) out += 'C';
}

void SlipLines(std::string& out, const QcSession& s, const std::vector<QcSatellite>& satellites) {
  bool any = false;
  for (const QcSatellite& sat : satellites)
    for (const QcSlip& slip : sat.slips) {
      if (!any)
        out += "\nSlips (F flagged by the receiver; found by G geometry-free, W Melbourne-Wuebbena, C code minus "
               "phase)\n";
      any = true;
      out += "  PRN ";
      AppendPrn(out, sat.prn);
      out += "  " + qc::SessionTimeText(s, slip.time) + "  ";
      AppendSlipHow(out, slip.how);
      out += "\n";
    }
}

// The one line of the session's figures a user compares across stations
// (docs/qc.md): station, epochs present of those the interval expects,
// observations and the share of those expected above the mask, MP1 and
// MP2 RMS, slips (flagged and found) and observations per slip.
void SummaryLine(std::string& out, const QcReport& report) {
  const QcSession& s = report.session;
  std::int64_t expected = 0, expected_tracked = 0, slips = 0;
  for (const QcSatellite& sat : report.satellites) {
    expected += sat.expected, expected_tracked += sat.expected_tracked;
    slips += sat.slips_flagged + sat.slips_found;
  }
  out += "SUM ";
  qc::AppendPadded(out, s.station.empty() ? "-" : s.station, 8);
  out += " epochs ";
  AppendInt(out, s.epochs, 8);
  out += " of ";
  AppendInt(out, s.epochs + s.missing_epochs, 8);
  AppendShare(out, s.epochs, s.epochs + s.missing_epochs);
  out += "  obs ";
  AppendInt(out, s.observations, 10);
  AppendShare(out, expected_tracked, expected);
  out += "  MP1 ";
  AppendRight(out, s.has_multipath ? Fixed(s.mp1_rms, 2) : "-", 5);
  out += " m  MP2 ";
  AppendRight(out, s.has_multipath ? Fixed(s.mp2_rms, 2) : "-", 5);
  out += " m  slips ";
  AppendInt(out, slips, 6);
  out += "  obs/slip ";
  AppendRight(out, slips > 0 ? std::to_string(s.observations / slips) : "-", 9);
  out += "\n";
}

}  // namespace

std::string QcReportText(const QcReport& report) {
  const QcSession& s = report.session;
  std::string out = "Quality report";
  if (!s.station.empty()) out += " of station " + s.station;
  out += "\n\n";
  SummaryLine(out, report);
  SessionBlock(out, s);
  SatelliteTable(out, report.satellites);
  WhyLines(out, report.satellites);
  SlipLines(out, s, report.satellites);
  out += "\nThe verdicts' thresholds and the detectors are described in the manual (docs/qc.md).\n";
  return out;
}

}  // namespace morvelin
