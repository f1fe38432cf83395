// The Python module's native part (morvelin._morvelin): the converter, the
// RINEX import, the measurement and ephemeris file readers, the quality
// report and the GPS time helpers of the C++ library, with Python's
// errors. The package (python/morvelin/__init__.py) gives them their
// Python shape.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "formats/ephemeris_reader.h"
#include "import/rinex_import.h"
#include "morvelin/converter.h"
#include "morvelin/gpb.h"
#include "morvelin/qc.h"
#include "morvelin/rinex.h"
#include "morvelin/util.h"

namespace py = pybind11;

namespace morvelin::python {
namespace {

// One row of read_gpb and decode: an observation with its epoch's values,
// the columns of `inspect --csv`. The package's GPB_DTYPE has this layout.
#pragma pack(push, 1)
struct GpbRow {
  double epoch_time, corrected_epoch_time, clock_offset;
  std::uint8_t flags;
  double latitude, longitude;
  float height;
  std::uint8_t satellites, prn, lock_time;
  double l1_pseudorange, l1_phase, l1_third, l2_pseudorange, l2_phase;
};
#pragma pack(pop)

constexpr std::uint16_t kReadBlock = 32767;  // the reader's stream buffer, the largest it takes

// Raises the OSError subclass of errno (FileNotFoundError, PermissionError, ...).
[[noreturn]] void ThrowErrno(int error, const std::string& path) {
  errno = error;
  PyErr_SetFromErrnoWithFilename(PyExc_OSError, path.c_str());
  throw py::error_already_set();
}

// A folder opens for reading too; it is refused as the system refuses to read it.
std::FILE* OpenForReading(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) ThrowErrno(errno, path);
  struct stat info {};
  if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
    std::fclose(file);
    ThrowErrno(EISDIR, path);
  }
  return file;
}

// The epoch's rows: one per observation, one with prn 0 and NaN values for
// an epoch without any (as the listing's line with empty columns).
std::size_t AppendRows(const EpochRecord& epoch, const ObservationRecord* observations, GpbRow* out) {
  const std::size_t count = epoch.measurement_count;
  for (std::size_t j = 0; j < (count == 0 ? 1 : count); ++j) {
    GpbRow& row = out[j];
    row.epoch_time = epoch.epoch_time, row.corrected_epoch_time = epoch.corrected_epoch_time;
    row.clock_offset = epoch.clock_offset, row.flags = epoch.epoch_flags;
    row.latitude = epoch.latitude, row.longitude = epoch.longitude, row.height = epoch.height;
    row.satellites = epoch.measurement_count;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const ObservationRecord* o = count == 0 ? nullptr : &observations[j];
    row.prn = o ? o->prn : 0, row.lock_time = o ? o->lock_time : 0;
    row.l1_pseudorange = o ? o->l1_pseudorange : nan, row.l1_phase = o ? o->l1_phase : nan;
    row.l1_third = o ? o->l1_third : nan;
    row.l2_pseudorange = o ? o->l2_pseudorange : nan, row.l2_phase = o ? o->l2_phase : nan;
  }
  return count == 0 ? 1 : count;
}

void CheckRowType(const py::dtype& dtype) {
  if (static_cast<std::size_t>(dtype.itemsize()) != sizeof(GpbRow))
    throw py::type_error("the row type does not have the layout of a measurement row");
}

py::dict HeaderDict(const GpbHeader& h) {
  char created[32];
  std::snprintf(created, sizeof created, "%04d-%02d-%02d %02d:%02d:%02d", h.creation_year + 1900,
                h.creation_month + 1, h.creation_day, h.creation_hour, h.creation_minute, h.creation_second);
  py::dict header;
  header["receiver_type"] = h.receiver_type;
  header["receiver_type_name"] = ReceiverTypeName(h.receiver_type);
  header["channel_count"] = h.channel_count;
  header["created"] = std::string(created);
  header["creation_parameter"] = h.creation_parameter;
  header["file_name"] = std::string(h.file_name, strnlen(h.file_name, sizeof h.file_name));
  return header;
}

