#include "support/measurement_payloads.h"

#include "support/recording_sink.h"

#include <gtest/gtest.h>

#include <cstring>

namespace morvelin::test {

std::vector<GpbEpoch> ReadGpbEpochs(const Bytes& gpb) {
  std::vector<GpbEpoch> epochs;
  std::size_t offset = static_cast<std::size_t>(kGpbHeaderSize);
  while (offset < gpb.size()) {
    EpochRecord record;
    if (gpb.size() - offset < sizeof record) {
      ADD_FAILURE() << "cut epoch record at offset " << offset;
      break;
    }
    std::memcpy(&record, gpb.data() + offset, sizeof record);
    offset += sizeof record;
    GpbEpoch epoch{{record.record_size, record.measurement_count, record.epoch_flags, record.latitude,
                    record.longitude, record.height, record.epoch_time, record.corrected_epoch_time,
                    record.clock_offset},
                   {}};
    const std::size_t count = record.measurement_count;
    if (gpb.size() - offset < count * sizeof(ObservationRecord)) {
      ADD_FAILURE() << "cut observation records at offset " << offset;
      break;
    }
    for (std::size_t i = 0; i < count; ++i) {
      ObservationRecord o;
      std::memcpy(&o, gpb.data() + offset, sizeof o);
      offset += sizeof o;
      epoch.observations.push_back(
          {o.record_size, o.prn, o.lock_time, o.l1_pseudorange, o.l1_phase, o.l1_third, o.l2_pseudorange, o.l2_phase});
    }
    epochs.push_back(std::move(epoch));
  }
  return epochs;
}

MeasurementOutcome ConvertRaw(const TempDir& dir, const RawBuilder& raw, const ConvertOptions& options) {
  MeasurementOutcome outcome;
  outcome.path = dir.File("ABCD1230.dat");
  raw.WriteTo(outcome.path);
  outcome.conversion = ConvertAsHost(outcome.path, options);
  const Bytes gpb = ReadBytes(WithExtension(outcome.path, ".gpb"));
  outcome.gpb_size = gpb.size();
  outcome.epochs = ReadGpbEpochs(gpb);
  outcome.summary = ReadText(WithExtension(outcome.path, ".sum"));
  // The same bytes converted in memory: what the sinks were told.
  outcome.end = ConvertInMemory(ReadBytes(outcome.path), options.kinematic != 0).end;
  return outcome;
}

std::string LinesBeforeSummaryBlock(const std::string& summary) {
  const std::size_t block = summary.rfind(LineEnds("\nSTA: "));
  return block == std::string::npos ? summary : summary.substr(0, block);
}

RawSatellite Single(std::uint8_t prn, std::uint8_t extra_f1) {
  RawSatellite satellite;
  satellite.prn = prn;
  satellite.f1 = static_cast<std::uint8_t>(kPhaseValid | extra_f1);
  return satellite;
}

RawSatellite Dual(std::uint8_t prn, std::uint8_t extra_f1) {
  RawSatellite satellite = Single(prn, static_cast<std::uint8_t>(kDualFrequency | extra_f1));
  satellite.l2_phase = 80000.0;
  satellite.l2_code_offset = 2.5;
  return satellite;
}

}  // namespace morvelin::test
