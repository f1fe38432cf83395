// The quality report of a session: per-satellite tracking, gaps, cycle
// slips flagged by the receiver and found in the data, code multipath,
// elevations and the share of expected observations, a verdict per
// satellite and for the session, and a picture of it all.
//
// Two ways in: a sink attached to a conversion (MakeQcSink), or a
// measurement file and its ephemeris file (BuildQcReportFromFiles). Three
// ways out: plain text, JSON and SVG, each returned as a string. docs/qc.md
// documents the detectors, the thresholds of the verdicts and the JSON
// schema. Memory stays bounded whatever the session's length: running
// statistics per satellite and downsampled series for the picture.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "morvelin/converter.h"

namespace morvelin {

// Everything declared here is the C++ library's public interface: exported
// from libmorvelin-cxx.so, which is built with hidden visibility.
#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility push(default)
#endif

// The limits the verdicts apply (docs/qc.md explains each).
struct QcThresholds {
  double check_tracked_share = 0.90;  // tracked / expected above the mask
  double poor_tracked_share = 0.70;
  double check_mp1_rms = 0.50;  // m
  double poor_mp1_rms = 1.00;
  double check_mp2_rms = 0.75;  // m
  double poor_mp2_rms = 1.50;
  double check_longest_gap = 60.0;      // s
  double poor_slips_per_hour = 10.0;    // flagged and found, per hour tracked
  double poor_session_below_four = 0.05;  // share of epochs with fewer than four satellites
  double check_missing_epochs = 0.01;     // share of the epochs the interval expects
  double poor_satellite_share = 0.5;      // share of tracked satellites judged poor
};

struct QcOptions {
  double elevation_mask = 10.0;  // degrees: observations above it are expected
  std::int32_t week = -1;        // GPS week of the first epoch; -1: from the ephemerides, if any
  // A position to use instead of the one the data carries.
  bool position_given = false;
  double latitude = 0.0, longitude = 0.0, height = 0.0;  // degrees, degrees, metres
  // An interruption of a satellite longer than this ends its pass (it set
  // and rose again); a shorter one is a gap.
  double pass_break = 600.0;  // s
  QcThresholds thresholds;
};

enum class QcVerdict : std::uint8_t { kGood, kCheck, kPoor };
const char* QcVerdictName(QcVerdict verdict);  // "good", "check", "poor"

// How a slip was known: bits of QcSlip::how.
inline constexpr std::uint8_t kSlipFlagged = 0x01;        // flagged by the receiver
inline constexpr std::uint8_t kSlipGeometryFree = 0x02;   // found: geometry-free phase combination
inline constexpr std::uint8_t kSlipWideLane = 0x04;       // found: Melbourne-Wuebbena combination
inline constexpr std::uint8_t kSlipCodeMinusPhase = 0x08; // found: L1 code minus phase

struct QcSlip {
  double time = 0.0;  // session time (QcSession)
  std::uint8_t how = 0;
};

// Times are session times: seconds of the GPS week of the first epoch,
// running on past 604800 when the session crosses the end of the week.
struct QcSatellite {
  int prn = 0;
  std::int64_t epochs = 0;       // epochs with an observation
  std::int64_t dual_epochs = 0;  // of them with L2 code and phase
  double first_time = 0.0, last_time = 0.0;
  std::int32_t passes = 0;
  std::int32_t gaps = 0;          // interruptions within a pass
  double longest_gap = 0.0;       // s without an observation
  std::int64_t longest_gap_epochs = 0;
  std::int32_t slips_flagged = 0; // by the receiver
  std::int32_t slips_found = 0;   // in the data, where the receiver flagged none
  std::vector<QcSlip> slips;      // both kinds in time order, the first kQcSlipListLimit
  bool has_multipath = false;
  double mp1_rms = 0.0, mp2_rms = 0.0;  // m
  std::int64_t multipath_samples = 0;
  bool has_elevation = false;
  double elevation_min = 0.0, elevation_max = 0.0;  // degrees, at the sampled epochs tracked
  std::int64_t expected = 0;          // sampled epochs above the mask
  std::int64_t expected_tracked = 0;  // of them tracked
  QcVerdict verdict = QcVerdict::kGood;
  std::vector<std::string> reasons;   // why not good
};
inline constexpr std::size_t kQcSlipListLimit = 1000;

struct QcSession {
  std::string station;
  bool week_known = false;
  std::int32_t week = 0;  // of the first epoch
  double first_time = 0.0, last_time = 0.0, duration = 0.0, interval = 0.0;  // s
  std::int64_t epochs = 0;
  std::int64_t observations = 0;
  double mean_satellites = 0.0;
  std::int32_t min_satellites = 0;
  std::int64_t epochs_below_four = 0;
  std::int64_t missing_epochs = 0;  // epochs the interval expects that are not there
  bool has_multipath = false;
  double mp1_rms = 0.0, mp2_rms = 0.0;  // m, over every satellite's arcs
  bool has_position = false;
  double latitude = 0.0, longitude = 0.0, height = 0.0;
  std::int32_t ephemerides = 0;
  double elevation_mask = 0.0;
  double elevation_step = 0.0;  // s between the epochs at which elevations are sampled
  std::int32_t events = 0;
  QcVerdict verdict = QcVerdict::kGood;
  std::vector<std::string> reasons;
};

// The downsampled series the picture draws: the session cut into bins of
// bin_width seconds from the first epoch.
struct QcPicture {
  double start = 0.0;
  double bin_width = 1.0;
  std::vector<std::uint32_t> epochs;  // per bin: epochs of the session
  std::vector<float> mean_satellites, min_satellites, max_satellites;  // per bin, NaN without epochs
  std::vector<float> mp1_rms, mp2_rms;  // per bin over all satellites, NaN without samples
  std::vector<std::uint32_t> mp_samples;  // per bin
  struct Row {
    int prn = 0;
    std::vector<std::uint32_t> tracked, dual;  // per bin: epochs tracked, of them dual frequency
    std::vector<std::pair<double, double>> gaps;  // last epoch before, first after (the first 500)
  };
  std::vector<Row> rows;  // one per satellite of the report, in its order
  std::vector<std::pair<double, double>> missing;  // session stretches without epochs (the first 500)
  std::vector<double> events;  // event markers (the first 1000)
  struct SkyPoint {
    float azimuth = 0.0f, elevation = 0.0f;  // degrees
    bool after_gap = false;  // the satellite was not tracked throughout since the point before
  };
  struct SkyTrack {
    int prn = 0;
    std::vector<SkyPoint> points;  // in time order
  };
  std::vector<SkyTrack> sky;
};

struct QcReport {
  QcSession session;
  std::vector<QcSatellite> satellites;  // by PRN: every satellite tracked or expected
  QcPicture picture;
  QcThresholds thresholds;
};

// A sink that collects a conversion's epochs, ephemerides and events.
class QcSink : public ConversionSink {
 public:
  // The report of what was received so far; call once the run is over.
  virtual QcReport Report() = 0;
};
std::unique_ptr<QcSink> MakeQcSink(const QcOptions& options);

// The report of a measurement file and, when epp_path is not empty, its
// ephemeris file. The measurement file keeps no slip flags: a slip the
// receiver flagged is known there by its lock time falling to 0 (and its
// +10000-cycle marker is taken off the L1 phase). Refused, with the
// reader's text, when a file cannot be read.
Result<QcReport> BuildQcReportFromFiles(const std::string& gpb_path, const std::string& epp_path,
                                        const QcOptions& options);

std::string QcReportText(const QcReport& report);
std::string QcReportJson(const QcReport& report);
std::string QcReportSvg(const QcReport& report);

#if defined(__GNUC__) && !defined(_WIN32)
#pragma GCC visibility pop
#endif

}  // namespace morvelin