// The file's rows into an array allocated once for the most rows its size
// allows (an observation record is the smallest thing a row comes from),
// then cut to the rows read.
py::tuple ReadGpb(const std::string& path, const py::dtype& dtype) {
  CheckRowType(dtype);
  std::FILE* stream = OpenForReading(path);
  std::fseek(stream, 0, SEEK_END);
  const long size = std::ftell(stream);
  std::rewind(stream);
  // The header as stored (the reader's handle holds the name it was given).
  GpbHeader stored{};
  const bool whole = std::fread(&stored, sizeof stored, 1, stream) == 1;
  std::rewind(stream);
  const std::string name = path.substr(path.find_last_of('/') + 1);
  Result<MeasurementFile*> opened = AdoptGpb(stream, name.c_str(), kReadBlock);
  if (!opened.Ok()) throw py::value_error(opened.Message());
  std::unique_ptr<MeasurementFile, void (*)(MeasurementFile*)> file(*opened, [](MeasurementFile* f) {
    (void)CloseMeasurementFile(f);
  });
  const std::size_t capacity = static_cast<std::size_t>(size > 0 ? size : 0) / sizeof(ObservationRecord) + 1;
  py::array rows(dtype, py::array::ShapeContainer{static_cast<py::ssize_t>(capacity)});
  auto* out = static_cast<GpbRow*>(rows.mutable_data());
  std::vector<ObservationRecord> observations(file->header.channel_count > 0 ? file->header.channel_count : 1u);
  std::size_t used = 0;
  Result<bool> read = true;
  {
    py::gil_scoped_release released;
    EpochRecord epoch{};
    while ((read = ReadGpbEpoch(file.get(), &epoch, observations.data())).Ok() && *read) {
      if (used + std::max<std::size_t>(epoch.measurement_count, 1) > capacity) break;
      used += AppendRows(epoch, observations.data(), out + used);
    }
  }
  if (!read.Ok()) throw py::value_error(read.Message());
  rows.resize({static_cast<py::ssize_t>(used)}, false);
  return py::make_tuple(rows, HeaderDict(whole ? stored : file->header));
}

py::list ReadEpp(const std::string& path) {
  std::fclose(OpenForReading(path));
  const Result<std::vector<gnss::BroadcastEphemeris>> read = ReadEphemerisFile(path);
  if (!read.Ok()) throw py::value_error(read.Message());
  py::list out;
  for (const gnss::BroadcastEphemeris& e : *read)
    out.append(py::make_tuple(e.prn, e.week, e.toe, e.toc, e.sqrt_a, e.e, e.i0, e.omega0, e.omega, e.m0,
                              e.delta_n, e.idot, e.omega_dot, e.cuc, e.cus, e.crc, e.crs, e.cic, e.cis, e.af0,
                              e.af1, e.af2, e.tgd, e.iode, e.iodc, e.health, e.ura));
  return out;
}

// ---------------------------------------------------------------------------
// Conversion
// ---------------------------------------------------------------------------

// The caller's progress callable, called with the GIL taken; an exception it
// raises stops the run and is raised again once the run has ended.
class Progress : public ConversionObserver {
 public:
  Progress(py::object callable, std::atomic<std::int32_t>& abort) : callable_(std::move(callable)), abort_(abort) {}
  void OnProgress(std::int64_t position, std::int64_t length) override {
    if (callable_.is_none() || error_) return;
    py::gil_scoped_acquire acquired;
    try {
      callable_(position, length);
    } catch (py::error_already_set& e) {
      error_ = std::move(e);
      abort_.store(1);
    }
  }
  void RaiseIfFailed() {
    if (error_) throw std::move(*error_);
  }

 private:
  py::object callable_;
  std::atomic<std::int32_t>& abort_;
  std::optional<py::error_already_set> error_;
};

// Epochs of a run in rows, and where each epoch begins.
class RowSink : public ConversionSink {
 public:
  void OnEpoch(const EpochEvent& e) override {
    starts.push_back(rows.size());
    rows.resize(rows.size() + std::max<std::size_t>(e.observations.size(), 1));
    EpochRecord epoch = *e.epoch;
    epoch.measurement_count = static_cast<std::uint8_t>(e.observations.size());
    AppendRows(epoch, e.observations.data(), &rows[starts.back()]);
  }
  std::vector<GpbRow> rows;
  std::vector<std::size_t> starts;
};

struct ConvertOptions {
  std::string output_dir, name;
  std::optional<std::string> rinex;
  bool qc = false, kinematic = false, atomic = true, host_files = true;
  py::object progress = py::none();
};

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }
std::string Stem(const std::string& name) { return name.substr(0, name.rfind('.')); }

// Where a run's RINEX files go, what names them when the data does not,
// and the GPS week of the first epoch when the input knows it.
struct RinexPlace {
  std::string folder, fallback_name;
  std::optional<std::int32_t> week;
};

