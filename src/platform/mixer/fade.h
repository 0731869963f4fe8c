#pragma once

#include <algorithm>
#include <cstddef>

namespace pelliwick {

// Every cut into or out of sound is a ramp this long: short enough to hide
// inside one device period (512 frames, 11.6 ms at 44100 Hz), long enough
// that no cut clicks.
constexpr double kFadeSeconds = 0.003;

inline std::size_t fadeFrames(int outputRate) {
  return std::max<std::size_t>(
      1, static_cast<std::size_t>(kFadeSeconds * outputRate + 0.5));
}

// A gain that moves towards its target by at most one fade step a frame.
struct FadeGain {
  float value = 1.0f;
  float step = 1.0f;  // 1 / fade frames

  // The gain for the next frame, never above `ceiling`.
  float next(float target, float ceiling = 1.0f) {
    if (value < target) {
      value = std::min(target, value + step);
    } else if (value > target) {
      value = std::max(target, value - step);
    }
    value = std::min(value, ceiling);
    return value;
  }
};

}  // namespace pelliwick
