// The checks of a RINEX export's options before anything is written: every
// header value must fit its field as RINEX 3.04 and 2.11 define it (the
// same widths in both), so that nothing is ever cut to fit.
#include <cmath>
#include <string>
#include <string_view>

#include "base/gnss_constants.h"
#include "base/output_target.h"
#include "base/text_builder.h"
#include "morvelin/rinex.h"
#include "rinex/epoch_selection.h"

namespace morvelin {

namespace {

struct HeaderTextField {
  const char* what;    // in the texts
  const char* option;  // the command line's
  const char* record;  // the RINEX header record
  std::size_t width;
  std::string RinexHeaderFields::*value;
};

// Field widths: MARKER NAME A60, MARKER NUMBER A20, MARKER TYPE A20,
// OBSERVER / AGENCY A20,A40, REC # / TYPE / VERS 3A20, ANT # / TYPE 2A20.
constexpr HeaderTextField kHeaderTextFields[] = {
    {"marker name", "--marker-name", "MARKER NAME", 60, &RinexHeaderFields::marker_name},
    {"marker number", "--marker-number", "MARKER NUMBER", 20, &RinexHeaderFields::marker_number},
    {"marker type", "--marker-type", "MARKER TYPE", 20, &RinexHeaderFields::marker_type},
    {"observer", "--observer", "OBSERVER / AGENCY", 20, &RinexHeaderFields::observer},
    {"agency", "--agency", "OBSERVER / AGENCY", 40, &RinexHeaderFields::agency},
    {"receiver number", "--receiver", "REC # / TYPE / VERS", 20, &RinexHeaderFields::receiver_number},
    {"receiver type", "--receiver", "REC # / TYPE / VERS", 20, &RinexHeaderFields::receiver_type},
    {"receiver version", "--receiver", "REC # / TYPE / VERS", 20, &RinexHeaderFields::receiver_version},
    {"antenna number", "--antenna", "ANT # / TYPE", 20, &RinexHeaderFields::antenna_number},
    {"antenna type", "--antenna", "ANT # / TYPE", 20, &RinexHeaderFields::antenna_type},
};

struct NumberField {
  const char* what;
  const char* option;
  const char* record;
  std::optional<std::array<double, 3>> RinexHeaderFields::*value;
};

constexpr NumberField kNumberFields[] = {
    {"antenna delta", "--antenna-delta", "ANTENNA: DELTA H/E/N", &RinexHeaderFields::antenna_delta},
    {"approximate position", "--approx-position", "APPROX POSITION XYZ", &RinexHeaderFields::approx_position},
};

// A number as F14.4 writes it fits its 14 columns.
bool FitsF14(double value) {
  if (!std::isfinite(value)) return false;
  FixedText<64> text;
  text.Fixed(value, 4, 0);
  return text.Size() <= 14;
}

Status CheckText(const HeaderTextField& field, const std::string& value) {
  for (const char c : value) {
    if (c < ' ' || c > '~')
      return Status::Failed(std::string("Error: the ") + field.what + " (" + field.option + ") must be printable ASCII: " +
                            value);
  }
  if (value.size() <= field.width) return {};
  return Status::Failed(std::string("Error: the ") + field.what + " (" + field.option + ") has " +
                        std::to_string(value.size()) + " characters; its field of " + field.record + " holds " +
                        std::to_string(field.width) + ": " + value);
}

Status CheckSelection(const RinexOptions& options) {
  if (options.interval != 0.0 && !(options.interval >= rinex::kShortestInterval && options.interval <= kSecondsPerDay))
    return Status::Failed("Error: the interval (--interval) must be 0.1 to 86400 seconds");
  for (const auto& time : {options.from, options.to}) {
    if (time && (time->week < 0 || !(time->seconds >= 0.0 && time->seconds < kSecondsPerWeek)))
      return Status::Failed("Error: a time of --from or --to must be a GPS week from 0 and seconds below 604800");
  }
  if (options.from && options.to &&
      rinex::GpsTicks(options.from->week, options.from->seconds) > rinex::GpsTicks(options.to->week, options.to->seconds))
    return Status::Failed("Error: --from lies after --to");
  return {};
}

}  // namespace

Status CheckRinexOptions(const RinexOptions& options) {
  for (const HeaderTextField& field : kHeaderTextFields)
    if (Status checked = CheckText(field, options.header.*field.value); !checked.Ok()) return checked;
  for (const NumberField& field : kNumberFields) {
    const auto& values = options.header.*field.value;
    if (!values) continue;
    for (const double value : *values)
      if (!FitsF14(value))
        return Status::Failed(std::string("Error: the ") + field.what + " (" + field.option +
                              ") has a value that does not fit the F14.4 fields of " + field.record);
  }
  if (!options.header.marker_type.empty() && options.version != RinexVersion::k304)
    return Status::Failed("Error: the marker type (--marker-type) is a RINEX 3 record: RINEX 2.11 has no MARKER TYPE");
  if (options.gzip && !GzipAvailable())
    return Status::Failed("Error: this build writes no gzip files (--gzip): it was made without zlib");
  return CheckSelection(options);
}

}  // namespace morvelin
