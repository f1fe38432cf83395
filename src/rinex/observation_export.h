// The RINEX export of one session, whatever it is read from: the raw data
// file's events (rinex_sink.cpp) or a measurement file (gpb_export.cpp).
// It finds the GPS week, writes the observation file as the epochs come
// (the header when the first epoch is there, with the two fields known only
// at the end patched in place), sets the loss-of-lock indicators, turns
// events and station changes into event records, and writes the navigation
// file at the end.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/gnss_constants.h"
#include "base/text_builder.h"
#include "gnss/ephemeris.h"
#include "morvelin/output_set.h"
#include "morvelin/rinex.h"
#include "rinex/epoch_selection.h"
#include "rinex/file_names.h"
#include "rinex/navigation_writer.h"
#include "rinex/observation_format.h"
#include "rinex/observation_header.h"
#include "rinex/output_file.h"
#include "rinex/record_batch.h"

namespace morvelin::rinex {

// One satellite of an epoch, as the source knows it.
struct ExportSatellite {
  std::uint8_t prn = 0;
  bool p_code = false;
  double l1_code = 0.0;  // metres; 0: no observation
  bool phase_valid = true;
  double l1_phase = 0.0;  // cycles, without any slip marker
  bool l2 = false;        // full L2: the next two are observations
  double l2_code = 0.0;
  double l2_phase = 0.0;
  bool slip = false;      // the receiver flagged a cycle slip at this epoch
  double doppler = 0.0;   // L1 Doppler, Hz, positive for an approaching satellite
};

struct ExportEpoch {
  double receiver_time = 0.0;  // seconds of week, unrounded
  double clock_offset = 0.0;   // seconds
  bool kinematic = false;
  const ExportSatellite* satellites = nullptr;
  int count = 0;
};

// What the header says of the station; taken when the header is written.
struct StationFacts {
  std::string marker_name;
  std::string receiver_type;
  double antenna_height = 0.0;
  bool has_position = false;
  double latitude = 0.0, longitude = 0.0, height = 0.0;  // degrees, metres
};

class ObservationExport {
 public:
  // Epochs held while the GPS week is not known yet (no option, no
  // ephemeris so far): beyond this the export is refused.
  static constexpr std::size_t kPendingLimit = 3600;

  // The files are written under temporaries of set and named once they are
  // whole: their names are claimed there, and the caller commits the set.
  // Without a set the export keeps one of its own and commits it itself
  // when it finishes.
  ObservationExport(const RinexOptions& options, std::string output_dir, OutputSet* set = nullptr);
  ~ObservationExport();

  void SetStation(const StationFacts& facts) { station_ = facts; }
  bool HeaderWritten() const { return header_written_; }
  // A comment for the observation header (before it is written).
  void AddComment(std::string_view text) { comments_.emplace_back(text); }

  void Ephemeris(const gnss::BroadcastEphemeris& eph);
  // An ionosphere record of the data: its coefficients (the first that fit
  // the header's fields are written), or null for a payload of
  // payload_length bytes that does not hold them (the header says so).
  void Ionosphere(const RinexIonosphere* coefficients, std::int32_t payload_length);
  void Epoch(const ExportEpoch& epoch);
  // An event marker at a time of the week (flag 5).
  void EventMarker(double seconds_of_week);
  // A station entry: a new occupation when the next epoch is static and the
  // name or antenna height differ from the current ones (flag 3).
  void StationEntry(std::string_view point_name, double antenna_height);

  // Writes what is left and closes both files; false with Failure() set.
  bool Finish(RinexOutputs* outputs);
  // The first failure (a write error, the week not found; with the
  // system's reason when a file failed), or done.
  const Status& Failure() const { return failure_; }
  // Removes what was written (after a failure).
  void Discard();
  // A file the export reads, whose name it must not take.
  void AddInput(const std::string& path) { set_->AddInput(path); }

