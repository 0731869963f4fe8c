#pragma once

namespace pelliwick {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  virtual void reseed(double seed) = 0;
  // The next value in [0, 1).
  virtual double next() = 0;
};

}  // namespace pelliwick
