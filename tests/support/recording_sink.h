// A conversion in memory: raw bytes in, every event and message out as
// lines of text, no file anywhere. For decoder tests that look at what a
// decoder reports rather than at the files a sink makes of it.
#pragma once

#include <string>
#include <vector>

#include "morvelin/converter.h"
#include "support/raw_builder.h"

namespace morvelin::test {

// Keeps each event as one readable line, in the order they came.
class RecordingSink : public ConversionSink {
 public:
  void OnEpoch(const EpochEvent& event) override;
  void OnEphemeris(const EphemerisEvent& event) override;
  void OnIonosphere(const IonosphereEvent& event) override;
  void OnStationLine(const StationLineEvent& event) override;
  void OnSummaryText(std::string_view text) override;
  void OnEventMarker(const EventMarkerEvent& event) override;
  void OnEnd(const RunSummary& summary) override;

  std::vector<std::string> lines;
  RunSummary end;  // the end of the run, its session pointer cleared
  std::string station_name;
};

struct MemoryConversion {
  ConversionOutcome outcome;
  std::vector<std::string> events;    // the recording sink's lines
  std::vector<std::string> messages;  // "time text", as the observer saw them
  RunSummary end;
};

// Converts bytes without host files, into a recording sink.
MemoryConversion ConvertInMemory(const Bytes& bytes, bool kinematic = false);

}  // namespace morvelin::test
