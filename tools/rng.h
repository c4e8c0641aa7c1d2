// splitmix64: small, fast and fully defined, so every platform draws the same
// numbers for the same seed (the standard distributions differ between
// libraries). Shared by the database generator and the benchmarks.
#pragma once

#include <cstdint>

namespace plix {

struct Rng {
  std::uint64_t state;
  std::uint64_t next() {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // 0 .. n-1 (0 when n is 1 or less).
  int below(int n) { return n <= 1 ? 0 : static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
  bool chance(int permille) { return below(1000) < permille; }
};

}  // namespace plix
