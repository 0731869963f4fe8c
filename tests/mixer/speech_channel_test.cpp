#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "platform/failure.h"
#include "platform/mixer/fade.h"
#include "platform/mixer/mixer.h"
#include "signal.h"

namespace pelliwick {
namespace {

constexpr int kDeviceRate = 44100;
constexpr int kSpeechRate = 22050;

std::vector<std::int16_t> speechSine(double hz, std::size_t count) {
  std::vector<std::int16_t> samples(count);
  for (std::size_t i = 0; i < count; ++i) {
    samples[i] = static_cast<std::int16_t>(std::lround(
        16000 * std::sin(2 * std::numbers::pi * hz * i / kSpeechRate)));
  }
  return samples;
}

TEST(SpeechChannel, AppendedSamplesComeOutResampledAndCentred) {
  Mixer mixer(kDeviceRate);
  SpeechStream& speech = mixer.speechStream(kSpeechRate);
  const auto samples = speechSine(1000, 2205);  // 0.1 s
  EXPECT_EQ(speech.append(samples.data(), 1000), 1000u);
  EXPECT_EQ(speech.append(samples.data() + 1000, 1205), 2205u);
  EXPECT_EQ(speech.playedPosition(), 0u);

  auto out = test::render(mixer, 4410);
  EXPECT_EQ(speech.playedPosition(), 2205u);
  const auto left = test::channel(out, 0);
  EXPECT_EQ(left, test::channel(out, 1));
  // Twice as many frames, same pitch, same level between the fades.
  const std::vector<float> middle(left.begin() + 441, left.end() - 441);
  EXPECT_NEAR(test::signChanges(middle) / 2.0 / 0.08, 1000.0, 15.0);
  EXPECT_NEAR(test::rms(middle), 16000 / 32768.0 / std::sqrt(2.0), 0.005);
  EXPECT_EQ(test::render(mixer, 16), std::vector<float>(32, 0.0f));
}

TEST(SpeechChannel, ResamplingLeavesImagesFarBelowTheSpeech) {
  // Speech reaches up to 11 kHz at 22050 Hz; its images would lie above.
  const std::vector<double> hz = {200, 3000, 9500};
  auto sound = test::tones(kSpeechRate, hz, kSpeechRate);
  std::vector<std::int16_t> samples(sound->samples.size());
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] =
        static_cast<std::int16_t>(std::lround(sound->samples[i] * 32767));
  }
  Mixer mixer(kDeviceRate);
  mixer.speechStream(kSpeechRate).append(samples.data(), samples.size());
  const auto left = test::channel(test::render(mixer, 16384), 0, 4096);
  EXPECT_LT(test::strayLevelDb(left, kDeviceRate, hz), -70.0);
}

TEST(SpeechChannel, PlayedPositionFollowsTheRendering) {
  Mixer mixer(kDeviceRate);
  SpeechStream& speech = mixer.speechStream(kSpeechRate);
  const auto samples = speechSine(500, 1000);
  speech.append(samples.data(), samples.size());
  test::render(mixer, 512);
  EXPECT_EQ(speech.playedPosition(), 256u);
  test::render(mixer, 512);
  EXPECT_EQ(speech.playedPosition(), 512u);
}

TEST(SpeechChannel, ClearSilencesTheNextRenderAndWakesWaiters) {
  Mixer mixer(kDeviceRate);
  SpeechStream& speech = mixer.speechStream(kSpeechRate);
  const auto samples = speechSine(500, kSpeechRate);
  const std::uint64_t end = speech.append(samples.data(), samples.size());
  test::render(mixer, 512);

  std::atomic<bool> woke = false;
  std::thread waiter([&] {
    speech.waitPlayed(end);
    woke = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_FALSE(woke);
  speech.clear();
  waiter.join();
  EXPECT_TRUE(woke);
  EXPECT_EQ(speech.playedPosition(), end);
  // Faded out within a few milliseconds, well inside one period.
  const auto out = test::render(mixer, 512);
  const std::size_t fade = fadeFrames(kDeviceRate);
  EXPECT_NE(out[0], 0.0f);
  EXPECT_EQ(std::vector<float>(out.begin() + 2 * fade, out.end()),
            std::vector<float>(1024 - 2 * fade, 0.0f));

  // Speech appended after a clear plays normally and positions go on.
  EXPECT_EQ(speech.append(samples.data(), 100), end + 100);
  const auto again = test::render(mixer, 200);
  EXPECT_NE(again[2 * 10], 0.0f);
  EXPECT_EQ(speech.playedPosition(), end + 100);
}

TEST(SpeechChannel, WaitPlayedReturnsOnceRendered) {
  Mixer mixer(kDeviceRate);
  SpeechStream& speech = mixer.speechStream(kSpeechRate);
  const auto samples = speechSine(500, 4000);
  const std::uint64_t end = speech.append(samples.data(), samples.size());
  speech.waitPlayed(0);  // nothing to wait for

  std::atomic<bool> stop = false;
  std::thread audio([&] {
    std::vector<float> period(2 * 256);
    while (!stop) {
      mixer.render(period.data(), 256);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  speech.waitPlayed(end);
  EXPECT_GE(speech.playedPosition(), end);
  stop = true;
  audio.join();
}

TEST(SpeechChannel, RefusesWaitsThatCouldNeverEnd) {
  Mixer mixer(kDeviceRate);
  SpeechStream& speech = mixer.speechStream(kSpeechRate);
  const auto samples = speechSine(500, 10);
  speech.append(samples.data(), samples.size());
  EXPECT_THROW(speech.waitPlayed(11), Failure);
}

TEST(SpeechChannel, OneStreamPerMixer) {
  Mixer mixer(kDeviceRate);
  SpeechStream& first = mixer.speechStream(kSpeechRate);
  EXPECT_EQ(&mixer.speechStream(kSpeechRate), &first);
  EXPECT_THROW(mixer.speechStream(16000), Failure);
}

TEST(SpeechChannel, LongSessionsDoNotLoseSamples) {
  // Many appends interleaved with rendering, across the queue's compaction.
  Mixer mixer(kSpeechRate);
  SpeechStream& speech = mixer.speechStream(kSpeechRate);
  std::vector<std::int16_t> chunk(1000);
  // A sawtooth that never repeats within a chunk shows any gap or repeat.
  auto value = [](int n) {
    return static_cast<std::int16_t>(n % 20011 - 10000);
  };
  int next = 0;
  int expected = 0;
  const auto fade = static_cast<int>(fadeFrames(kSpeechRate));
  // One chunk ahead, so that the queue never runs low and fades.
  auto appendChunk = [&] {
    for (auto& s : chunk) s = value(next++);
    speech.append(chunk.data(), chunk.size());
  };
  appendChunk();
  for (int round = 0; round < 200; ++round) {
    appendChunk();
    auto out = test::render(mixer, 999);
    for (std::size_t i = 0; i < 999; ++i, ++expected) {
      if (expected < fade) continue;  // fading in
      ASSERT_FLOAT_EQ(out[2 * i], value(expected) / 32768.0f);
    }
  }
  EXPECT_EQ(speech.playedPosition(), 200u * 999);
}

}  // namespace
}  // namespace pelliwick
