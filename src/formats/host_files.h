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
  // station, writing the .gpb header and the .epp header line. Fails at the
  // first that cannot be created (with the host's text); the files created
  // before it stay open until Abandon or Finish.
  // failed_output: 0 .gpb, 1 .epp, 2 .sum, 3 .sta. set, when given: the
  // files were claimed there and the bytes go to its temporaries (renamed
  // into place later, or kept in memory); the texts and the .gpb header
  // still name paths.
  Status Open(const OutputPaths& paths, int& failed_output, OutputSet* set = nullptr);

  void OnEpoch(const EpochEvent& event) override;
  void OnEphemeris(const EphemerisEvent& event) override;
  void OnStationLine(const StationLineEvent& event) override;
  void OnSummaryText(std::string_view text) override;
  void OnEnd(const RunSummary& summary) override;
  // Puts everything out and closes the files (measurement, summary,
  // ephemeris, station); the first failure when one failed.
  Status Finish() override;
  const Status& Failure() const override;
  // True once an epoch could not be written to the measurement file.
  bool MeasurementFileFailed() const { return gpb_failed_; }

  // A run that failed: what was written goes to disk and every file is
  // closed; none is deleted. Failure() keeps the first failure.
  void Abandon();

 private:
  // Puts out and closes the measurement file; its failure, if any.
  Status CloseMeasurementFile();

  GpbHeader gpb_header_{};
  std::unique_ptr<OutputTarget> gpb_;
  BufferedWriter gpb_out_;  // the measurement file's epochs, in large blocks
  bool gpb_failed_ = false;
  TextFile epp_, sum_, sta_;
  mutable Status failure_;  // the first failure, once known
};

}  // namespace morvelin
