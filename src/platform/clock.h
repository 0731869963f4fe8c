#pragma once

namespace pelliwick {

class Clock {
 public:
  virtual ~Clock() = default;
  // Time of day, seconds since midnight; wraps to 0 at midnight.
  virtual float secondsSinceMidnight() = 0;
  // Seconds on a clock that never wraps, for measuring pauses.
  virtual double monotonicSeconds() = 0;
};

}  // namespace pelliwick
