// The simulator's own random generator: splitmix64, so a seed gives the same market on every
// platform and library version (std:: distributions are not portable between implementations).
// Also the symbol hash that derives a per-symbol stream from the global seed.
#pragma once

#include <cstdint>
#include <string_view>

namespace vok::sim {

class CRandom {
 public:
  explicit CRandom(std::uint64_t seed = 0) : m_state(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  // Uniform in [0, bound); 0 when bound is 0. The tiny modulo bias does not matter for a simulator.
  std::uint32_t Below(std::uint32_t bound) { return bound == 0 ? 0 : static_cast<std::uint32_t>(Next() % bound); }

  // Uniform in [low, high].
  std::int64_t Between(std::int64_t low, std::int64_t high) {
    if (high <= low) return low;
    return low + static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(high - low + 1));
  }

  // True with the given chance in percent.
  bool Percent(std::uint32_t chance) { return Below(100) < chance; }

 private:
  std::uint64_t m_state;
};

// FNV-1a: stable across runs and platforms, unlike std::hash.
inline std::uint64_t HashText(std::string_view text) {
  std::uint64_t hash = 0xCBF29CE484222325ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001B3ull;
  }
  return hash;
}

// The seed of one symbol's stream on one service: independent of which other symbols exist or
// in which order they were subscribed.
inline std::uint64_t StreamSeed(std::uint64_t seed, std::string_view symbol, int serviceId) {
  CRandom mix(seed ^ HashText(symbol) ^ (static_cast<std::uint64_t>(serviceId) << 32));
  return mix.Next();
}

}  // namespace vok::sim
