#include "support/ephemeris_payloads.h"

namespace morvelin::test {

Bytes EphemerisPayload(const RawEphemeris& eph) {
  PayloadBuilder payload;
  payload.U8(eph.prn).U8(eph.filler).I16(eph.el1_1).I16(eph.el1_4).U8(eph.filler).U8(eph.iode);
  payload.I32(eph.el1_2).I32(eph.el1_5).I32(eph.toe);
  for (double real : {eph.el1_3, eph.el2_1, eph.el2_2, eph.el2_3, eph.crs, eph.delta_n, eph.m0, eph.cuc,
                      eph.eccentricity, eph.cus, eph.sqrt_a, eph.cic, eph.omega0, eph.cis, eph.i0, eph.crc,
                      eph.omega, eph.omega_dot, eph.idot})
    payload.F64(real);
  for (int i = 0; i < 14; ++i) payload.U8(eph.filler);
  return payload.Get();
}

}  // namespace morvelin::test
