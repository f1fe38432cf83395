// The payload of every raw record that is read or written, laid out once.
// The decoders read their fields by these names, and the one record writer
// (framing/record_writer.h) writes them, for the simulator and the tests
// alike. Offsets count from the first byte after the 4-byte header; every
// value is little-endian, reals are IEEE doubles, texts fixed-width and not
// NUL-terminated when full. field_layout.h says how a layout is written.
//
// Adding a record type: docs/development.md.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "framing/field_layout.h"
#include "framing/record_types.h"
#include "morvelin/events.h"

namespace morvelin {

template <std::size_t N>
using TextField = std::array<char, N>;

// text NUL-padded, or cut, to a field of N characters.
template <std::size_t N>
constexpr TextField<N> TextOf(std::string_view text) {
  TextField<N> field{};
  for (std::size_t i = 0; i < N && i < text.size(); ++i) field[i] = text[i];
  return field;
}

// ---- Type 5: station name, or receiver type, told apart by their length.

struct StationNameRecord {
  using Value = StationNameRecord;
  static constexpr std::uint8_t kType = record_type::kStationName, kSubRecord = 0;
  static constexpr std::size_t kSize = 94;
  static constexpr Field kName{2, 5};
  static constexpr void Fields(auto&& at, auto& v) { at(kName, v.name); }

  TextField<5> name{};
  bool operator==(const StationNameRecord&) const = default;
};
static_assert(LayoutHolds<StationNameRecord>());

struct ReceiverTypeRecord {
  using Value = ReceiverTypeRecord;
  static constexpr std::uint8_t kType = record_type::kStationName, kSubRecord = 0;
  static constexpr std::size_t kSize = 60;
  static constexpr Field kReceiverType{36, 1};
  static constexpr void Fields(auto&& at, auto& v) { at(kReceiverType, v.receiver_type); }

  std::uint8_t receiver_type = 0;  // 1 CA-CODE, 2 SST, 3 SSE, 4 GEODETIC L1/L2
  bool operator==(const ReceiverTypeRecord&) const = default;
};
static_assert(LayoutHolds<ReceiverTypeRecord>());

// ---- Type 6: the logged antenna height.

struct AntennaHeightRecord {
  using Value = AntennaHeightRecord;
  static constexpr std::uint8_t kType = record_type::kAntennaHeight, kSubRecord = 0;
  static constexpr std::size_t kSize = 160;
  static constexpr Field kHeight{4, 8};
  static constexpr void Fields(auto&& at, auto& v) { at(kHeight, v.height); }

  double height = 0.0;  // metres
  bool operator==(const AntennaHeightRecord&) const = default;
};
static_assert(LayoutHolds<AntennaHeightRecord>());
static_assert(AntennaHeightRecord::kSize + kHeaderSize == ExpectedRecordLength(record_type::kAntennaHeight));

// ---- Type 7: a time tag. The reader takes kReadSize bytes, then skips what
// the type table's length leaves (78 bytes), whatever the length byte says.

struct TimeTagRecord {
  using Value = TimeTagRecord;
  static constexpr std::uint8_t kType = record_type::kTimeTag, kSubRecord = 0;
  static constexpr std::uint8_t kLengthByte = ExpectedRecordLength(record_type::kTimeTag);
  static constexpr std::size_t kReadSize = 17;
  static constexpr std::size_t kSize = kReadSize + kLengthByte - kHeaderSize;
  static constexpr Field kTime{0, 8};
  static constexpr void Fields(auto&& at, auto& v) { at(kTime, v.seconds); }

  double seconds = 0.0;  // GPS seconds of the week
  bool operator==(const TimeTagRecord&) const = default;
};
static_assert(LayoutHolds<TimeTagRecord>());

// ---- Type 8: an antenna record, noticed but not kept.

struct AntennaNoticeRecord {
  using Value = AntennaNoticeRecord;
  static constexpr std::uint8_t kType = record_type::kAntennaNotice, kSubRecord = 0;
  static constexpr std::size_t kSize = 20;
  static constexpr Field kTime{4, 8}, kHeight{12, 8};
  static constexpr void Fields(auto&& at, auto& v) { at(kTime, v.time_ms), at(kHeight, v.height); }

