#pragma once

#include <cstdint>
#include <random>

#include "platform/random_source.h"

namespace pelliwick {

// A std::mt19937_64 seeded from the bits of the seed value. Starts as if
// reseeded with 0, so that a run that never reseeds is repeatable.
class SystemRandom : public RandomSource {
 public:
  SystemRandom();
  void reseed(double seed) override;
  double next() override;

  // The top 53 bits of `bits` as a double in [0, 1): never 1, unlike
  // std::generate_canonical, which can round up to 1.
  static double toUnitInterval(std::uint64_t bits);

 private:
  std::mt19937_64 engine_;
};

}  // namespace pelliwick
