// The listing behind `morvelin inspect` for measurement files: header,
// epoch table or CSV, and the jump to a satellite. Kept apart from the
// command-line parsing (and inline) so that the tests can run it directly.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "base/message.h"
#include "morvelin/gpb.h"
#include "base/file_io.h"
#include "base/text_builder.h"

namespace morvelin::cli {

struct InspectOptions {
  bool csv = false;
  std::optional<int> prn;      // this satellite's rows alone, from its first epoch with an L1 pseudorange
  std::optional<double> from;  // start at the first epoch at or after this time (GPS seconds of the week)
  std::optional<double> to;    // end before the first epoch after this time
};

// Exit codes of the listing.
inline constexpr int kInspectDone = 0;
inline constexpr int kInspectNotFound = 1;  // --prn / --from / --to matched no epoch
inline constexpr int kInspectDamaged = 2;   // unreadable or damaged file

namespace detail {

using LineText = FixedText<1024>;

inline void TwoDigits(TextBuilder& text, int value) {
  if (value >= 0 && value < 10) text.Char('0');
  text.Int(value);
}

inline std::string_view StoredName(const GpbHeader& header) {
  std::size_t length = 0;
  while (length < sizeof header.file_name && header.file_name[length] != '\0') ++length;
  return {header.file_name, length};
}

// The header as it lies on disk: the reader's handle replaces the stored
// file name with the path it was opened by.
inline bool ReadStoredHeader(const std::string& path, GpbHeader& header) {
  std::ifstream in(path, std::ios::binary);
  return static_cast<bool>(in.read(reinterpret_cast<char*>(&header), sizeof header));
}

struct Closer {
  void operator()(MeasurementFile* file) const { CloseMeasurementFile(file); }
};

// The library takes paths of at most 143 characters. A longer one is opened
// as the converter opens its files: by its name, from its own folder; the
// working directory is restored at once.
inline MeasurementFile* OpenListed(const std::string& path) {
  constexpr std::size_t kLibraryPathLimit = 143;
  constexpr std::uint16_t kBufferSize = 16384;
  const std::filesystem::path full(path);
  std::error_code error;
  const std::filesystem::path here = std::filesystem::current_path(error);
  if (path.size() <= kLibraryPathLimit || !full.has_parent_path() || error) {
    return OpenMeasurementFile(path.c_str(), kBufferSize);
  }
  std::filesystem::current_path(full.parent_path(), error);
  if (error) return OpenMeasurementFile(path.c_str(), kBufferSize);
  MeasurementFile* file = OpenMeasurementFile(full.filename().string().c_str(), kBufferSize);
  std::filesystem::current_path(here, error);
  return file;
}

// "No epoch ... in PATH" for filters that matched nothing.
inline std::string NoMatch(const InspectOptions& options, const std::string& path) {
  LineText text;
  text.Str("No epoch");
  if (options.from && options.to) {
    text.Str(" from ").Fixed(*options.from, 3).Str(" to ").Fixed(*options.to, 3);
  } else if (options.from) {
    text.Str(" at or after ").Fixed(*options.from, 3);
  } else if (options.to) {
    text.Str(" at or before ").Fixed(*options.to, 3);
  }
  if (options.prn) {
    text.Str(" observes PRN ").Int(*options.prn);
  } else {
    text.Str(" found");
  }
  text.Str(" in ").Str(path).Char('\n');
  return std::string(text.View());
}

}  // namespace detail

inline std::string FormatGpbHeader(const std::string& path, const GpbHeader& header) {
  detail::LineText text;
  text.Str("Measurement file ").Str(path).Char('\n');
  text.Str("  receiver type  ").Int(header.receiver_type).Str(" (").Str(ReceiverTypeName(header.receiver_type));
  text.Str(")\n  channels       ").Int(header.channel_count).Char('\n');
  text.Str("  created        ").Int(header.creation_year + 1900).Char('-');
  detail::TwoDigits(text, header.creation_month + 1);
  text.Char('-');
  detail::TwoDigits(text, header.creation_day);
  text.Char(' ');
  detail::TwoDigits(text, header.creation_hour);
  text.Char(':');
  detail::TwoDigits(text, header.creation_minute);
  text.Char(':');
  detail::TwoDigits(text, header.creation_second);
  text.Str(" (local time)\n  file name      ").Str(detail::StoredName(header)).Char('\n');
  return std::string(text.View());
}

inline constexpr const char* kEpochTableHeading =
    "  epoch time fl     latitude     longitude    height prn lock  L1 pseudorange        L1 phase"
    "  L2 pseudorange        L2 phase\n";

inline constexpr const char* kEpochCsvHeading =
    "epoch_time,corrected_epoch_time,clock_offset,flags,latitude,longitude,height,satellites,"
    "prn,lock_time,l1_pseudorange,l1_phase,l1_third,l2_pseudorange,l2_phase\n";

// One line per satellite of the epoch; an epoch without satellites still
// gets one line, with the satellite columns left empty. With only_prn, the
// lines of that satellite alone (none when the epoch lacks it).
inline std::string FormatEpochRows(const EpochRecord& epoch, const ObservationRecord* observations, bool csv,
                                   std::optional<int> only_prn = {}) {
  std::string rows;
  detail::LineText text;
  const int count = epoch.measurement_count;
  for (int j = 0; j < (count == 0 ? 1 : count); ++j) {
    text.Clear();
    const ObservationRecord* o = count == 0 ? nullptr : &observations[j];
    if (only_prn && (o == nullptr || o->prn != *only_prn)) continue;
    if (csv) {
      text.Fixed(epoch.epoch_time, 3).Char(',').Fixed(epoch.corrected_epoch_time, 9).Char(',');
      text.Fixed(epoch.clock_offset, 3).Char(',').Int(epoch.epoch_flags).Char(',');
      text.Fixed(epoch.latitude, 9).Char(',').Fixed(epoch.longitude, 9).Char(',');
      text.Fixed(epoch.height, 3).Char(',').Int(count).Char(',');
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
    rows.append(text.View());
  }
  return rows;
}

namespace detail {

enum class Jump { kFound, kNotFound, kFailed };

// The search's own window, mirrored here to step over the epochs a search
// has already looked at.
inline constexpr int kSearchEpochs = 60;
inline constexpr double kSearchWindowSeconds = 1000.0;
// The target handed to each search lies this far after the current epoch,
// so that the current epoch sits well inside the window whatever rounding.
inline constexpr double kTargetLead = 500.0;

inline bool InSearchWindow(double target, double epoch_time) {
  const double ahead = target - epoch_time;
  return ahead >= 0.0 && ahead <= kSearchWindowSeconds;
}

// Reads one epoch; kFound when it was read, otherwise the outcome to give.
inline Jump ReadNext(MeasurementFile& file, EpochRecord& epoch, std::vector<ObservationRecord>& room) {
  int result = ReadMeasurementEpoch(&file, &epoch, room.data());
  if (result == 0) return Jump::kFound;
  return result < 0 ? Jump::kNotFound : Jump::kFailed;
}

inline Jump SeekTo(MeasurementFile& file, std::int64_t position) {
  if (SeekAbsolute(file.stream, position) == 0) return Jump::kFound;
  FixedText<kMessageSize> text;
  text.Str("Error: Unable to seek in ").Str(StoredName(file.header));
  SetLibraryMessage(text.View());
  return Jump::kFailed;
}

// Leaves the position at the first epoch (in file order) at or after from
// and, when a PRN is asked for, at the first such epoch in which that
// satellite has an L1 pseudorange. The search is run window after window:
// each window starts at the current epoch; when it holds no match, the
// epochs it covered are stepped over and the next window starts after them.
inline Jump JumpToSatellite(MeasurementFile& file, const InspectOptions& options,
                            std::vector<ObservationRecord>& room) {
  EpochRecord epoch{};
  while (options.from) {
    const std::int64_t start = Tell(file.stream);
    if (Jump read = ReadNext(file, epoch, room); read != Jump::kFound) return read;
    if (epoch.epoch_time >= *options.from) {
      if (Jump seek = SeekTo(file, start); seek != Jump::kFound) return seek;
      break;
    }
  }
  if (!options.prn) return Jump::kFound;
  for (;;) {
    const std::int64_t start = Tell(file.stream);
    if (Jump read = ReadNext(file, epoch, room); read != Jump::kFound) return read;
    if (Jump seek = SeekTo(file, start); seek != Jump::kFound) return seek;
    const double target = epoch.epoch_time + kTargetLead;
    const int found = FindSatelliteEpoch(&file, static_cast<std::int16_t>(*options.prn), target);
    if (found > 0) return Jump::kFound;
    if (found < 0) return Jump::kFailed;
    if (Tell(file.stream) != start) return Jump::kNotFound;  // the search met the end of the file
    int skipped = 0;
    while (skipped < kSearchEpochs) {
      const std::int64_t position = Tell(file.stream);
      if (Jump read = ReadNext(file, epoch, room); read != Jump::kFound) return read;
      if (!InSearchWindow(target, epoch.epoch_time)) {
        if (Jump seek = SeekTo(file, position); seek != Jump::kFound) return seek;
        break;
      }
      ++skipped;
    }
    // An epoch that no window can hold (a time that is not finite) is passed
    // over, so that every round moves forward.
    if (skipped == 0) {
      if (Jump read = ReadNext(file, epoch, room); read != Jump::kFound) return read;
    }
  }
}

}  // namespace detail

// Lists the measurement file at path: the header and a table (or, with csv,
// a header row and one row per epoch and satellite). A damaged file is listed
// up to the damage, then the reader's text goes to err. The listing ends
// early, as done, once out fails.
inline int ListMeasurementFile(const std::string& path, const InspectOptions& options, std::ostream& out,
                               std::ostream& err) {
  std::unique_ptr<MeasurementFile, detail::Closer> file(detail::OpenListed(path));
  if (!file) {
    err << LibraryMessage() << '\n';
    return kInspectDamaged;
  }
  if (options.csv) {
    out << kEpochCsvHeading;
  } else {
    GpbHeader stored{};
    if (!detail::ReadStoredHeader(path, stored)) stored = file->header;
    out << FormatGpbHeader(path, stored) << '\n' << kEpochTableHeading;
  }
  // Room for as many observation records as the header allows.
  std::vector<ObservationRecord> room(file->header.channel_count > 0 ? file->header.channel_count : 1u);
  if (options.prn || options.from) {
    switch (detail::JumpToSatellite(*file, options, room)) {
      case detail::Jump::kFound:
        break;
      case detail::Jump::kFailed:
        err << LibraryMessage() << '\n';
        return kInspectDamaged;
      case detail::Jump::kNotFound:
        err << detail::NoMatch(options, path);
        return kInspectNotFound;
    }
  }
  const bool filtered = options.prn || options.from || options.to;
  bool listed = false;
  for (;;) {
    const std::int64_t before = Tell(file->stream);
    EpochRecord epoch{};
    const int result = ReadMeasurementEpoch(file.get(), &epoch, room.data());
    if (result == 0 && !(options.to && epoch.epoch_time > *options.to)) {
      const std::string rows = FormatEpochRows(epoch, room.data(), options.csv, options.prn);
      listed = listed || !rows.empty();
      // Output that cannot be written (a reader gone, a full disk) ends the
      // listing; the caller's check of the stream says why.
      if (!(out << rows)) return kInspectDone;
      continue;
    }
    out.flush();
    if (result > 0) {
      err << LibraryMessage() << '\n';
      return kInspectDamaged;
    }
    // The reader takes a cut epoch record for the end of the file; a listing
    // says that the file ends in the middle of one. (result 0: the listing
    // ends before the first epoch after --to.)
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (result < 0 && !error && before >= 0 && size > static_cast<std::uintmax_t>(before)) {
      detail::LineText text;
      text.Str("Error: ").Int(static_cast<std::int64_t>(size - static_cast<std::uintmax_t>(before)));
      text.Str(" bytes at the end of ").Str(path).Str(" do not make an epoch record");
      err << text.View() << '\n';
      return kInspectDamaged;
    }
    if (filtered && !listed) {
      err << detail::NoMatch(options, path);
      return kInspectNotFound;
    }
    return kInspectDone;
  }
}

}  // namespace morvelin::cli