  double time_ms = 0.0;  // milliseconds of the GPS week
  double height = 0.0;   // metres
  bool operator==(const AntennaNoticeRecord&) const = default;
};
static_assert(LayoutHolds<AntennaNoticeRecord>());
static_assert(AntennaNoticeRecord::kSize + kHeaderSize == ExpectedRecordLength(record_type::kAntennaNotice));

// ---- Type 11: the position. A longer record's further bytes are not used.

struct PositionRecord {
  using Value = PositionRecord;
  static constexpr std::uint8_t kType = record_type::kPosition, kSubRecord = 0;
  static constexpr std::size_t kSize = 32;
  static constexpr Field kLatitude{0, 8}, kLongitude{8, 8}, kHeight{16, 8}, kClockOffset{24, 8};
  static constexpr void Fields(auto&& at, auto& v) {
    at(kLatitude, v.latitude), at(kLongitude, v.longitude), at(kHeight, v.height), at(kClockOffset, v.clock_offset);
  }

  double latitude = 0.0;   // units of 180 degrees (semicircles)
  double longitude = 0.0;  // units of 180 degrees
  double height = 0.0;     // metres
  double clock_offset = 0.0;
  bool operator==(const PositionRecord&) const = default;
};
static_assert(LayoutHolds<PositionRecord>());

// ---- Type 16: station entries, one layout per sub-record (header byte 2).

namespace station_sub_record {
inline constexpr std::uint8_t kStatic = 1;  // motion mode; no fields
inline constexpr std::uint8_t kKinematic = 2;
inline constexpr std::uint8_t kStationEntry = 3;
inline constexpr std::uint8_t kTimeMark = 5;
inline constexpr std::uint8_t kTimeMarkAgain = 27;  // read as sub-record 5
inline constexpr std::uint8_t kDescribedPoint = 29;
inline constexpr std::uint8_t kHeightEntry = 30;
inline constexpr std::uint8_t kPointDescription = 31;
inline constexpr std::uint8_t kHeightOnly = 43;
}  // namespace station_sub_record

struct MotionModeRecord {
  using Value = MotionModeRecord;
  static constexpr std::uint8_t kType = record_type::kStationEntries, kSubRecord = station_sub_record::kStatic;
  static constexpr std::size_t kSize = 0;
  static constexpr void Fields(auto&&, auto&) {}
  bool operator==(const MotionModeRecord&) const = default;
};
static_assert(LayoutHolds<MotionModeRecord>());

struct StationEntryRecord {
  using Value = StationEntryRecord;
  static constexpr std::uint8_t kType = record_type::kStationEntries, kSubRecord = station_sub_record::kStationEntry;
  static constexpr std::size_t kSize = 67;
  static constexpr Field kDescription{0, 50}, kHeightText{50, 8}, kPointName{59, 8};
  static constexpr void Fields(auto&& at, auto& v) {
    at(kDescription, v.description), at(kHeightText, v.height_text), at(kPointName, v.point_name);
  }

  TextField<50> description{};
  TextField<8> height_text{};  // metres, a decimal number
  TextField<8> point_name{};
  bool operator==(const StationEntryRecord&) const = default;
};
static_assert(LayoutHolds<StationEntryRecord>());

// Byte 6 is where the reader ends the text.
struct TimeMarkRecord {
  using Value = TimeMarkRecord;
  static constexpr std::uint8_t kType = record_type::kStationEntries, kSubRecord = station_sub_record::kTimeMark;
  static constexpr std::size_t kSize = 7;
  static constexpr Field kMark{0, 6};
  static constexpr void Fields(auto&& at, auto& v) { at(kMark, v.mark); }

  TextField<6> mark{};  // seconds of the week, a decimal number
  bool operator==(const TimeMarkRecord&) const = default;
};
static_assert(LayoutHolds<TimeMarkRecord>());

struct DescribedPointRecord {
  using Value = DescribedPointRecord;
  static constexpr std::uint8_t kType = record_type::kStationEntries, kSubRecord = station_sub_record::kDescribedPoint;
  static constexpr std::size_t kSize = 58;
  static constexpr Field kDescription{0, 50}, kPointName{50, 8};
  static constexpr void Fields(auto&& at, auto& v) { at(kDescription, v.description), at(kPointName, v.point_name); }

