#include "records/ephemeris.h"

#include <limits>
#include <span>

#include "base/byte_reader.h"
#include "base/gnss_constants.h"
#include "base/message.h"
#include "base/text_builder.h"

namespace morvelin {

namespace {

constexpr std::uint8_t kSkippedEphemerisType = 20;
constexpr std::size_t kEphemerisPayloadSize = 186;  // fixed, whatever the length byte says

// Narrowing to single rounds to nearest and overflows to infinity on the
// IEEE targets the library is built for; no value of the payload is
// rejected.
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559);
float ToSingle(double value) { return static_cast<float>(value); }

// Fills eph from a payload of exactly kEphemerisPayloadSize bytes, field
// by field in payload order.
void DecodeGpsEph(std::span<const std::uint8_t> payload, GpsEph& eph) {
  ByteReader in(payload);
  std::uint8_t prn = 0, iode = 0;
  std::int16_t el1_4 = 0;
  double el1_3 = 0, el2_1 = 0, el2_2 = 0, el2_3 = 0, crs = 0, delta_n = 0, m0 = 0, cuc = 0, eccentricity = 0;
  double cus = 0, sqrt_a = 0, cic = 0, omega0 = 0, cis = 0, i0 = 0, crc = 0, omega = 0, omega_dot = 0, idot = 0;

  // The caller has checked the size, so no read below can fail.
  in.U8(prn);
  in.Skip(1);
  in.I16(eph.el1_1);
  in.I16(el1_4);
  in.Skip(1);
  in.U8(iode);
  in.I32(eph.el1_2);
  in.I32(eph.el1_5);
  in.I32(eph.toe);
  for (double* real : {&el1_3, &el2_1, &el2_2, &el2_3, &crs, &delta_n, &m0, &cuc, &eccentricity, &cus, &sqrt_a,
                       &cic, &omega0, &cis, &i0, &crc, &omega, &omega_dot, &idot})
    in.F64(*real);

  eph.prn = prn;
  eph.el1_4 = el1_4;
  eph.iode = iode;
  eph.el1_3 = ToSingle(el1_3);
  eph.el2_1 = ToSingle(el2_1);
  eph.el2_2 = ToSingle(el2_2);
  eph.el2_3 = ToSingle(el2_3);
  eph.crs = ToSingle(crs);
  eph.delta_n = ToSingle(delta_n * kPi);
  eph.m0 = m0 * kPi;
  eph.cuc = ToSingle(cuc * kPi);
  eph.eccentricity = eccentricity;
  eph.cus = ToSingle(cus * kPi);
  eph.sqrt_a = sqrt_a;
  eph.cic = ToSingle(cic * kPi);
  eph.omega0 = omega0 * kPi;
  eph.cis = ToSingle(cis * kPi);
  eph.i0 = i0 * kPi;
  eph.crc = ToSingle(crc);
  eph.omega = omega * kPi;
  eph.omega_dot = ToSingle(omega_dot * kPi);
  eph.idot = ToSingle(idot * kPi);
}

}  // namespace

std::int32_t DecodeEphemerisRecord(DecodeContext& context, const RecordHeader& header) {
  // Type 20 is framed by its length byte and never read. A length below the
  // header's own 4 bytes gives no distance: nothing is skipped, and the
  // reader scans on from the byte after the header.
  if (header.type == kSkippedEphemerisType) return DeclaredPayloadLength(header);

  // Type 21 always takes 186 bytes, whatever its length byte says. A record
  // cut by the end of the file is dropped whole (no block, no count, no
  // message): half an ephemeris is not an ephemeris, and the bytes that did
  // not arrive must not be filled from an earlier record.
  std::span<const std::uint8_t> payload = context.input.ReadPayload(kEphemerisPayloadSize);
  if (payload.size() < kEphemerisPayloadSize) {
    context.state.measurement.cut_record = true;
    return 0;
  }

  GpsEph eph;
  DecodeGpsEph(payload, eph);
  context.events.Ephemeris(EphemerisEvent{&eph, payload});

  FixedText<kMessageSize> text;
  text.Str("Ephemeris recived on PRN ").Int(eph.prn);
  context.events.Message(static_cast<double>(eph.toe), text.View());
  return 0;
}

}  // namespace morvelin
