#pragma once

#include <cmath>
#include <cstddef>
#include <memory>
#include <numbers>
#include <vector>

#include "mixer/mixer.h"
#include "mixer/pcm_sound.h"

namespace pelliwick::test {

constexpr std::uint32_t kAllControls = 0xE0;

inline std::shared_ptr<PcmSound> sine(int rate, double hz, std::size_t frames,
                                      float amplitude = 0.5f) {
  auto sound = std::make_shared<PcmSound>();
  sound->sampleRate = rate;
  sound->samples.resize(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    sound->samples[i] =
        amplitude *
        static_cast<float>(std::sin(2 * std::numbers::pi * hz * i / rate));
  }
  return sound;
}

inline std::shared_ptr<PcmSound> constant(int rate, std::size_t frames,
                                          float value) {
  auto sound = std::make_shared<PcmSound>();
  sound->sampleRate = rate;
  sound->samples.assign(frames, value);
  return sound;
}

// One channel (0 left, 1 right) of interleaved stereo.
inline std::vector<float> channel(const std::vector<float>& stereo, int which,
                                  std::size_t from = 0) {
  std::vector<float> out;
  for (std::size_t i = 2 * from + which; i < stereo.size(); i += 2) {
    out.push_back(stereo[i]);
  }
  return out;
}

inline double rms(const std::vector<float>& samples) {
  double sum = 0;
  for (float s : samples) sum += static_cast<double>(s) * s;
  return std::sqrt(sum / static_cast<double>(samples.size()));
}

inline double decibels(double ratio) { return 20 * std::log10(ratio); }

inline int signChanges(const std::vector<float>& samples) {
  int changes = 0;
  for (std::size_t i = 1; i < samples.size(); ++i) {
    if ((samples[i - 1] < 0) != (samples[i] < 0)) ++changes;
  }
  return changes;
}

inline std::vector<float> render(Mixer& mixer, std::size_t frames) {
  std::vector<float> out(2 * frames);
  mixer.render(out.data(), frames);
  return out;
}

// Renders one frame at a time until `buffer` stops; returns what it played.
inline std::vector<float> renderUntilStopped(Mixer& mixer, SoundBuffer& buffer,
                                             std::size_t limit = 1'000'000) {
  std::vector<float> out;
  float frame[2];
  while (buffer.getStatus() != 0 && out.size() < 2 * limit) {
    mixer.render(frame, 1);
    out.insert(out.end(), frame, frame + 2);
  }
  return out;
}

}  // namespace pelliwick::test