  TextField<50> description{};
  TextField<8> point_name{};
  bool operator==(const DescribedPointRecord&) const = default;
};
static_assert(LayoutHolds<DescribedPointRecord>());

struct HeightEntryRecord {
  using Value = HeightEntryRecord;
  static constexpr std::uint8_t kType = record_type::kStationEntries, kSubRecord = station_sub_record::kHeightEntry;
  static constexpr std::size_t kSize = 33;
  static constexpr Field kHeightText{0, 8}, kHeightType{8, 1}, kPointName{9, 8};
  static constexpr Tail kDescription{33};
  static constexpr void Fields(auto&& at, auto& v) {
    at(kHeightText, v.height_text), at(kHeightType, v.height_type), at(kPointName, v.point_name);
    at(kDescription, v.description);
  }

  TextField<8> height_text{};
  char height_type = 0;  // 'S' uncorrected, 'V' true vertical, else an antenna's letter
  TextField<8> point_name{};
  std::string_view description;  // may be absent
  bool operator==(const HeightEntryRecord&) const = default;
};
static_assert(LayoutHolds<HeightEntryRecord>());

struct PointDescriptionRecord {
  using Value = PointDescriptionRecord;
  static constexpr std::uint8_t kType = record_type::kStationEntries,
                                kSubRecord = station_sub_record::kPointDescription;
  static constexpr std::size_t kSize = 24;
  static constexpr Field kPointName{0, 8};
  static constexpr Tail kDescription{24};
  static constexpr void Fields(auto&& at, auto& v) { at(kPointName, v.point_name), at(kDescription, v.description); }

  TextField<8> point_name{};
  std::string_view description;
  bool operator==(const PointDescriptionRecord&) const = default;
};
static_assert(LayoutHolds<PointDescriptionRecord>());

struct HeightOnlyRecord {
  using Value = HeightOnlyRecord;
  static constexpr std::uint8_t kType = record_type::kStationEntries, kSubRecord = station_sub_record::kHeightOnly;
  static constexpr std::size_t kSize = 8;
  static constexpr Field kHeightText{0, 8};
  static constexpr void Fields(auto&& at, auto& v) { at(kHeightText, v.height_text); }

  TextField<8> height_text{};
  bool operator==(const HeightOnlyRecord&) const = default;
};
static_assert(LayoutHolds<HeightOnlyRecord>());

// ---- Type 17: one epoch of measurements. The fixed part, then as many
// satellite blocks as it counts: each a 4-byte satellite header and a
// 44-byte L1 block, then, when F1 says dual frequency, a 24-byte L2 block.
// The length byte is not used (a long record's says 255).

inline constexpr int kMeasurementChannels = 12;  // a record of more satellites is no receiver's

struct MeasurementRecord {
  using Value = MeasurementRecord;
  static constexpr std::uint8_t kType = record_type::kMeasurement, kSubRecord = 0;
  static constexpr std::size_t kSize = 17;
  static constexpr Field kReceiverTime{0, 8}, kClockOffset{8, 8}, kSatelliteCount{16, 1};
  static constexpr void Fields(auto&& at, auto& v) {
    at(kReceiverTime, v.receiver_time_ms), at(kClockOffset, v.clock_offset_ms), at(kSatelliteCount, v.satellite_count);
  }

