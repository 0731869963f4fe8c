#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <numbers>
#include <vector>

#include "platform/mixer/mixer.h"
#include "platform/mixer/pcm_sound.h"

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

// A sum of sines of amplitude 0.25 each: a band-limited test signal whose
// every component is known.
inline std::shared_ptr<PcmSound> tones(int rate, const std::vector<double>& hz,
                                       std::size_t frames) {
  auto sound = std::make_shared<PcmSound>();
  sound->sampleRate = rate;
  sound->samples.resize(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    double value = 0;
    for (double f : hz)
      value += 0.25 * std::sin(2 * std::numbers::pi * f * i / rate);
    sound->samples[i] = static_cast<float>(value);
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

// Everything in `samples` that is not one of the sines at `hz` (images,
// aliasing, noise), in dB below what is: the sines are fitted by least
// squares, so any level and phase counts as right.
inline double strayLevelDb(const std::vector<float>& samples, int rate,
                           const std::vector<double>& hz) {
  const std::size_t n = 2 * hz.size();
  auto basis = [&](std::size_t k, std::size_t i) {
    const double w = 2 * std::numbers::pi * hz[k / 2] * i / rate;
    return k % 2 ? std::cos(w) : std::sin(w);
  };
  std::vector<double> a(n * n), b(n), x(n);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    for (std::size_t r = 0; r < n; ++r) {
      b[r] += basis(r, i) * samples[i];
      for (std::size_t c = 0; c < n; ++c)
        a[r * n + c] += basis(r, i) * basis(c, i);
    }
  }
  for (std::size_t p = 0; p < n; ++p) {  // Gaussian elimination
    for (std::size_t r = p + 1; r < n; ++r) {
      const double f = a[r * n + p] / a[p * n + p];
      for (std::size_t c = p; c < n; ++c) a[r * n + c] -= f * a[p * n + c];
      b[r] -= f * b[p];
    }
  }
  for (std::size_t r = n; r-- > 0;) {
    double sum = b[r];
    for (std::size_t c = r + 1; c < n; ++c) sum -= a[r * n + c] * x[c];
    x[r] = sum / a[r * n + r];
  }
  double signal = 0, stray = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    double fit = 0;
    for (std::size_t k = 0; k < n; ++k) fit += x[k] * basis(k, i);
    signal += fit * fit;
    stray += (samples[i] - fit) * (samples[i] - fit);
  }
  return 10 * std::log10(stray / signal);
}

// The largest jump between neighbouring samples: a click shows as one.
inline float largestStep(const std::vector<float>& samples) {
  float largest = 0;
  for (std::size_t i = 1; i < samples.size(); ++i) {
    largest = std::max(largest, std::fabs(samples[i] - samples[i - 1]));
  }
  return largest;
}

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
