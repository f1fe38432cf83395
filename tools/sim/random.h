// The simulator's random numbers: splitmix64 with its own uniform and
// Gaussian draws, so that a seed gives the same bytes on every platform
// (the standard library's distributions are not specified bit for bit).
#pragma once

#include <cmath>
#include <cstdint>

namespace morvelin::sim {

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  // A generator for one purpose (stream) of one seed: streams do not
  // disturb each other, so damage never changes the observations.
  Random(std::uint64_t seed, std::uint64_t stream) : state_(seed ^ (0x9E3779B97F4A7C15ULL * (stream + 1))) {
    Next();
  }

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // [0, 1)
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1p-53; }
  double Uniform(double low, double high) { return low + (high - low) * Uniform(); }
  // [0, n)
  std::uint64_t Below(std::uint64_t n) { return n == 0 ? 0 : Next() % n; }
  bool Chance(double probability) { return probability > 0.0 && Uniform() < probability; }
  // Standard normal (Box-Muller, one value per call).
  double Gaussian() {
    const double u1 = 1.0 - Uniform();  // (0, 1]
    const double u2 = Uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }

 private:
  std::uint64_t state_;
};

}  // namespace morvelin::sim
