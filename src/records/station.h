// Station, antenna and position records (types 5, 6, 8, 11, 12, 15, 16).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "records/decoder.h"

namespace morvelin {

// Decodes one record of these types; returns the payload bytes left to
// skip (never negative).
std::int32_t DecodeStationRecord(DecodeContext& context, const RecordHeader& header);

// A fixed-width text field of a record: the bytes of the field that the
// record covers (fewer than the width when the record ends inside it), or
// nullopt for a field that is not given at all.
using StationField = std::optional<std::span<const std::uint8_t>>;

// One station line of an entry sub-record. A height text (up to 8 bytes,
// ending at a NUL) becomes the current antenna height (0.0 when it holds no
// number) with time as its time. Without a point name no line is reported.
// The name is up to 8 bytes, the description the first count bytes (count
// clamped to 0..32), each ending early at a NUL.
void ReportStationLine(DecodeContext& context, StationField point_name, StationField height_text,
                       StationField description, std::int32_t count, double time);

// The end-of-run "Entered at start" lines: the current antenna height, then
// the logged antenna height, each when non-zero.
void ReportEndOfRunStationLines(DecodeContext& context);

// Splits an angle in decimal degrees into degrees, minutes and
// single-precision seconds, as AngleToDms splits it within its circle
// (60.0 seconds carry into the minutes once; an angle that is not finite
// gives zeros).
void DegreesToDms(double angle, std::int32_t* degrees, std::int32_t* minutes, float* seconds);

}  // namespace morvelin
