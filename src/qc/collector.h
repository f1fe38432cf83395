// Collects a session epoch by epoch into running statistics per satellite,
// the slip detectors and the downsampled series of the picture, and builds
// the report at the end. Fed by the conversion sink and by the measurement
// file reader alike, so both give the same report of the same epochs.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/gnss_constants.h"
#include "base/helper_thread.h"
#include "gnss/ephemeris.h"
#include "morvelin/qc.h"
#include "qc/epoch_steps.h"
#include "qc/slip_detector.h"

namespace morvelin::qc {

inline constexpr std::size_t kPictureBins = 1024;   // bins of the picture's time axis, at most
inline constexpr double kElevationStep = 10.0;      // s between elevation samples
// Elevation samples taken inside gaps, at most: a day's worth, and more as
// epochs come, so that a damaged file whose times leap by days at every
// epoch costs no more than its epochs do.
inline constexpr std::int64_t kGapSamplesBase = 8640;
inline constexpr std::int64_t kGapSamplesPerEpoch = 30;
inline constexpr std::size_t kSkyPoints = 720;      // per satellite, at most
inline constexpr std::size_t kGapList = 500;        // gap spans kept per satellite for the picture
inline constexpr std::size_t kEventList = 1000;

// One satellite's observation at an epoch.
struct Observation {
  int prn = 0;
  bool flagged_slip = false;  // the receiver flagged a cycle slip here
  bool dual = false;          // L2 code and phase present
  double p1 = 0.0;            // m
  double l1 = 0.0;            // cycles, without any marker
  double p2 = 0.0, l2 = 0.0;  // m, cycles (dual)
};

struct EpochInput {
  double time = 0.0;  // GPS seconds of week, as recorded
  bool has_position = false;
  double latitude = 0.0, longitude = 0.0, height = 0.0;  // degrees, metres
  std::span<const Observation> observations;
};

class Collector {
 public:
  explicit Collector(const QcOptions& options);
  Collector(const Collector&) = delete;
  Collector& operator=(const Collector&) = delete;
  ~Collector();

  void AddEpoch(const EpochInput& epoch);
  void AddEphemeris(const gnss::BroadcastEphemeris& eph);
  void AddEvent(double time);  // GPS seconds of week
  void SetStation(std::string_view name) { station_ = std::string(name); }
  // Decides what the detectors still hold and builds the report; once.
  QcReport Finish();

 private:
  struct MpSegment {
    std::int64_t n = 0;
    double sum1 = 0.0, square1 = 0.0;  // of MP1 minus the segment's first value
    double sum2 = 0.0, square2 = 0.0;  // of MP2 likewise
    double ref1 = 0.0, ref2 = 0.0;
  };
  struct MpBin {
    std::uint32_t bin = 0, segment = 0;
    std::uint32_t n = 0;
    double sum1 = 0.0, square1 = 0.0, sum2 = 0.0, square2 = 0.0;
  };
  // A sample waiting for the satellite's detector, and what comes before it.
  struct Waiting {
    DetectorSample sample;
    bool arc_break = false;  // a gap, a flagged slip or a change of frequencies
    bool flagged = false;    // the receiver flagged a slip here
  };
  struct Satellite {
    bool tracked = false;
    QcSatellite report;
    double last_time = 0.0;
    std::int64_t last_epoch = -1;
    double longest_step = 0.0;  // s between observations around the longest gap
    bool last_dual = false;
    std::vector<Waiting> waiting;
    std::vector<Waiting> detecting;  // the batch the detector thread holds
    SlipDetector detector;
    std::vector<Decision> decisions;
    std::vector<MpSegment> segments;
    std::vector<MpBin> mp_bins;
    std::vector<std::uint32_t> tracked_bins, dual_bins;
    std::vector<std::pair<double, double>> gap_spans;
    std::vector<QcPicture::SkyPoint> sky;
    std::uint32_t sky_stride = 1, sky_counter = 0;
    bool sky_break = true;  // a gap since the last sky point: the track breaks
  };
  struct SessionBin {
    std::uint32_t epochs = 0;
    std::uint32_t min_satellites = 0, max_satellites = 0;
    std::uint64_t satellites = 0;
  };

  // Per bin of the picture, over all satellites: the squares of MP1 and MP2
  // about their segments' means, and the samples.
  struct MultipathSums {
    std::vector<double> squares1, squares2, counts;
    void Add(const Satellite& sat);
    void Into(QcPicture& picture) const;
  };

