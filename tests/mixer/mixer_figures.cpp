// Prints what the mixer costs and how clean it sounds: the audio callback's
// CPU per second of audio when idle, with speech, and with five cues over
// speech; image levels of the resampler; how fast a purge falls silent.
// Not a test: run by hand.
#include <time.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <vector>

#include "platform/mixer/mixer.h"
#include "signal.h"

using pelliwick::Mixer;
using pelliwick::SoundBuffer;
namespace test = pelliwick::test;

namespace {

constexpr int kDeviceRate = 44100;
constexpr int kSpeechRate = 22050;
constexpr std::size_t kPeriod = 512;
constexpr double kSeconds = 20;

double threadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9;
}

std::vector<std::int16_t> speechLike(std::size_t count) {
  std::vector<std::int16_t> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / kSpeechRate;
    samples[i] = static_cast<std::int16_t>(
        6000 * std::sin(2 * std::numbers::pi * 140 * t) +
        3000 * std::sin(2 * std::numbers::pi * 2300 * t));
  }
  return samples;
}

// Renders kSeconds of audio period by period; CPU milliseconds per second.
double renderCost(Mixer& mixer) {
  std::vector<float> period(2 * kPeriod);
  const auto periods =
      static_cast<std::size_t>(kSeconds * kDeviceRate / kPeriod);
  const double start = threadCpuSeconds();
  for (std::size_t i = 0; i < periods; ++i)
    mixer.render(period.data(), kPeriod);
  return (threadCpuSeconds() - start) * 1000 / kSeconds;
}

void printCost(const char* what, double msPerSecond) {
  std::printf("  %-28s %7.3f ms CPU per s of audio (%.3f%% of a core)\n", what,
              msPerSecond, msPerSecond / 10);
}

}  // namespace

int main() {
  std::printf("audio callback, %d Hz, periods of %zu frames:\n", kDeviceRate,
              kPeriod);
  {
    Mixer mixer(kDeviceRate);
    mixer.speechStream(kSpeechRate);
    printCost("idle", renderCost(mixer));
  }
  const auto speech =
      speechLike(static_cast<std::size_t>(kSeconds + 1) * kSpeechRate);
  {
    Mixer mixer(kDeviceRate);
    mixer.speechStream(kSpeechRate).append(speech.data(), speech.size());
    printCost("speech", renderCost(mixer));
  }
  {
    Mixer mixer(kDeviceRate);
    mixer.speechStream(kSpeechRate).append(speech.data(), speech.size());
    const auto cue = test::tones(11025, {300, 2200, 4900}, 11025);
    std::vector<std::shared_ptr<SoundBuffer>> cues;
    for (int i = 0; i < 5; ++i) {
      cues.push_back(mixer.createBuffer(cue, {test::kAllControls}));
      cues.back()->setFrequency(11026 + 1000 * i);
      cues.back()->setPan(2000 * (i - 2));
      cues.back()->play(1);  // looping, so that all five last throughout
    }
    printCost("five cues over speech", renderCost(mixer));
  }

  std::printf("images and aliasing, dB below the signal:\n");
  const std::vector<double> made = {300, 2200, 4900};
  for (int frequency : {11026, 8000, 15000}) {
    Mixer mixer(kDeviceRate);
    auto buffer = mixer.createBuffer(test::tones(11025, made, 4 * 11025),
                                     {test::kAllControls});
    buffer->setFrequency(frequency);
    buffer->play(0);
    const auto left = test::channel(test::render(mixer, 16384), 0, 4096);
    std::vector<double> heard;
    for (double hz : made) heard.push_back(hz * frequency / 11025);
    std::printf("  cue made at 11025 Hz, played at %5d Hz: %6.1f dB\n",
                frequency, test::strayLevelDb(left, kDeviceRate, heard));
  }
  {
    const std::vector<double> hz = {200, 3000, 9500};
    const auto tones = test::tones(kSpeechRate, hz, kSpeechRate);
    std::vector<std::int16_t> samples(tones->samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
      samples[i] =
          static_cast<std::int16_t>(std::lround(tones->samples[i] * 32767));
    }
    Mixer mixer(kDeviceRate);
    mixer.speechStream(kSpeechRate).append(samples.data(), samples.size());
    const auto left = test::channel(test::render(mixer, 16384), 0, 4096);
    std::printf("  speech at %d Hz:                     %6.1f dB\n",
                kSpeechRate, test::strayLevelDb(left, kDeviceRate, hz));
  }

  {
    Mixer mixer(kDeviceRate);
    auto& stream = mixer.speechStream(kSpeechRate);
    stream.append(speech.data(), kSpeechRate);
    test::render(mixer, 4096);
    stream.clear();
    const auto left = test::channel(test::render(mixer, kPeriod), 0);
    std::size_t last = 0;
    for (std::size_t i = 0; i < left.size(); ++i) {
      if (left[i] != 0) last = i + 1;
    }
    std::printf("purge to silence: %zu frames (%.2f ms), largest step %.4f\n",
                last, 1000.0 * static_cast<double>(last) / kDeviceRate,
                test::largestStep(left));
  }
}