 private:
  struct Pending;
  void Fail(std::string text) {
    if (failure_.Ok()) failure_ = Status::Failed(std::move(text));
  }
  void Fail(const Status& failure) {
    if (failure_.Ok()) failure_ = failure;
  }
  // A failure whose text gets its reason appended: "... (Permission denied)".
  void FailWithReason(const Status& failure) {
    if (failure_.Ok()) failure_ = Status::Failed(failure.Message() + " (" + failure.Reason() + ")", failure.Reason());
  }
  bool ResolveWeek(double first_seconds);
  // The week of options_.date; false, with the failure set, when the
  // epoch's seconds of week put it on another day of that week.
  bool WeekOfGivenDate(double first_seconds);
  // The week of the first ephemeris (a warning when it says week 0).
  void WeekOfEphemeris(const gnss::BroadcastEphemeris& eph, double first_seconds);
  void ReplayPending();
  void WriteEpoch(const ExportEpoch& epoch);
  // Takes the step from the previous epoch of the data into their
  // interval; true when epochs are missing from the data (every satellite
  // lost lock meanwhile).
  bool TakeStep(std::int64_t ticks);
  // Takes the step from the previous epoch written into the file's interval.
  void TakeWrittenStep(std::int64_t ticks);
  // The loss of lock of the epoch's satellites, as every epoch of the data
  // shows it: into lost_ for an epoch written (with what the epochs left
  // out since the satellite's last one carried), else carried.
  void TrackLock(const ExportEpoch& epoch, bool data_gap, bool written);
  // A start of motion (flag 2), a new occupation (flag 3) or none, as the
  // epoch's motion and the station entries since the last epoch say.
  void FollowMotion(bool kinematic, const CivilTime& time);
  // The records of the epoch's satellites (at most kEpochRecords); their count.
  int MakeRecords(const ExportEpoch& epoch, SatelliteRecord* records, std::uint8_t* prns);
  // One satellite's values, its phases flagged when it lost lock since its
  // last valid phase in the file (lost_). Fills r, which holds no value yet.
  void MakeRecord(const ExportSatellite& satellite, SatelliteRecord& r);
  // A value into the record when the file lists its signal; counted either way.
  void Put(SatelliteRecord& record, Signal signal, double value, bool lost);
  void PutPhase(SatelliteRecord& record, Signal signal, double value, bool lost);
  // The text of the epochs in the batch out, when it is full and before
  // anything else goes into the file.
  void FlushRecords();
  void WriteEvent(double seconds_of_week);
  // Chooses the observation types, opens the file and writes its header
  // (and the start of motion of a kinematic first epoch).
  bool StartObservationFile(const ExportEpoch& first);
  bool OpenObservationFile();
  ObservationHeader MakeHeader(const ExportEpoch& first, const ObservationTypes& types) const;
  // An epoch line without satellites: a flag and its time.
  void WriteFlagLine(int flag, const CivilTime& time);
  // The station the files are named after: the command line's marker
  // name, the data's, or the input's name.
  std::string StationName() const;
  // The data's station name, or the input's name.
  std::string DataStationName() const;
  // A file's name as written: with ".gz" when compressed.
  std::string Compressed(std::string name) const { return options_.gzip ? name + ".gz" : name; }
  void WriteOccupationRecords(int flag, const CivilTime& time);
  std::string ProgramDate() const;
  // Patches the interval and the time of the last epoch into the header,
  // closes the file and names it.
  void FinishObservationFile();
  // The warnings of epochs seen but not written for reasons the user did
  // not ask for (time going back) or did not expect (an empty selection).
  void WarnOfEpochsLeftOut();
  void WriteNavigationFile(RinexOutputs& result);
  NavigationHeader MakeNavigationHeader(const CivilTime& start) const;
  void CommitOwnSet();
  void CheckFile(const OutputFile& file);
  // Opens a new temporary of the set for a file whose name is known at the end.
  bool OpenTemporary(OutputFile& file, const char* kind, const std::string& shown);
  // Gives the closed file its name in output_dir_: the long name, or the
  // short one with the first session character no other file of the run,
  // its batch or its inputs has (with fixed_session, the one of its start
  // and period or none). False with the failure set.
  bool Place(const OutputFile& file, FileKind kind, const CivilTime& start, double period, double interval,
             std::string& final_path, bool fixed_session = false, char first_session = 0);
  static Status AnotherSessionThere(const std::string& path);

  RinexOptions options_;
  std::string output_dir_;
  std::unique_ptr<OutputSet> own_set_;
  OutputSet* set_;
  Status failure_;
  StationFacts station_;
  std::vector<std::string> comments_;
  std::string creation_date_;

  NavigationCollector navigation_;
  std::optional<RinexIonosphere> data_ionosphere_;  // the data's first ionosphere record that fits
  std::string ionosphere_note_;                     // a record ignored, for the header's comment
  std::vector<std::string> warnings_;
  bool date_refused_ = false;
  OutputFile observation_file_;
  bool header_written_ = false;
  RinexVersion version_;
  ObservationLayout layout_;

  // Time.
  bool week_known_ = false;
  std::int32_t week_ = 0;          // of the latest epoch
  double previous_seconds_ = 0.0;  // seconds of week of the latest epoch
  std::vector<Pending> pending_;

  // Which epochs are written, and into which file.
  EpochSelection selection_;
  std::int64_t epochs_seen_ = 0;
  // Epochs in the selection but not later than the last written: a file's
  // epochs go forward in time.
  std::int64_t epochs_not_forward_ = 0;
  std::int64_t last_input_ticks_ = 0, input_step_ticks_ = 0;  // of the data's epochs

  // The observation file being written; the header fields known at its end.
  std::int64_t first_ticks_ = 0, last_ticks_ = 0, file_step_ticks_ = 0;
  std::int64_t file_period_ = 0, file_epochs_ = 0;
  std::int64_t interval_position_ = -1, last_obs_position_ = -1;
  CivilTime first_time_;
  // The whole run's: its first epoch written and shortest step written.
  std::int64_t run_first_ticks_ = 0, written_step_ticks_ = 0;
  CivilTime run_first_time_;
  std::vector<RinexObservationFile> observation_files_;
  char observation_session_ = 0;  // the session character of its short name

  // Loss of lock: the epoch number (of the data's epochs) at which each
  // PRN last had a valid phase; whether it lost lock at an epoch left out
  // since its last epoch written; whether it lost lock for the epoch being
  // written.
  std::int64_t epoch_number_ = 0;
  std::array<std::int64_t, kMaxPrn + 1> last_phase_epoch_{};
  std::array<bool, kMaxPrn + 1> carried_lost_{};
  std::array<bool, kMaxPrn + 1> lost_{};
  bool kinematic_ = false;
  std::string current_marker_;
  double current_antenna_height_ = 0.0;
  bool occupation_pending_ = false;
  std::string pending_marker_;
  double pending_antenna_height_ = 0.0;

  // Epochs laid out and waiting for their text (formatted a batch at a time).
  static constexpr int kEpochRecords = RecordBatch::kEpochRecords;
  RecordBatch batch_;

  // Counts.
  std::int64_t epochs_written_ = 0, signals_written_ = 0, unlisted_signals_ = 0;
};

}  // namespace morvelin::rinex