  // The picture's time axis as a batch handed to the detectors saw it.
  struct BinGrid {
    double first_time = 0.0;
    double inverse_width = 1.0;  // exact: the width is a power of two
    std::size_t count = 0;
    // The bin of a time the bins reach already.
    std::size_t Index(double time) const;
  };
  BinGrid Grid() const { return {first_time_, 1.0 / bin_width_, bins_.size()}; }
  std::size_t BinOf(double time);
  void HalveBins();
  void Observe(Satellite& sat, const Observation& obs, double time, std::size_t bin, bool session_continuous);
  // The waiting samples of every satellite go through the detectors a
  // batch of epochs at a time, on a thread of their own (started with the
  // first batch and kept to the end) while the next batch is collected.
  // WaitForDetectors: this thread takes the batch's satellites that are
  // left, and then the detectors' side of every satellite is its own again.
  void HandToDetectors();
  void WaitForDetectors();
  void DetectBatch();
  static void Detect(Satellite& sat, const BinGrid& grid);
  static void Apply(Satellite& sat, const BinGrid& grid);
  // Elevations at session time t (seconds_of_week as recorded) of every
  // satellite with an ephemeris; tracked: the satellites of the epoch there.
  void SampleElevations(double t, double seconds_of_week, const std::array<bool, kMaxPrn + 1>& tracked);
  // The sampling instants in a stretch without epochs before the one at t:
  // the satellites above the mask there count as expected and not tracked.
  void SampleHole(double t, double seconds_of_week);
  static void AddSkyPoint(Satellite& sat, double azimuth, double elevation);
  const gnss::BroadcastEphemeris* EphemerisFor(int prn, double seconds_of_week) const;
  double Interval() const { return steps_.Interval(); }
  // The report's pieces, once the detectors have decided. FirstWeek: the
  // GPS week of the first epoch, the one given or else that of an
  // ephemeris, moved across a week end lying between them; false if neither.
  bool FirstWeek(std::int32_t& week) const;
  QcSession Session() const;
  void SessionSeries(QcPicture& picture) const;
  // The squares of MP1 and MP2 about their arcs' means over all satellites.
  struct MultipathTotal {
    double squares1 = 0.0, squares2 = 0.0;
    std::int64_t freedom = 0;
  };
  static QcSatellite SatelliteReport(int prn, const Satellite& sat, double interval, MultipathTotal& total);
  static void SatelliteMultipath(const Satellite& sat, QcSatellite& report, MultipathTotal& total);
  static QcPicture::Row PictureRow(int prn, const Satellite& sat, std::size_t bins);

  QcOptions options_;
  std::string station_;
  std::array<Satellite, kMaxPrn + 1> satellites_{};
  std::array<std::vector<gnss::BroadcastEphemeris>, kMaxPrn + 1> ephemerides_{};
  std::int32_t ephemeris_count_ = 0;

  // session
  bool started_ = false;
  double first_seconds_ = 0.0;  // seconds of week of the first epoch
  double last_seconds_ = 0.0;   // of the latest epoch, as recorded
  std::int32_t weeks_on_ = 0;   // week ends crossed since the first epoch
  double first_time_ = 0.0, last_time_ = 0.0;
  std::int64_t waiting_epochs_ = 0;
  std::int64_t epochs_ = 0, observations_ = 0, below_four_ = 0, missing_epochs_ = 0;
  std::int32_t min_satellites_ = 0;
  EpochSteps steps_;
  std::vector<std::pair<double, double>> missing_;
  std::vector<double> events_;
  std::int32_t event_count_ = 0;
  bool has_position_ = false;
  double latitude_ = 0.0, longitude_ = 0.0, height_ = 0.0;
  double next_elevation_sample_ = 0.0;
  std::int64_t gap_samples_ = 0;
  double bin_width_ = 1.0;
  std::vector<SessionBin> bins_;
  std::vector<Observation> sorted_;
  BinGrid batch_grid_;                            // the batch's, while it runs
  std::atomic<std::size_t> next_detected_{kMaxPrn + 1};  // its next satellite to take
  HelperThread detector_thread_;  // last: it stops before what it reads goes
};

// The verdicts of a report whose numbers are complete.
void JudgeReport(QcReport& report);

}  // namespace morvelin::qc
