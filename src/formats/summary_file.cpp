#include "formats/summary_file.h"

#include <cstdint>
#include <iterator>
#include <string_view>

#include "base/text_builder.h"

namespace morvelin {

namespace {

// Room for two doubles of any size printed in full with "%.3lf" (about 320
// characters each): damaged data must not cut a line.
constexpr std::size_t kLineCapacity = 1024;

struct ReceiverTypeText {
  std::string_view name;
  std::string_view padding;  // the summary's line pads each name its own way
};

ReceiverTypeText ReceiverType(int type) {
  switch (type) {
    case 4:
      return {"GEODETIC L1/L2", ""};
    case 3:
      return {"SSE", "           "};
    case 2:
      return {"SST", "          "};
    case 1:
      return {"CA-CODE", "      "};
    default:
      return {"UNKNOWN", "       "};
  }
}

// A negative angle of less than one degree keeps its sign: "-0" in the
// degrees' field, which otherwise holds "%4d" of the degrees.
void WriteAngle(TextFile& sum, const char* label, std::int32_t degrees, std::int32_t minutes, float seconds,
                bool negative) {
  FixedText<kLineCapacity> line;
  line.Str(label);
  if (negative && degrees == 0)
    line.Str("  -0");
  else
    line.Int(degrees, 4);
  line.Char(' ').Int(minutes, 2).Char(' ');
  line.Fixed(static_cast<double>(seconds), 2, 5).Char('\n');
  sum.Write(line.View());
}

}  // namespace

std::string_view SummaryDayText(std::string_view name) {
  constexpr std::size_t kDayStart = 4;
  constexpr std::size_t kDayLength = 3;
  if (name.size() <= kDayStart) return {};
  return name.substr(kDayStart, kDayLength);
}

const char* ReceiverTypeName(std::uint8_t receiver_type) { return ReceiverType(receiver_type).name.data(); }

void WriteSummaryBlock(TextFile& sum, const RunSummary& summary) {
  const SessionInfo& session = *summary.session;
  FixedText<kLineCapacity> line;
  line.Str("\nSTA: ").Str(session.station_name);
  line.Str("   DAY # ").Str(summary.day_text);
  line.Str("   EPOCHS ").Int(summary.measurement_records);
  line.Str("  Start ").Fixed(summary.start_time, 0);
  line.Str("  End ").Fixed(summary.end_time, 0).Char('\n');
  sum.Write(line.View());

  const ReceiverTypeText type = ReceiverType(session.receiver_type);
  line.Clear();
  line.Str("RECEIVER TYPE: ").Str(type.name).Str(type.padding).Str("\n\n");
  sum.Write(line.View());

  WriteAngle(sum, "LAT:    ", summary.latitude_degrees, summary.latitude_minutes, summary.latitude_seconds,
             summary.latitude_negative);
  WriteAngle(sum, "LONG:   ", summary.longitude_degrees, summary.longitude_minutes, summary.longitude_seconds,
             summary.longitude_negative);

  line.Clear();
  line.Str("HEIGHT: ").Fixed(session.height, 3).Char('\n');
  line.Str("Clock O/S: ").Fixed(summary.clock_offset, 3).Char('\n');
  sum.Write(line.View());

  sum.Write("\n\n FLAGS SUMMARY :\n");
  sum.Write("  L1_only  L1 and L2  L1 Pcode  L1 Ca  Full l2  L2 Squa  L1 Invalid  F3 val.\n");

  // Each number follows a fixed run of blanks, so wider numbers push the
  // rest of the line to the right rather than being cut or aligned.
  const FlagCounters& counters = summary.counters;
  const std::int32_t values[] = {counters.l1_only,  counters.l1_and_l2, counters.l1_pcode,   counters.l1_ca,
                                 counters.full_l2,  counters.l2_squared, counters.l1_invalid, counters.f3_valid};
  constexpr std::string_view kBlanks[] = {"   ", "        ", "         ", "      ",
                                          "      ", "       ", "         ", "        "};
  line.Clear();
  for (std::size_t i = 0; i < std::size(values); ++i) line.Str(kBlanks[i]).Int(values[i]);
  line.Char('\n');
  sum.Write(line.View());

  line.Clear();
  line.Str("  Total Number of Observations:  ").Int(summary.total_observations).Str("    \n");
  sum.Write(line.View());
}

}  // namespace morvelin