  double receiver_time_ms = 0.0;  // milliseconds of the GPS week
  double clock_offset_ms = 0.0;
  std::uint8_t satellite_count = 0;
  bool operator==(const MeasurementRecord&) const = default;
};
static_assert(LayoutHolds<MeasurementRecord>());

// Flag bits of a satellite header (all others are ignored).
namespace satellite_flag {
inline constexpr std::uint8_t kDualFrequency = 0x01;  // F1: an L2 block follows
inline constexpr std::uint8_t kCycleSlip = 0x02;      // F1: L1 cycle slip at this epoch
inline constexpr std::uint8_t kPhaseValid = 0x10;     // F1
inline constexpr std::uint8_t kFullL2 = 0x20;         // F1: full L2, else squared
inline constexpr std::uint8_t kPCode = 0x01;          // F2: L1 on P-code, else C/A
inline constexpr std::uint8_t kF3Valid = 0x01;        // F3
}  // namespace satellite_flag

// The satellite header and the L1 block.
struct SatelliteBlockLayout {
  using Value = SatelliteMeasurement;
  static constexpr std::size_t kSize = 48;
  static constexpr Field kPrn{0, 1}, kF1{1, 1}, kF2{2, 1}, kF3{3, 1};
  static constexpr Field kPseudorange{16, 8}, kPhase{24, 8}, kThird{32, 8};  // metres, cycles, as received
  static constexpr void Fields(auto&& at, auto& v) {
    at(kPrn, v.prn), at(kF1, v.f1), at(kF2, v.f2), at(kF3, v.f3);
    at(kPseudorange, v.pseudorange), at(kPhase, v.phase), at(kThird, v.third);
  }
};
static_assert(LayoutHolds<SatelliteBlockLayout>());

struct L2BlockLayout {
  using Value = SatelliteMeasurement;
  static constexpr std::size_t kSize = 24;
  static constexpr Field kPhase{8, 8}, kCodeOffset{16, 8};  // cycles; metres from the L1 code
  static constexpr void Fields(auto&& at, auto& v) { at(kPhase, v.l2_phase), at(kCodeOffset, v.l2_code_offset); }
};
static_assert(LayoutHolds<L2BlockLayout>());

// ---- Type 19: event markers, one layout per sub-record (header byte 2).

namespace event_sub_record {
inline constexpr std::uint8_t kExternalEvent = 0;
inline constexpr std::uint8_t kTimeAdjustment = 1;
inline constexpr std::uint8_t kManualEvent = 2;  // laid out as kExternalEvent
inline constexpr std::uint8_t kExternalComment = 3;
inline constexpr std::uint8_t kRs232Event = 4;  // laid out as kExternalEvent
inline constexpr std::uint8_t kExternalEventSecondForm = 7;
}  // namespace event_sub_record

struct MarkedEventRecord {
  using Value = MarkedEventRecord;
  static constexpr std::uint8_t kType = record_type::kEvent, kSubRecord = event_sub_record::kExternalEvent;
  static constexpr std::size_t kSize = 10;
  static constexpr Field kId{0, 2}, kTime{2, 8};
  static constexpr void Fields(auto&& at, auto& v) { at(kId, v.id), at(kTime, v.time_ms); }

  std::uint16_t id = 0;
  double time_ms = 0.0;  // milliseconds of the GPS week
  bool operator==(const MarkedEventRecord&) const = default;
};
static_assert(LayoutHolds<MarkedEventRecord>());

struct TimeAdjustmentRecord {
  using Value = TimeAdjustmentRecord;
  static constexpr std::uint8_t kType = record_type::kEvent, kSubRecord = event_sub_record::kTimeAdjustment;
  static constexpr std::size_t kSize = 10;
  static constexpr Field kTime{0, 8}, kAdjustment{8, 2};
  static constexpr void Fields(auto&& at, auto& v) { at(kTime, v.time_ms), at(kAdjustment, v.adjustment); }

  double time_ms = 0.0;
  std::uint16_t adjustment = 0;
  bool operator==(const TimeAdjustmentRecord&) const = default;
};
static_assert(LayoutHolds<TimeAdjustmentRecord>());

// The comment runs up to the last 4 payload bytes, which are not part of it.
struct CommentRecord {
  using Value = CommentRecord;
  static constexpr std::uint8_t kType = record_type::kEvent, kSubRecord = event_sub_record::kExternalComment;
  static constexpr std::size_t kSize = 2;
  static constexpr Field kId{0, 2};
  static constexpr Tail kComment{2, 4};
  static constexpr void Fields(auto&& at, auto& v) { at(kId, v.id), at(kComment, v.comment); }

  std::uint16_t id = 0;
  std::string_view comment;
  bool operator==(const CommentRecord&) const = default;
};
static_assert(LayoutHolds<CommentRecord>());

// Byte 0 is not used.
struct SecondFormEventRecord {
  using Value = SecondFormEventRecord;
  static constexpr std::uint8_t kType = record_type::kEvent, kSubRecord = event_sub_record::kExternalEventSecondForm;
  static constexpr std::size_t kSize = 11;
  static constexpr Field kId{1, 2}, kTime{3, 8};
  static constexpr void Fields(auto&& at, auto& v) { at(kId, v.id), at(kTime, v.time_ms); }

