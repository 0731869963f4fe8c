#pragma once

#include <cmath>

namespace pelliwick {

// Below this level the mix passes untouched, so a single cue or the voice
// alone is never coloured.
constexpr float kLimiterKnee = 0.8f;

// Smooth saturation above the knee: continuous slope, monotonic, and never
// beyond full scale, so overlapping sounds are squeezed instead of wrapping
// or clipping into crackle.
inline float softLimit(float x) {
  const float magnitude = std::fabs(x);
  if (magnitude <= kLimiterKnee) return x;
  constexpr float headroom = 1.0f - kLimiterKnee;
  const float over = (magnitude - kLimiterKnee) / headroom;
  return std::copysign(kLimiterKnee + headroom * std::tanh(over), x);
}

}  // namespace pelliwick
