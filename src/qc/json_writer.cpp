// The report as JSON, written by hand: the schema is in docs/qc.md.
// Numbers go out with fixed decimals, locale-free; a value that is not
// known is null.
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qc/number_text.h"
#include "qc/report_text.h"

namespace morvelin {

namespace {

using qc::AppendFixed;
using qc::AppendInt;

class Json {
 public:
  explicit Json(std::string& out) : out_(out) {}

  Json& Open(std::string_view key, char bracket) {
    Key(key);
    out_ += bracket;
    first_ = true;
    ++depth_;
    return *this;
  }
  Json& Close(char bracket) {
    --depth_;
    if (!first_) Newline();
    out_ += bracket;
    first_ = false;
    return *this;
  }
  Json& String(std::string_view key, std::string_view value) {
    Key(key);
    Quoted(value);
    return *this;
  }
  Json& Int(std::string_view key, std::int64_t value) {
    Key(key);
    AppendInt(out_, value);
    return *this;
  }
  Json& Number(std::string_view key, double value, int decimals) {
    Key(key);
    if (std::isfinite(value))
      AppendFixed(out_, value, decimals);
    else
      out_ += "null";
    return *this;
  }
  // The value when it is known, else null.
  Json& NumberOrNull(std::string_view key, bool known, double value, int decimals) {
    return known ? Number(key, value, decimals) : Null(key);
  }
  Json& Bool(std::string_view key, bool value) {
    Key(key);
    out_ += value ? "true" : "false";
    return *this;
  }
  Json& Null(std::string_view key) {
    Key(key);
    out_ += "null";
    return *this;
  }

 private:
  void Newline() {
    out_ += '\n';
    out_.append(static_cast<std::size_t>(2 * depth_), ' ');
  }
  // An empty key: an element of an array.
  void Key(std::string_view key) {
    if (depth_ > 0) {
      if (!first_) out_ += ',';
      Newline();
    }
    first_ = false;
    if (!key.empty()) {
      Quoted(key);
      out_ += ": ";
    }
  }
  void Quoted(std::string_view text) {
    out_ += '"';
    for (const char c : text) {
      const auto u = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        out_ += '\\';
        out_ += c;
      } else if (u < 0x20) {
        static const char kHex[] = "0123456789abcdef";
        out_ += "\\u00";
        out_ += kHex[u >> 4];
        out_ += kHex[u & 15];
      } else {
        out_ += c;
      }
    }
    out_ += '"';
  }

