// A small, plausible raw data file: a static occupation with a position
// record, station name and receiver type, an antenna height, station
// entries, an event marker, broadcast ephemerides and one epoch per second
// of eight dual-frequency satellites with a cycle slip and an invalid phase
// along the way. Deterministic: the same epoch count gives the same bytes.
#pragma once

#include <cstdint>
#include <vector>

namespace morvelin::tools {

std::vector<std::uint8_t> MakeSampleRawData(int epochs);

}  // namespace morvelin::tools
