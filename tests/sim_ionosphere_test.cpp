// The simulated ionosphere along real satellite tracks, second by second,
// through local night edges where the broadcast model jumps by centimetres:
// its geometry-free combination must have no step (its change from one
// second to the next changes by a fraction of a millimetre at most), move no
// faster than the broadcast model does by day, and stay within tens of
// centimetres of the broadcast model the receiver writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "constellation.h"
#include "gnss/constants.h"
#include "gnss/orbit.h"
#include "ionosphere.h"

namespace morvelin::sim {
namespace {

using namespace morvelin::gnss;

struct Place {
  const char* name;
  double latitude, longitude;  // degrees
  GpsTime start;
  double hours;
};

// Largest values over every satellite above 10 degrees, metres.
struct Extremes {
  double step = 0.0;            // |GF(t + 1 s) - GF(t)| of the truth
  double step_change = 0.0;     // how much that changes from one second to the next
  double broadcast_step = 0.0;  // |GF(t + 1 s) - GF(t)| of the broadcast model
  double model_error = 0.0;     // |truth - broadcast| on L1
};

// The geometry-free combination (L1 - L2 phase, metres) of an L1 delay.
double GeometryFree(double delay_s) { return (kL1L2Gamma - 1.0) * kSpeedOfLight * delay_s; }

Extremes Walk(const Place& p) {
  const Geodetic at{Radians(p.latitude), Radians(p.longitude), 100.0};
  const Ecef receiver = ToEcef(at);
  const Constellation constellation(7, 31, p.start, AddSeconds(p.start, p.hours * 3600.0));
  Extremes x;
  for (std::size_t i = 0; i < constellation.Size(); ++i) {
    double truth_before = 0.0, broadcast_before = 0.0, step_before = 0.0;
    int arc = 0;  // seconds above the mask so far
    for (double s = 0.0; s <= p.hours * 3600.0; s += 1.0) {
      const GpsTime t = AddSeconds(p.start, s);
      const SignalPath path = SignalTo(constellation.At(i, t), receiver, t.seconds);
      const LookAngles look = LookAt(at, receiver, path.satellite);
      if (look.elevation < Radians(10.0)) {
        arc = 0;
        continue;
      }
      const double truth = IonosphereDelay(kDefaultKlobuchar, at, look.elevation, look.azimuth, t.seconds);
      const double broadcast = KlobucharDelay(kDefaultKlobuchar, at, look.elevation, look.azimuth, t.seconds);
      const double step = GeometryFree(truth - truth_before);
      if (arc > 0) {
        x.step = std::max(x.step, std::fabs(step));
        x.broadcast_step = std::max(x.broadcast_step, std::fabs(GeometryFree(broadcast - broadcast_before)));
      }
      if (arc > 1) x.step_change = std::max(x.step_change, std::fabs(step - step_before));
      x.model_error = std::max(x.model_error, kSpeedOfLight * std::fabs(truth - broadcast));
      truth_before = truth, broadcast_before = broadcast, step_before = step, ++arc;
    }
  }
  return x;
}

class SimIonosphere : public testing::TestWithParam<Place> {};

TEST_P(SimIonosphere, GeometryFreeHasNoStepAndFollowsTheBroadcastModel) {
  const Extremes x = Walk(GetParam());
  std::printf("%s: GF per second %.3f mm (its change %.4f mm), broadcast %.1f mm; model error %.3f m\n",
              GetParam().name, x.step * 1e3, x.step_change * 1e3, x.broadcast_step * 1e3, x.model_error);
  EXPECT_GT(x.broadcast_step, 0.02) << "the session crosses a night edge of the broadcast model";
  EXPECT_LT(x.step_change, 0.0002) << "a step (or a kink over 0.2 mm/s)";
  EXPECT_LT(x.step, 0.002) << "the broadcast model's own rate at 10 degrees is 1.5 mm/s";
  EXPECT_LT(x.model_error, 0.5);
}

// Places on both hemispheres, the equator and beyond the polar circle, at
// times of day around their night edges (about 07:00 and 21:00 local time at
// the pierce points), in two seasons of the constellation.
INSTANTIATE_TEST_SUITE_P(
    Places, SimIonosphere,
    testing::Values(Place{"Zurich", 47.37, 8.54, {2291, 86400.0 + 21600.0}, 4.0},
                    Place{"Melbourne", -37.81, 144.96, {2291, 172800.0 + 36000.0}, 14.0},
                    Place{"Quito", -0.18, -78.47, {2291, 86400.0 + 36000.0}, 6.0},
                    Place{"Sydney", -33.87, 151.21, {2317, 259200.0 + 72000.0}, 4.0},
                    Place{"Tromso", 69.65, 18.96, {2317, 0.0}, 12.0},
                    Place{"Honolulu", 21.31, -157.86, {2317, 345600.0 + 50400.0}, 6.0}),
    [](const testing::TestParamInfo<Place>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace morvelin::sim
