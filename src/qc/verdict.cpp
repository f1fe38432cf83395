// The verdicts: the worst of the rules each satellite and the session
// break, with a reason per broken rule. docs/qc.md lists the rules.
#include <algorithm>
#include <string>

#include "qc/collector.h"
#include "qc/number_text.h"

namespace morvelin {

const char* QcVerdictName(QcVerdict verdict) {
  switch (verdict) {
    case QcVerdict::kGood: return "good";
    case QcVerdict::kCheck: return "check";
    case QcVerdict::kPoor: return "poor";
  }
  return "good";
}

namespace qc {

namespace {

void Mark(QcVerdict& verdict, std::vector<std::string>& reasons, QcVerdict level, std::string reason) {
  verdict = std::max(verdict, level);
  reasons.push_back(std::move(reason));
}

std::string Percent(double share) { return Fixed(100.0 * share, 1) + "%"; }

void JudgeSatellite(QcSatellite& sat, const QcThresholds& t, double interval) {
  QcVerdict& v = sat.verdict;
  std::vector<std::string>& why = sat.reasons;
  if (sat.expected > 0) {
    const double share = static_cast<double>(sat.expected_tracked) / static_cast<double>(sat.expected);
    if (share < t.check_tracked_share)
      Mark(v, why, share < t.poor_tracked_share ? QcVerdict::kPoor : QcVerdict::kCheck,
           "tracked " + Percent(share) + " of the observations expected above the mask");
  }
  if (sat.has_multipath) {
    if (sat.mp1_rms > t.check_mp1_rms)
      Mark(v, why, sat.mp1_rms > t.poor_mp1_rms ? QcVerdict::kPoor : QcVerdict::kCheck,
           "MP1 RMS " + Fixed(sat.mp1_rms, 2) + " m");
    if (sat.mp2_rms > t.check_mp2_rms)
      Mark(v, why, sat.mp2_rms > t.poor_mp2_rms ? QcVerdict::kPoor : QcVerdict::kCheck,
           "MP2 RMS " + Fixed(sat.mp2_rms, 2) + " m");
  }
  const double hours = static_cast<double>(sat.epochs) * interval / 3600.0;
  const int slips = sat.slips_flagged + sat.slips_found;
  if (slips >= 2 && hours > 0.0 && slips / hours > t.poor_slips_per_hour)
    Mark(v, why, QcVerdict::kPoor, Fixed(slips / hours, 1) + " slips per hour tracked");
  if (sat.slips_found > 0)
    Mark(v, why, QcVerdict::kCheck,
         std::to_string(sat.slips_found) + (sat.slips_found == 1 ? " slip" : " slips") +
             " found in the data that the receiver did not flag");
  if (sat.gaps > 0 && sat.longest_gap > t.check_longest_gap)
    Mark(v, why, QcVerdict::kCheck, "longest gap " + Fixed(sat.longest_gap, 1) + " s");
}

}  // namespace

void JudgeReport(QcReport& report) {
  const QcThresholds& t = report.thresholds;
  QcSession& s = report.session;
  int tracked = 0, poor = 0, check = 0;
  for (QcSatellite& sat : report.satellites) {
    sat.verdict = QcVerdict::kGood;
    sat.reasons.clear();
    JudgeSatellite(sat, t, s.interval);
    if (sat.epochs > 0) ++tracked;
    if (sat.verdict == QcVerdict::kPoor) ++poor;
    if (sat.verdict == QcVerdict::kCheck) ++check;
  }
  s.verdict = QcVerdict::kGood;
  s.reasons.clear();
  if (s.epochs == 0) {
    Mark(s.verdict, s.reasons, QcVerdict::kPoor, "no epochs");
    return;
  }
  if (s.epochs_below_four > 0) {
    const double share = static_cast<double>(s.epochs_below_four) / static_cast<double>(s.epochs);
    Mark(s.verdict, s.reasons, share > t.poor_session_below_four ? QcVerdict::kPoor : QcVerdict::kCheck,
         std::to_string(s.epochs_below_four) + " epochs (" + Percent(share) + ") with fewer than four satellites");
  }
  if (s.missing_epochs > 0) {
    const double share = static_cast<double>(s.missing_epochs) / static_cast<double>(s.epochs + s.missing_epochs);
    if (share > t.check_missing_epochs)
      Mark(s.verdict, s.reasons, QcVerdict::kCheck,
           std::to_string(s.missing_epochs) + " epochs (" + Percent(share) + ") missing at the interval");
  }
  if (poor > 0)
    Mark(s.verdict, s.reasons,
         tracked > 0 && static_cast<double>(poor) / tracked >= t.poor_satellite_share ? QcVerdict::kPoor
                                                                                       : QcVerdict::kCheck,
         std::to_string(poor) + " of " + std::to_string(report.satellites.size()) + " satellites poor");
  if (check > 0)
    Mark(s.verdict, s.reasons, QcVerdict::kCheck,
         std::to_string(check) + " of " + std::to_string(report.satellites.size()) + " satellites to check");
}

}  // namespace qc
}  // namespace morvelin
