// The listing of a measurement file: header, epoch table or CSV, the jump to
// a satellite and the report of a damaged file.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "base/message.h"
#include "listing_internal.h"

namespace morvelin::cli {

namespace detail {

std::string_view StoredName(const GpbHeader& header) {
  std::size_t length = 0;
  while (length < sizeof header.file_name && header.file_name[length] != '\0') ++length;
  return {header.file_name, length};
}

}  // namespace detail

namespace {

using detail::LineText;

void TwoDigits(TextBuilder& text, int value) {
  if (value >= 0 && value < 10) text.Char('0');
  text.Int(value);
}

// The header as it lies on disk: the reader's handle replaces the stored
// file name with the name it was opened by.
bool ReadStoredHeader(const std::string& path, GpbHeader& header) {
  std::ifstream in(path, std::ios::binary);
  return static_cast<bool>(in.read(reinterpret_cast<char*>(&header), sizeof header));
}

// A time as it was given, "100.000" or "2291:100.000".
void AppendTime(TextBuilder& text, const GpsTimeArgument& time) {
  if (time.week) text.Int(*time.week).Char(':');
  text.Fixed(time.seconds, 3);
}

// "No epoch ... in PATH" for options that matched nothing.
std::string NoMatch(const InspectOptions& options, const std::string& path) {
  LineText text;
  text.Str("No epoch");
  if (options.from && options.to) {
    text.Str(" from ");
    AppendTime(text, *options.from);
    text.Str(" to ");
    AppendTime(text, *options.to);
  } else if (options.from) {
    text.Str(" at or after ");
    AppendTime(text, *options.from);
  } else if (options.to) {
    text.Str(" at or before ");
    AppendTime(text, *options.to);
  }
  if (options.prn) {
    text.Str(" observes PRN ").Int(*options.prn);
  } else {
    text.Str(" found");
  }
  text.Str(" in ").Str(path).Char('\n');
  return std::string(text.View());
}

void AppendRow(TextBuilder& text, const EpochRecord& epoch, const ObservationRecord* o, bool csv) {
  if (csv) {
    text.Fixed(epoch.epoch_time, 3).Char(',').Fixed(epoch.corrected_epoch_time, 9).Char(',');
    text.Fixed(epoch.clock_offset, 3).Char(',').Int(epoch.epoch_flags).Char(',');
    text.Fixed(epoch.latitude, 9).Char(',').Fixed(epoch.longitude, 9).Char(',');
    text.Fixed(epoch.height, 3).Char(',').Int(epoch.measurement_count).Char(',');
    if (o == nullptr) {
      text.Str(",,,,,,");
    } else {
      text.Int(o->prn).Char(',').Int(o->lock_time).Char(',').Fixed(o->l1_pseudorange, 3).Char(',');
      text.Fixed(o->l1_phase, 3).Char(',').Fixed(o->l1_third, 3).Char(',');
      text.Fixed(o->l2_pseudorange, 3).Char(',').Fixed(o->l2_phase, 3);
    }
  } else {
    text.Fixed(epoch.epoch_time, 3, 12).Int(epoch.epoch_flags, 3).Fixed(epoch.latitude, 8, 13);
    text.Fixed(epoch.longitude, 8, 14).Fixed(epoch.height, 3, 10);
    if (o == nullptr) {
      text.Str("  no satellites");
    } else {
      text.Int(o->prn, 4).Int(o->lock_time, 5).Fixed(o->l1_pseudorange, 3, 16).Fixed(o->l1_phase, 3, 16);
      text.Fixed(o->l2_pseudorange, 3, 16).Fixed(o->l2_phase, 3, 16);
    }
  }
  text.Char('\n');
}

// The listing's end once no epoch is left to list (read: the reader's last
// answer, an epoch when --to ended the listing). The reader takes a cut
// epoch record for the end of the file; a listing says that the file ends
// in the middle of one.
int Finish(const std::string& path, const InspectOptions& options, const Result<bool>& read, std::int64_t before,
           bool listed, std::ostream& err) {
  if (!read.Ok()) {
    err << read.Message() << '\n';
    return kInspectDamaged;
  }
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (!*read && !error && before >= 0 && size > static_cast<std::uintmax_t>(before)) {
    LineText text;
    text.Str("Error: ").Int(static_cast<std::int64_t>(size - static_cast<std::uintmax_t>(before)));
    text.Str(" bytes at the end of ").Str(path).Str(" do not make an epoch record");
    err << text.View() << '\n';
    return kInspectDamaged;
  }
  const bool filtered = options.prn || options.from || options.to;
  if (filtered && !listed) {
    err << NoMatch(options, path);
    return kInspectNotFound;
  }
  return kInspectDone;
}

// Lists the epochs from the current position on.
int ListEpochs(MeasurementFile& file, const std::string& path, const InspectOptions& options,
               const detail::SessionSpan& span, detail::SessionClock& clock, std::vector<ObservationRecord>& room,
               std::ostream& out, std::ostream& err) {
  bool listed = false;
  for (;;) {
    const std::int64_t before = Tell(file.stream);
    EpochRecord epoch{};
    const Result<bool> read = ReadGpbEpoch(&file, &epoch, room.data());
    if (!read.Ok() || !*read || (span.to && clock.Time(epoch.epoch_time) > *span.to)) {
      out.flush();
      return Finish(path, options, read, before, listed, err);
    }
    const std::string rows = FormatEpochRows(epoch, room.data(), options.csv, options.prn);
    listed = listed || !rows.empty();
    // Output that cannot be written (a reader gone, a full disk) ends the
    // listing; the caller's check of the stream says why.
    if (!(out << rows)) return kInspectDone;
  }
}

}  // namespace

std::string FormatGpbHeader(const std::string& path, const GpbHeader& header) {
  LineText text;
  text.Str("Measurement file ").Str(path).Char('\n');
  text.Str("  receiver type  ").Int(header.receiver_type).Str(" (").Str(ReceiverTypeName(header.receiver_type));
  text.Str(")\n  channels       ").Int(header.channel_count).Char('\n');
  text.Str("  created        ").Int(header.creation_year + 1900).Char('-');
  TwoDigits(text, header.creation_month + 1);
  text.Char('-');
  TwoDigits(text, header.creation_day);
  text.Char(' ');
  TwoDigits(text, header.creation_hour);
  text.Char(':');
  TwoDigits(text, header.creation_minute);
  text.Char(':');
  TwoDigits(text, header.creation_second);
  text.Str(" (local time)\n  file name      ").Str(detail::StoredName(header)).Char('\n');
  return std::string(text.View());
}

std::string FormatEpochRows(const EpochRecord& epoch, const ObservationRecord* observations, bool csv,
                            std::optional<int> only_prn) {
  std::string rows;
  LineText text;
  const int count = epoch.measurement_count;
  for (int j = 0; j < (count == 0 ? 1 : count); ++j) {
    const ObservationRecord* o = count == 0 ? nullptr : &observations[j];
    if (only_prn && (o == nullptr || o->prn != *only_prn)) continue;
    text.Clear();
    AppendRow(text, epoch, o, csv);
    rows.append(text.View());
  }
  return rows;
}

int ListMeasurementFile(const std::string& path, const InspectOptions& options, std::ostream& out,
                        std::ostream& err) {
  const Result<MeasurementFile*> opened = detail::OpenListedFile(path);
  if (!opened.Ok()) {
    err << opened.Message() << '\n';
    return kInspectDamaged;
  }
  const detail::ListedFile file(*opened);
  // Room for as many observation records as the header allows.
  std::vector<ObservationRecord> room(file->header.channel_count > 0 ? file->header.channel_count : 1u);
  Result<std::optional<detail::SessionSpan>> resolved = std::optional<detail::SessionSpan>(detail::SessionSpan{});
  if (options.from || options.to) resolved = detail::ResolveSpan(*file, path, options, room);
  if (resolved.Ok() && !*resolved) {
    err << "Error: WEEK:SECONDS needs the GPS week of " << path
        << ", which comes from the ephemeris file (.epp) beside it: none there; give seconds of the week\n";
    return kInspectUsage;
  }
  if (options.csv) {
    out << kEpochCsvHeading;
  } else {
    GpbHeader stored{};
    if (!ReadStoredHeader(path, stored)) stored = file->header;
    out << FormatGpbHeader(path, stored) << '\n' << kEpochTableHeading;
  }
  if (!resolved.Ok()) {
    err << resolved.Message() << '\n';
    return kInspectDamaged;
  }
  const detail::SessionSpan span = **resolved;
  detail::SessionClock clock;
  if (options.prn || options.from) {
    const Result<detail::Jump> jump = detail::JumpToSatellite(*file, options, span, clock, room);
    if (!jump.Ok()) {
      err << jump.Message() << '\n';
      return kInspectDamaged;
    }
    if (*jump == detail::Jump::kNotFound) {
      err << NoMatch(options, path);
      return kInspectNotFound;
    }
  }
  return ListEpochs(*file, path, options, span, clock, room, out, err);
}

}  // namespace morvelin::cli
