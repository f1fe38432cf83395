// Any bytes as a measurement file: open, read every epoch, search.
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "morvelin/gpb.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = "/tmp/morvelin-fuzz-" + std::to_string(getpid()) + ".gpb";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  using namespace morvelin;
  if (MeasurementFile* gpb = OpenMeasurementFile(path.c_str(), 4096)) {
    EpochRecord epoch;
    ObservationRecord observations[255];
    for (int i = 0; i < 100000 && ReadMeasurementEpoch(gpb, &epoch, observations) == 0; ++i) {
    }
    CloseMeasurementFile(gpb);
  }
  if (MeasurementFile* gpb = OpenMeasurementFile(path.c_str(), 0)) {
    for (int i = 0; i < 100 && FindSatelliteEpoch(gpb, static_cast<std::int16_t>(size % 33), 1.0e6) > 0; ++i) {
      EpochRecord epoch;
      ObservationRecord observations[255];
      if (ReadMeasurementEpoch(gpb, &epoch, observations) != 0) break;
    }
    CloseMeasurementFile(gpb);
  }
  return 0;
}
