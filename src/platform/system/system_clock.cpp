#include "platform/system/system_clock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/failure.h"

namespace pelliwick {

float SystemClock::secondsSinceMidnight() {
  timespec now{};
  if (clock_gettime(CLOCK_REALTIME, &now) != 0) {
    throw Failure(std::string("cannot read the time of day: ") +
                  std::strerror(errno));
  }
  tm local{};
  if (localtime_r(&now.tv_sec, &local) == nullptr) {
    throw Failure("cannot convert the time of day to local time");
  }
  const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 +
                         local.tm_sec + now.tv_nsec / 1e9;
  // Rounding to float (or a leap second) could give 86400; the clock must
  // stay below midnight so that it wraps to 0 rather than reaching a day.
  constexpr float lastBeforeMidnight = 86399.99f;
  return std::min(static_cast<float>(seconds), lastBeforeMidnight);
}

double SystemClock::monotonicSeconds() {
  return std::chrono::duration<double>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace pelliwick
