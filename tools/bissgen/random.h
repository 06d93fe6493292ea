// A small, fully specified pseudo-random generator (splitmix64), so a seed gives the same
// capture on every platform and standard library.
#pragma once

#include <cstdint>

namespace bissgen {

class SplitMix64 {
  public:
    explicit SplitMix64(uint64_t seed) : state_(seed) {}

    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n) (n = 0 gives 0); the tiny modulo bias does not matter here.
    uint64_t Below(uint64_t n) { return n == 0 ? 0 : Next() % n; }
    // Uniform in [0, 1).
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    // A value of `bits` random bits (0..64).
    uint64_t Bits(int bits) {
        if (bits <= 0) return 0;
        const uint64_t v = Next();
        return bits >= 64 ? v : v & ((uint64_t{1} << bits) - 1);
    }

  private:
    uint64_t state_;
};

}  // namespace bissgen