  std::string& out_;
  int depth_ = 0;
  bool first_ = true;
};

void Reasons(Json& json, const std::vector<std::string>& reasons) {
  json.Open("reasons", '[');
  for (const std::string& reason : reasons) json.String("", reason);
  json.Close(']');
}

double Share(std::int64_t part, std::int64_t whole) {
  return whole > 0 ? static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

void Position(Json& json, const QcSession& s) {
  if (!s.has_position) {
    json.Null("position");
    return;
  }
  json.Open("position", '{');
  json.Number("latitude_deg", s.latitude, 8).Number("longitude_deg", s.longitude, 8).Number("height_m", s.height, 3);
  json.Close('}');
}

void Session(Json& json, const QcSession& s) {
  json.Open("session", '{');
  json.String("station", s.station);
  if (s.week_known)
    json.Int("week", s.week);
  else
    json.Null("week");
  json.Number("first_epoch_s", s.first_time, 3).Number("last_epoch_s", s.last_time, 3);
  if (s.week_known)
    json.String("first_epoch_gps", qc::SessionDateTime(s, s.first_time))
        .String("last_epoch_gps", qc::SessionDateTime(s, s.last_time));
  else
    json.Null("first_epoch_gps").Null("last_epoch_gps");
  json.Number("duration_s", s.duration, 3).Number("interval_s", s.interval, 3);
  json.Int("epochs", s.epochs).Int("missing_epochs", s.missing_epochs).Int("observations", s.observations);
  json.Number("mean_satellites", s.mean_satellites, 3).Int("min_satellites", s.min_satellites);
  json.Int("epochs_below_four", s.epochs_below_four);
  Position(json, s);
  json.Int("ephemerides", s.ephemerides).Number("elevation_mask_deg", s.elevation_mask, 1);
  json.Number("elevation_step_s", s.elevation_step, 1).Int("events", s.events);
  json.String("verdict", QcVerdictName(s.verdict));
  Reasons(json, s.reasons);
  json.Close('}');
}

void Slip(Json& json, const QcSlip& slip) {
  json.Open("", '{');
  json.Number("time_s", slip.time, 3).Bool("flagged", (slip.how & kSlipFlagged) != 0);
  json.Open("found_by", '[');
  if (slip.how & kSlipGeometryFree) json.String("", "geometry-free");
  if (slip.how & kSlipWideLane) json.String("", "melbourne-wuebbena");
  if (slip.how & kSlipCodeMinusPhase) json.String("", "code-minus-phase");
  json.Close(']');
  json.Close('}');
}

void Satellite(Json& json, const QcSatellite& sat) {
  json.Open("", '{');
  json.Int("prn", sat.prn).Int("epochs", sat.epochs).Int("dual_epochs", sat.dual_epochs);
  const bool tracked = sat.epochs > 0;
  json.NumberOrNull("dual_share", tracked, Share(sat.dual_epochs, sat.epochs), 4)
      .NumberOrNull("first_epoch_s", tracked, sat.first_time, 3)
      .NumberOrNull("last_epoch_s", tracked, sat.last_time, 3);
  json.Int("passes", sat.passes).Int("gaps", sat.gaps);
  json.Number("longest_gap_s", sat.longest_gap, 3).Int("longest_gap_epochs", sat.longest_gap_epochs);
  json.Int("slips_flagged", sat.slips_flagged).Int("slips_found", sat.slips_found);
  json.Open("slips", '[');
  for (const QcSlip& slip : sat.slips) Slip(json, slip);
  json.Close(']');
  json.NumberOrNull("mp1_rms_m", sat.has_multipath, sat.mp1_rms, 4)
      .NumberOrNull("mp2_rms_m", sat.has_multipath, sat.mp2_rms, 4);
  json.Int("multipath_samples", sat.multipath_samples);
  json.NumberOrNull("elevation_min_deg", sat.has_elevation, sat.elevation_min, 2)
      .NumberOrNull("elevation_max_deg", sat.has_elevation, sat.elevation_max, 2);
  json.Int("expected", sat.expected).Int("expected_tracked", sat.expected_tracked);
  json.NumberOrNull("tracked_share", sat.expected > 0, Share(sat.expected_tracked, sat.expected), 4);
  json.String("verdict", QcVerdictName(sat.verdict));
  Reasons(json, sat.reasons);
  json.Close('}');
}

void Thresholds(Json& json, const QcThresholds& t) {
  json.Open("thresholds", '{');
  json.Number("check_tracked_share", t.check_tracked_share, 4).Number("poor_tracked_share", t.poor_tracked_share, 4);
  json.Number("check_mp1_rms_m", t.check_mp1_rms, 3).Number("poor_mp1_rms_m", t.poor_mp1_rms, 3);
  json.Number("check_mp2_rms_m", t.check_mp2_rms, 3).Number("poor_mp2_rms_m", t.poor_mp2_rms, 3);
  json.Number("check_longest_gap_s", t.check_longest_gap, 1);
  json.Number("poor_slips_per_hour", t.poor_slips_per_hour, 1);
  json.Number("poor_session_below_four", t.poor_session_below_four, 4);
  json.Number("check_missing_epochs", t.check_missing_epochs, 4);
  json.Number("poor_satellite_share", t.poor_satellite_share, 4);
  json.Close('}');
}

}  // namespace

std::string QcReportJson(const QcReport& report) {
  std::string out;
  Json json(out);
  json.Open("", '{');
  json.String("format", "morvelin-qc").Int("version", 1);
  Session(json, report.session);
  json.Open("satellites", '[');
  for (const QcSatellite& sat : report.satellites) Satellite(json, sat);
  json.Close(']');
  Thresholds(json, report.thresholds);
  json.Close('}');
  out += '\n';
  return out;
}

}  // namespace morvelin