  std::uint16_t id = 0;
  double time_ms = 0.0;
  bool operator==(const SecondFormEventRecord&) const = default;
};
static_assert(LayoutHolds<SecondFormEventRecord>());

// ---- Type 20: the broadcast ionosphere parameters. The header's length
// frames the record; a payload of any other size is not this layout.

struct IonosphereRecord {
  using Value = IonosphereRecord;
  static constexpr std::uint8_t kType = record_type::kIonosphere, kSubRecord = 0;
  static constexpr std::size_t kSize = 64;
  static constexpr Field kAlpha{0, 32}, kBeta{32, 32};
  static constexpr void Fields(auto&& at, auto& v) { at(kAlpha, v.alpha), at(kBeta, v.beta); }

  std::array<double, 4> alpha{};  // Klobuchar alpha 0-3
  std::array<double, 4> beta{};   // Klobuchar beta 0-3
  bool operator==(const IonosphereRecord&) const = default;
};
static_assert(LayoutHolds<IonosphereRecord>());

// ---- Type 21: one satellite's broadcast ephemeris, the values as the
// receiver sends them: angles in semicircles, rates in semicircles per
// second. Bytes 1, 6 and 172-185 are not used.

struct EphemerisRecord {
  using Value = EphemerisRecord;
  static constexpr std::uint8_t kType = record_type::kEphemeris, kSubRecord = 0;
  static constexpr std::size_t kSize = 186;
  static constexpr Field kPrn{0, 1}, kEl1Value1{2, 2}, kEl1Value4{4, 2}, kIode{7, 1}, kEl1Value2{8, 4},
      kEl1Value5{12, 4}, kToe{16, 4}, kEl1Value3{20, 8}, kEl2Value1{28, 8}, kEl2Value2{36, 8}, kEl2Value3{44, 8},
      kCrs{52, 8}, kDeltaN{60, 8}, kM0{68, 8}, kCuc{76, 8}, kEccentricity{84, 8}, kCus{92, 8}, kSqrtA{100, 8},
      kCic{108, 8}, kOmega0{116, 8}, kCis{124, 8}, kI0{132, 8}, kCrc{140, 8}, kOmega{148, 8}, kOmegaDot{156, 8},
      kIdot{164, 8};
  static constexpr void Fields(auto&& at, auto& v) {
    at(kPrn, v.prn), at(kEl1Value1, v.el1_1), at(kEl1Value4, v.el1_4), at(kIode, v.iode);
    at(kEl1Value2, v.el1_2), at(kEl1Value5, v.el1_5), at(kToe, v.toe);
    at(kEl1Value3, v.el1_3), at(kEl2Value1, v.el2_1), at(kEl2Value2, v.el2_2), at(kEl2Value3, v.el2_3);
    at(kCrs, v.crs), at(kDeltaN, v.delta_n), at(kM0, v.m0), at(kCuc, v.cuc), at(kEccentricity, v.eccentricity);
    at(kCus, v.cus), at(kSqrtA, v.sqrt_a), at(kCic, v.cic), at(kOmega0, v.omega0), at(kCis, v.cis);
    at(kI0, v.i0), at(kCrc, v.crc), at(kOmega, v.omega), at(kOmegaDot, v.omega_dot), at(kIdot, v.idot);
  }

  std::uint8_t prn = 0;
  std::int16_t el1_1 = 0, el1_4 = 0;  // the "El" values: carried by width and position alone
  std::uint8_t iode = 0;
  std::int32_t el1_2 = 0, el1_5 = 0;
  std::int32_t toe = 0;  // seconds of the week
  double el1_3 = 0.0, el2_1 = 0.0, el2_2 = 0.0, el2_3 = 0.0;
  double crs = 0.0, delta_n = 0.0, m0 = 0.0, cuc = 0.0, eccentricity = 0.0, cus = 0.0, sqrt_a = 0.0;
  double cic = 0.0, omega0 = 0.0, cis = 0.0, i0 = 0.0, crc = 0.0, omega = 0.0, omega_dot = 0.0, idot = 0.0;
  bool operator==(const EphemerisRecord&) const = default;
};
static_assert(LayoutHolds<EphemerisRecord>());
static_assert(EphemerisRecord::kSize + kHeaderSize == ExpectedRecordLength(record_type::kEphemeris));

}  // namespace morvelin
