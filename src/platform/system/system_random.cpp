#include "platform/system/system_random.h"

#include <bit>

namespace pelliwick {

namespace {

// splitmix64: spreads the few bits that differ between nearby seeds (two
// times of day a second apart) over the whole seed word.
std::uint64_t mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

}  // namespace

SystemRandom::SystemRandom() { reseed(0.0); }

void SystemRandom::reseed(double seed) {
  engine_.seed(mix(std::bit_cast<std::uint64_t>(seed)));
}

double SystemRandom::next() { return toUnitInterval(engine_()); }

double SystemRandom::toUnitInterval(std::uint64_t bits) {
  return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

}  // namespace pelliwick