std::unique_ptr<ConversionSink> MakeRinex(const ConvertOptions& options, const RinexPlace& place,
                                          RinexOutputs* outputs, OutputSet* set) {
  RinexOptions rinex;
  if (!ParseRinexVersion(*options.rinex, &rinex.version))
    throw py::value_error("Error: RINEX version must be 3.04 or 2.11, not " + *options.rinex);
  rinex.program = "morvelin " MORVELIN_VERSION;
  rinex.fallback_name = place.fallback_name;
  rinex.week = place.week;
  Result<std::unique_ptr<ConversionSink>> sink = MakeRinexSink(rinex, place.folder, outputs, set);
  if (!sink.Ok()) throw py::value_error(sink.Message());
  return std::move(*sink);
}

py::dict OutcomeDict(const ConversionOutcome& o, const RinexOutputs& rinex) {
  py::dict d;
  d["result"] = o.result == ConversionResult::kDone ? "done" : "failed";
  d["stopped"] = o.stopped;
  d["counts"] = py::dict(py::arg("epochs") = o.counts.epochs, py::arg("ephemerides") = o.counts.ephemerides,
                         py::arg("station_lines") = o.counts.station_lines, py::arg("events") = o.counts.events);
  d["damage"] = py::dict(py::arg("skipped_bytes") = o.damage.skipped_bytes,
                         py::arg("invalid_types") = o.damage.invalid_types,
                         py::arg("dropped_epochs") = o.damage.dropped_epochs, py::arg("cut_record") = o.damage.cut_record);
  d["failure"] = o.failure;
  d["reason"] = o.reason;
  py::list outputs;
  for (const std::string& path : o.outputs)
    if (!path.empty()) outputs.append(path);
  for (const std::string& path : {rinex.observation_path, rinex.navigation_path})
    if (!path.empty()) outputs.append(path);
  d["outputs"] = outputs;
  d["measurement_records"] = o.measurement_records;
  return d;
}

using Converter = std::function<ConversionOutcome(const ConversionRequest&)>;

// One run of a request whose input and outputs are set: the options'
// further sinks attached, the GIL released while convert runs and the
// outputs of set are put into place.
py::dict Execute(ConversionRequest& request, const ConvertOptions& options, std::optional<OutputSet>& set,
                 const RinexPlace& place, RowSink* rows, const Converter& convert = Convert) {
  request.output_set = set ? &*set : nullptr;
  RinexOutputs rinex_outputs;
  std::unique_ptr<ConversionSink> rinex = options.rinex ? MakeRinex(options, place, &rinex_outputs, request.output_set)
                                                        : nullptr;
  if (rinex) request.sinks.push_back(rinex.get());
  std::unique_ptr<QcSink> qc = options.qc ? MakeQcSink(QcOptions{}) : nullptr;
  if (qc) request.sinks.push_back(qc.get());
  if (rows) request.sinks.push_back(rows);
  std::atomic<std::int32_t> abort{0};
  Progress progress(options.progress, abort);
  request.observer = &progress;
  request.abort = &abort;
  ConversionOutcome outcome;
  Status committed;
  {
    py::gil_scoped_release released;
    outcome = convert(request);
    // Stopped: only a progress callable that raised sets the flag; nothing is kept.
    if (set && outcome.result == ConversionResult::kDone && !outcome.stopped) committed = set->Commit();
  }
  progress.RaiseIfFailed();
  if (!committed.Ok()) outcome.result = ConversionResult::kFailed, outcome.failure = committed.Message(),
                       outcome.reason = committed.Reason();
  py::dict d = OutcomeDict(outcome, rinex_outputs);
  d["qc"] = qc && outcome.result == ConversionResult::kDone ? py::object(py::str(QcReportJson(qc->Report())))
                                                           : py::object(py::none());
  return d;
}

