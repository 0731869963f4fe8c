#pragma once

#include "platform/clock.h"

namespace pelliwick {

// Local time of day (GetLocalTime) and the performance counter.
class Win32Clock : public Clock {
 public:
  float secondsSinceMidnight() override;
  double monotonicSeconds() override;
};

}  // namespace pelliwick
