#pragma once

#include "platform/clock.h"

namespace pelliwick {

// Local time of day and std::chrono::steady_clock.
class SystemClock : public Clock {
 public:
  float secondsSinceMidnight() override;
  double monotonicSeconds() override;
};

}  // namespace pelliwick
