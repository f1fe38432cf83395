#include "convert/summary.h"

#include <cstdint>
#include <cstring>
#include <iterator>
#include <string_view>

#include "util/text_builder.h"

namespace morvelin {

namespace {

constexpr std::size_t kDayStart = 4;  // the day of year sits in characters 5 to 7 of the name
constexpr std::size_t kDayLength = 3;
// Room for two doubles of any size printed in full with "%.3lf" (about 320
// characters each): damaged data must not cut a line.
constexpr std::size_t kLineCapacity = 1024;

std::string_view ReceiverTypeLine(const Run& run) {
  // Without a measurement file there is no receiver type to name.
  const int type = run.gpb != nullptr ? run.gpb->header.receiver_type : -1;
  switch (type) {
    case 4:
      return "RECEIVER TYPE: GEODETIC L1/L2\n\n";
    case 3:
      return "RECEIVER TYPE: SSE           \n\n";
    case 2:
      return "RECEIVER TYPE: SST          \n\n";
    case 1:
      return "RECEIVER TYPE: CA-CODE      \n\n";
    default:
      return "RECEIVER TYPE: UNKNOWN       \n\n";
  }
}

// The station name field may be full to its last byte: never read past it.
std::string_view StationName(const StationState& station) {
  const char* name = station.station_name;
  const void* end = std::memchr(name, '\0', sizeof station.station_name);
  const std::size_t length =
      end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - name) : sizeof station.station_name;
  return {name, length};
}

std::string_view DayText(const char* path) {
  if (path == nullptr) return {};
  const std::size_t length = std::strlen(path);
  if (length <= kDayStart) return {};
  const std::size_t available = length - kDayStart;
  return {path + kDayStart, available < kDayLength ? available : kDayLength};
}

void WriteAngle(TextFile& sum, const char* label, std::int32_t degrees, std::int32_t minutes, float seconds) {
  FixedText<kLineCapacity> line;
  line.Str(label).Int(degrees, 4).Char(' ').Int(minutes, 2).Char(' ');
  line.Fixed(static_cast<double>(seconds), 2, 5).Char('\n');
  sum.Write(line.View());
}

}  // namespace

void WriteSummary(Run& run, const char* path) {
  TextFile& sum = run.sum;
  const StationState& station = run.state.station;
  const MeasurementState& measurement = run.state.measurement;

  FixedText<kLineCapacity> line;
  line.Str("\nSTA: ").Str(StationName(station));
  line.Str("   DAY # ").Str(DayText(path));
  line.Str("   EPOCHS ").Int(measurement.measurement_epoch_count);
  line.Str("  Start ").Fixed(measurement.start_time, 0);
  line.Str("  End ").Fixed(measurement.end_time, 0).Char('\n');
  sum.Write(line.View());

  sum.Write(ReceiverTypeLine(run));

  WriteAngle(sum, "LAT:    ", station.latitude_degrees, station.latitude_minutes, station.latitude_seconds);
  WriteAngle(sum, "LONG:   ", station.longitude_degrees, station.longitude_minutes, station.longitude_seconds);

  line.Clear();
  line.Str("HEIGHT: ").Fixed(station.height, 3).Char('\n');
  line.Str("Clock O/S: ").Fixed(station.clock_offset, 3).Char('\n');
  sum.Write(line.View());

  sum.Write("\n\n FLAGS SUMMARY :\n");
  sum.Write("  L1_only  L1 and L2  L1 Pcode  L1 Ca  Full l2  L2 Squa  L1 Invalid  F3 val.\n");

  // Each number follows a fixed run of blanks, so wider numbers push the
  // rest of the line to the right rather than being cut or aligned.
  const FlagCounters& counters = measurement.counters;
  const std::int32_t values[] = {counters.l1_only,  counters.l1_and_l2, counters.l1_pcode,   counters.l1_ca,
                                 counters.full_l2,  counters.l2_squared, counters.l1_invalid, counters.f3_valid};
  constexpr std::string_view kBlanks[] = {"   ", "        ", "         ", "      ",
                                          "      ", "       ", "         ", "        "};
  line.Clear();
  for (std::size_t i = 0; i < std::size(values); ++i) line.Str(kBlanks[i]).Int(values[i]);
  line.Char('\n');
  sum.Write(line.View());

  line.Clear();
  line.Str("  Total Number of Observations:  ").Int(measurement.total_observations).Str("    \n");
  sum.Write(line.View());
}

}  // namespace morvelin
