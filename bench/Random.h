//===- Random.h - A seeded generator whose output never changes ----------===//
//
// The corpus generator must give the same bytes for the same arguments on
// every machine and every library version, so it cannot use the standard
// distributions (their algorithms are left to each library). This is
// xoshiro256** seeded through splitmix64, with integer-only helpers on top.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>

namespace lexset::bench {

class Random {
 public:
  explicit Random(std::uint64_t seed) {
    for (std::uint64_t& word : state_) word = SplitMix(seed);
  }

  std::uint64_t Next() {
    const std::uint64_t result = Rotl(state_[1] * 5, 7) * 9;
    const std::uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = Rotl(state_[3], 45);
    return result;
  }

  // Uniform in [0, bound), bound > 0, without modulo bias (multiply and
  // reject the few draws that would favour low values).
  std::uint64_t Below(std::uint64_t bound) {
    unsigned __int128 product = static_cast<unsigned __int128>(Next()) * bound;
    std::uint64_t low = static_cast<std::uint64_t>(product);
    if (low < bound) {
      const std::uint64_t threshold = (0 - bound) % bound;
      while (low < threshold) {
        product = static_cast<unsigned __int128>(Next()) * bound;
        low = static_cast<std::uint64_t>(product);
      }
    }
    return static_cast<std::uint64_t>(product >> 64);
  }

  // Uniform in [low, high].
  std::uint64_t Between(std::uint64_t low, std::uint64_t high) { return low + Below(high - low + 1); }

  // True with probability per_mille / 1000.
  bool Chance(unsigned per_mille) { return Below(1000) < per_mille; }

 private:
  static std::uint64_t Rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

  static std::uint64_t SplitMix(std::uint64_t& x) {
    std::uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }

  std::uint64_t state_[4];
};

}  // namespace lexset::bench
