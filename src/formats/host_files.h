// The host's four files as one sink: the measurement file (.gpb), the
// ephemeris file (.epp), the summary file (.sum) and the station file (.sta).
#pragma once

#include <string>
#include <string_view>

#include "base/buffered_writer.h"
#include "formats/text_file.h"
#include "morvelin/events.h"
#include "morvelin/gpb.h"

namespace morvelin {

struct OutputPaths {
  std::string gpb, epp, sum, sta;
  std::string gpb_header_name;  // the name the .gpb header stores
};

// What the host reads when output index (0 .gpb, 1 .epp, 2 .sum, 3 .sta)
// cannot be created: each file has its own text.
std::string CreateFailure(int index, const std::string& path);

class HostFileSink final : public ConversionSink {
 public:
  HostFileSink() = default;
  HostFileSink(const HostFileSink&) = delete;
  HostFileSink& operator=(const HostFileSink&) = delete;
  ~HostFileSink() override;

  // Creates the four files in the order measurement, ephemeris, summary,
  // station, writing the .gpb header and the .epp header line. False at the
  // first that cannot be created (failure holds the host's text); the
  // files created before it stay open until Abandon or Finish.
  // failed_output: 0 .gpb, 1 .epp, 2 .sum, 3 .sta. write_paths, when
  // given: where the bytes go instead (temporaries that are renamed into
  // place later); the texts and the .gpb header still name paths.
  bool Open(const OutputPaths& paths, std::string& failure, int& failed_output,
            const OutputPaths* write_paths = nullptr);

  void OnEpoch(const EpochEvent& event) override;
  void OnEphemeris(const EphemerisEvent& event) override;
  void OnStationLine(const StationLineEvent& event) override;
  void OnSummaryText(std::string_view text) override;
  void OnEnd(const RunSummary& summary) override;
  // Puts everything out and closes the files (measurement, summary,
  // ephemeris, station). False, with Failure() set, when one failed.
  bool Finish() override;
  std::string_view Failure() const override;
  std::string_view Reason() const override;
  // True once an epoch could not be written to the measurement file.
  bool MeasurementFileFailed() const { return gpb_failed_; }

  // A run that failed: what was written goes to disk and every file is
  // closed; none is deleted. Failure() keeps the first failure.
  void Abandon();

 private:
  MeasurementFile* gpb_ = nullptr;
  BufferedWriter gpb_out_;  // the measurement file's epochs, in large blocks
  bool gpb_failed_ = false;
  int gpb_error_ = 0;  // errno of a failed flush or close of the .gpb
  TextFile epp_, sum_, sta_;
  mutable std::string failure_;  // the first failure, once known
};

}  // namespace morvelin
