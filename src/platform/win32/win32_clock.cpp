// What this implements of the platform's clock: the local time of day, to
// the millisecond, and a monotonic clock from the performance counter.
#include "platform/win32/win32_clock.h"

#include <windows.h>

#include <algorithm>

namespace pelliwick {

float Win32Clock::secondsSinceMidnight() {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  const double seconds = local.wHour * 3600.0 + local.wMinute * 60.0 +
                         local.wSecond + local.wMilliseconds / 1000.0;
  // Rounding to float could give 86400: stay below midnight, so that the
  // clock wraps to 0 rather than reaching a whole day.
  constexpr float lastBeforeMidnight = 86399.99f;
  return std::min(static_cast<float>(seconds), lastBeforeMidnight);
}

double Win32Clock::monotonicSeconds() {
  LARGE_INTEGER count{};
  LARGE_INTEGER frequency{};
  // Both always succeed on Windows XP and later.
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(count.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

}  // namespace pelliwick
