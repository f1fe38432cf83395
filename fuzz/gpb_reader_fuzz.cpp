// Any bytes as a measurement file: open, read every epoch, search for a
// satellite, append an epoch. Reads stay inside the caller's room (the
// header's channel count), every result is one of the documented ones,
// and every handle is closed.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "morvelin/gpb.h"

using namespace morvelin;

namespace {

// Reads epochs until the end or a failure; the observations land in room
// for exactly the header's channel count, so ASan sees any write beyond.
void ReadAll(const std::string& path, std::uint16_t buffer_size) {
  MeasurementFile* gpb = OpenMeasurementFile(path.c_str(), buffer_size);
  if (gpb == nullptr) return;
  MORVELIN_FUZZ_CHECK(gpb->header.header_size == kGpbHeaderSize);
  const std::size_t room = gpb->header.channel_count;
  auto observations = std::make_unique<ObservationRecord[]>(room == 0 ? 1 : room);
  for (int i = 0; i < 100000; ++i) {
    EpochRecord epoch;
    const int result = ReadMeasurementEpoch(gpb, &epoch, observations.get());
    MORVELIN_FUZZ_CHECK(result == 0 || result == -1 || result == 1);
    if (result != 0) break;
    MORVELIN_FUZZ_CHECK(epoch.measurement_count <= room);
  }
  MORVELIN_FUZZ_CHECK(CloseMeasurementFile(gpb) == 0);
}

void Search(const std::string& path, std::int16_t prn, double target_time) {
  MeasurementFile* gpb = OpenMeasurementFile(path.c_str(), 0);
  if (gpb == nullptr) return;
  for (int i = 0; i < 100; ++i) {
    const int found = FindSatelliteEpoch(gpb, prn, target_time);
    MORVELIN_FUZZ_CHECK(found >= -1 && found <= 60);
    if (found <= 0) break;
    EpochRecord epoch;
    ObservationRecord observations[255];
    if (ReadMeasurementEpoch(gpb, &epoch, observations) != 0) break;
  }
  CloseMeasurementFile(gpb);
}

void Append(const std::string& path) {
  MeasurementFile* gpb = OpenMeasurementFile(path.c_str(), 512);
  if (gpb == nullptr) return;
  if (ReopenMeasurementFileForAppend(gpb) == 0) {
    EpochRecord epoch{};
    ObservationRecord observation{};
    epoch.measurement_count = gpb->header.channel_count > 0 ? 1 : 0;
    WriteMeasurementEpoch(gpb, &epoch, &observation);
  }
  CloseMeasurementFile(gpb);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = morvelin::fuzz::ScratchFile("fuzz.gpb");
  if (!morvelin::fuzz::WriteFile(path, data, size)) return 0;
  const int descriptors = morvelin::fuzz::OpenDescriptors();

  // The search target comes from the last bytes, so the file stays whole.
  std::int16_t prn = static_cast<std::int16_t>(size % 33);
  double target_time = 1.0e6;
  if (size >= 10) {
    prn = static_cast<std::int16_t>(data[size - 10] % 40);
    std::int64_t bits = 0;
    std::memcpy(&bits, data + size - 8, 8);
    target_time = static_cast<double>(bits % 700000);
  }
  ReadAll(path, 4096);
  ReadAll(path, 0);
  Search(path, prn, target_time);
  Append(path);
  ReadAll(path, 100);
  MORVELIN_FUZZ_CHECK(morvelin::fuzz::OpenDescriptors() == descriptors);
  return 0;
}