// One run: a file (path) or bytes in memory (data, outputs kept in memory
// too).
py::dict Run(const std::optional<std::string>& path, const std::optional<py::bytes>& data, const ConvertOptions& options,
             RowSink* rows = nullptr) {
  std::string_view bytes;
  if (data) bytes = std::string_view(*data);
  const std::string host_name = !options.name.empty() ? options.name : path ? BaseName(*path) : "";
  MemoryOutputs memory;
  std::optional<OutputSet> set;
  if (!path) set.emplace(host_name, nullptr, &memory);
  else if (options.atomic && options.host_files) set.emplace(*path);
  ConversionRequest request;
  if (path) request.input = FileInput{*path};
  else request.input = MemoryInput{{reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, host_name};
  request.host_name = host_name;
  request.output_dir = options.output_dir;
  request.kinematic = options.kinematic;
  request.host_files = options.host_files;
  RinexPlace place{options.output_dir, Stem(host_name), std::nullopt};
  if (place.folder.empty() && path && path->find('/') != std::string::npos) place.folder = path->substr(0, path->rfind('/'));
  py::dict d = Execute(request, options, set, place, rows);
  py::dict files;
  for (const auto& [name, content] : memory.Files()) files[py::str(BaseName(name))] = py::bytes(content);
  d["files"] = files;
  return d;
}

// A RINEX import: the records the import makes from the observation and
// navigation files, converted as a receiver's raw data (src/import), with
// the outputs and further sinks of a conversion and the import's counts.
py::dict ImportRinex(const std::string& observation, const std::vector<std::string>& navigation,
                     const ConvertOptions& options, bool lenient) {
  std::fclose(OpenForReading(observation));
  for (const std::string& path : navigation) std::fclose(OpenForReading(path));
  import::RinexImport source;
  Status opened;
  {
    py::gil_scoped_release released;
    opened = source.Open(observation, navigation, lenient);
  }
  if (!opened.Ok()) throw py::value_error(opened.Message());
  const std::string base = import::ImportOutputBase(observation, options.output_dir, options.name);
  std::optional<OutputSet> set;
  if (options.atomic) {
    set.emplace(observation);
    for (const std::string& path : navigation) set->AddInput(path);
  }
  ConversionRequest request;
  request.output_base = base;
  const RinexPlace place{base.substr(0, base.rfind('/')), BaseName(base),
                         source.FirstWeek() >= 0 ? std::optional(source.FirstWeek()) : std::nullopt};
  py::dict d = Execute(request, options, set, place, nullptr, [&](const ConversionRequest& r) {
    return import::ConvertImport(source, observation, r);
  });
  if (!source.Failure().Ok()) throw py::value_error(source.Failure().Message());
  const import::ImportCounts c = source.Counts();
  d["imported"] = py::dict(
      py::arg("other_systems") = c.observation.other_systems + c.navigation.other_systems,
      py::arg("left_out") = c.left_out, py::arg("without_l1_code") = c.without_l1_code,
      py::arg("second_l1_code") = c.second_l1_code, py::arg("slip_records") = c.observation.slip_records,
      py::arg("duplicate_ephemerides") = c.navigation.duplicates, py::arg("skipped_epochs") = c.observation.skipped_epochs,
      py::arg("skipped_lines") = c.observation.skipped_lines, py::arg("skipped_ephemerides") = c.navigation.skipped_records);
  return d;
}

// Every epoch of raw data, converted without writing a file: the rows and
// the index of each epoch's first row.
py::tuple Decode(const std::optional<std::string>& path, const std::optional<py::bytes>& data,
                 const py::dtype& dtype, bool kinematic) {
  CheckRowType(dtype);
  if (path) std::fclose(OpenForReading(*path));
  ConvertOptions options;
  options.host_files = false;
  options.kinematic = kinematic;
  options.name = path ? "" : "memory.dat";
  RowSink sink;
  py::dict outcome = Run(path, data, options, &sink);
  if (outcome["result"].cast<std::string>() != "done")
    throw py::value_error(outcome["failure"].cast<std::string>());
  py::array rows(dtype, py::array::ShapeContainer{static_cast<py::ssize_t>(sink.rows.size())});
  if (!sink.rows.empty()) std::memcpy(rows.mutable_data(), sink.rows.data(), sink.rows.size() * sizeof(GpbRow));
  return py::make_tuple(rows, sink.starts, outcome);
}

// The quality report of a raw data file (converted in memory) or of a
// measurement file with its ephemeris file, as JSON text.
std::string QcJson(const std::string& path, const std::string& epp, bool measurement_file, double mask) {
  std::fclose(OpenForReading(path));
  QcOptions options;
  options.elevation_mask = mask;
  if (measurement_file) {
    const Result<QcReport> built = [&] {
      py::gil_scoped_release released;
      return BuildQcReportFromFiles(path, epp, options);
    }();
    if (!built.Ok()) throw py::value_error(built.Message());
    return QcReportJson(*built);
  }
  std::unique_ptr<QcSink> sink = MakeQcSink(options);
  ConversionRequest request;
  request.input = FileInput{path};
  request.host_files = false;
  request.sinks = {sink.get()};
  ConversionOutcome outcome;
  {
    py::gil_scoped_release released;
    outcome = Convert(request);
  }
  if (outcome.result != ConversionResult::kDone) throw py::value_error(outcome.failure);
  if (outcome.measurement_records == 0)
    throw py::value_error(path + ": not a raw data file (no measurement record in it), nor a measurement file (.gpb)");
  return QcReportJson(sink->Report());
}

void DefineGpsTime(py::module_& m) {
  py::module_ t = m.def_submodule("gps_time", "GPS time and calendar (no leap seconds)");
  t.def("to_calendar", [](std::int32_t week, double seconds_of_week) {
    std::int32_t year = 0, month = 0, day = 0, hours = 0, minutes = 0;
    double seconds = 0.0;
    GpsTimeToCalendar(week, seconds_of_week, year, month, day, hours, minutes, seconds);
    return py::make_tuple(year, month, day, hours, minutes, seconds);
  }, py::arg("week"), py::arg("seconds_of_week"));
  t.def("from_calendar", [](std::int32_t year, std::int32_t month, std::int32_t day, std::int32_t hour,
                            std::int32_t minute, double second) {
    std::int32_t week = 0;
    double seconds_of_week = 0.0;
    CalendarToGpsFullWeek(hour, minute, second, month, day, year, week, seconds_of_week);
    return py::make_tuple(week, seconds_of_week);
  }, py::arg("year"), py::arg("month"), py::arg("day"), py::arg("hour") = 0, py::arg("minute") = 0,
        py::arg("second") = 0.0);
  t.def("to_mjd", [](std::int32_t week, double seconds_of_week) {
    std::int32_t mjd = 0;
    double fraction = 0.0;
    GpsTimeToMjd(week, seconds_of_week, mjd, fraction);
    return py::make_tuple(mjd, fraction);
  }, py::arg("week"), py::arg("seconds_of_week"));
  t.def("year_day", [](std::int32_t week, double seconds_of_week) {
    std::int32_t year = 0, day_of_year = 0, hours = 0, minutes = 0;
    double seconds = 0.0;
    GpsTimeToYearDay(week, seconds_of_week, year, day_of_year, hours, minutes, seconds);
    return py::make_tuple(year, day_of_year, hours, minutes, seconds);
  }, py::arg("week"), py::arg("seconds_of_week"));
  t.def("parse", [](const std::string& time_text, const std::string& date_text) {
    double seconds = 0.0;
    if (ParseGpsTime(time_text.c_str(), date_text.c_str(), seconds) != 0)
      throw py::value_error("not a time hh:mm:ss and a date mm/dd/yyyy: " + time_text + " " + date_text);
    return seconds;
  }, py::arg("time_text"), py::arg("date_text"));
}

}  // namespace

void DefineModule(py::module_& m) {
  m.doc() = "morvelin's C++ library: conversion, measurement and ephemeris files, quality report";
  m.attr("__version__") = MORVELIN_VERSION;
  m.attr("ROW_SIZE") = sizeof(GpbRow);
  m.def("convert", [](const std::string& path, const std::string& output_dir, const std::string& name,
                      std::optional<std::string> rinex, bool qc, bool kinematic, bool atomic, py::object progress) {
    std::fclose(OpenForReading(path));
    return Run(path, std::nullopt, ConvertOptions{output_dir, name, rinex, qc, kinematic, atomic, true, progress});
  });
  m.def("convert_bytes", [](const py::bytes& data, const std::string& name, std::optional<std::string> rinex,
                            bool qc, bool kinematic, py::object progress) {
    return Run(std::nullopt, data, ConvertOptions{"", name, rinex, qc, kinematic, true, true, progress});
  });
  m.def("import_rinex", [](const std::string& observation, const std::vector<std::string>& navigation,
                           const std::string& output_dir, const std::string& name, std::optional<std::string> rinex,
                           bool qc, bool lenient, bool atomic) {
    return ImportRinex(observation, navigation, ConvertOptions{output_dir, name, rinex, qc, false, atomic}, lenient);
  });
  m.def("read_gpb", &ReadGpb);
  m.def("read_epp", &ReadEpp);
  m.def("decode", &Decode);
  m.def("qc_json", &QcJson);
  DefineGpsTime(m);
}

}  // namespace morvelin::python

PYBIND11_MODULE(_morvelin, m) { morvelin::python::DefineModule(m); }
