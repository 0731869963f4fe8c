#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "mixer_probe.h"
#include "platform/mixer/cue_buffer.h"
#include "platform/mixer/fade.h"
#include "platform/mixer/limiter.h"
#include "platform/mixer/mixer.h"
#include "signal.h"

namespace pelliwick {
namespace {

using test::kAllControls;

constexpr int kDeviceRate = 44100;
constexpr int kFileRate = 11025;

struct Levels {
  double left, right;
};

// Steady-state levels of a 441 Hz sine cue (amplitude 0.5) played with the
// given volume and pan; the first frames are skipped past any transient.
Levels levels(int volume, int pan) {
  Mixer mixer(kDeviceRate);
  auto buffer =
      mixer.createBuffer(test::sine(kFileRate, 441, kFileRate), {kAllControls});
  buffer->setVolume(volume);
  buffer->setPan(pan);
  buffer->setFrequency(kFileRate);
  buffer->play(0);
  auto out = test::render(mixer, 8820);
  return {test::rms(test::channel(out, 0, 4410)),
          test::rms(test::channel(out, 1, 4410))};
}

TEST(Mix, PanTurnsDownOnlyTheFarChannel) {
  const Levels centre = levels(0, 0);
  EXPECT_NEAR(centre.left, 0.5 / std::sqrt(2.0), 0.005);
  EXPECT_NEAR(centre.right, centre.left, 1e-6);

  const Levels left = levels(0, -1111);
  EXPECT_NEAR(test::decibels(left.right / centre.right), -11.11, 0.1);
  EXPECT_NEAR(test::decibels(left.left / centre.left), 0.0, 0.01);

  const Levels right = levels(0, 1111);
  EXPECT_NEAR(test::decibels(right.left / centre.left), -11.11, 0.1);
  EXPECT_NEAR(test::decibels(right.right / centre.right), 0.0, 0.01);

  const Levels hardLeft = levels(0, DSBPAN_LEFT);
  EXPECT_NEAR(test::decibels(hardLeft.right / centre.right), -100.0, 0.5);
}

TEST(Mix, VolumeTurnsDownBothChannels) {
  const Levels full = levels(0, 0);
  const Levels quieter = levels(-888, 0);
  EXPECT_NEAR(test::decibels(quieter.left / full.left), -8.88, 0.1);
  EXPECT_NEAR(test::decibels(quieter.right / full.right), -8.88, 0.1);
  // Volume and pan add up.
  const Levels both = levels(-444, -1111);
  EXPECT_NEAR(test::decibels(both.left / full.left), -4.44, 0.1);
  EXPECT_NEAR(test::decibels(both.right / full.right), -15.55, 0.1);
}

struct Playback {
  std::size_t frames;
  double pitch;
};

// Plays half a second of a 441 Hz sine made at 11025 Hz at `frequency`.
Playback playAt(int frequency) {
  constexpr std::size_t kFrames = kFileRate / 2;
  Mixer mixer(kDeviceRate);
  auto buffer =
      mixer.createBuffer(test::sine(kFileRate, 441, kFrames), {kAllControls});
  buffer->setFrequency(frequency);
  buffer->play(0);
  auto out = test::renderUntilStopped(mixer, *buffer);
  const auto left = test::channel(out, 0);
  const double seconds = static_cast<double>(left.size()) / kDeviceRate;
  return {left.size(), test::signChanges(left) / 2.0 / seconds};
}

TEST(Mix, FrequencyChangesPitchAndLength) {
  for (int frequency : {8000, 11026, 15000}) {
    SCOPED_TRACE(frequency);
    const Playback played = playAt(frequency);
    const double expectedFrames =
        static_cast<double>(kFileRate / 2) * kDeviceRate / frequency;
    EXPECT_NEAR(static_cast<double>(played.frames), expectedFrames, 1.0);
    EXPECT_NEAR(played.pitch, 441.0 * frequency / kFileRate,
                441.0 * frequency / kFileRate * 0.01);
  }
  // Lower is longer, higher is shorter.
  EXPECT_GT(playAt(8000).frames, playAt(11026).frames);
  EXPECT_LT(playAt(15000).frames, playAt(11026).frames);
}

// A cue made at 11025 Hz with nothing above 5 kHz.
const std::vector<double> kCueTones = {300, 2200, 4900};

std::vector<double> heardAt(int frequency) {
  std::vector<double> heard;
  for (double hz : kCueTones) heard.push_back(hz * frequency / kFileRate);
  return heard;
}

TEST(Mix, ResamplingLeavesImagesAndAliasingFarBelowTheCue) {
  // At the highest frequency most of the cue lies above what the device
  // can play: it must be filtered away, not folded down.
  for (int frequency : {11026, 8000, 15000, DSBFREQUENCY_MAX}) {
    SCOPED_TRACE(frequency);
    Mixer mixer(kDeviceRate);
    auto buffer = mixer.createBuffer(
        test::tones(kFileRate, kCueTones, 8 * kFileRate), {kAllControls});
    buffer->setFrequency(frequency);
    buffer->play(0);
    const auto left = test::channel(test::render(mixer, 16384), 0, 4096);
    std::vector<double> heard;
    for (double hz : heardAt(frequency)) {
      if (hz < 0.45 * kDeviceRate) heard.push_back(hz);
    }
    EXPECT_LT(test::strayLevelDb(left, kDeviceRate, heard), -70.0);
  }
}

// The key echo must come out as soon as it goes in: the filter's
// look-ahead is read from what is queued, not waited for.
TEST(Mix, ResamplingAddsNoDelay) {
  std::vector<float> samples(2000, 0.0f);
  samples[300] = 0.5f;
  auto click = std::make_shared<PcmSound>();
  click->sampleRate = kFileRate;
  click->samples = samples;
  std::vector<std::int16_t> speech(2000, 0);
  speech[300] = 16384;

  Mixer mixer(kDeviceRate);
  auto buffer = mixer.createBuffer(click, {kAllControls});
  buffer->setPan(DSBPAN_RIGHT);  // the left channel hears the speech alone
  buffer->play(0);
  mixer.speechStream(22050).append(speech.data(), speech.size());
  const auto out = test::render(mixer, 2000);
  std::vector<float> cue, voice;
  for (std::size_t i = 0; i < out.size(); i += 2) {
    voice.push_back(out[i]);
    cue.push_back(out[i + 1] - out[i]);
  }
  auto peak = [](const std::vector<float>& s) {
    return std::max_element(s.begin(), s.end()) - s.begin();
  };
  EXPECT_EQ(peak(cue), 300 * kDeviceRate / kFileRate);
  EXPECT_EQ(peak(voice), 300 * kDeviceRate / 22050);
}

TEST(Mix, LoopsWithoutASeamThroughTheFilter) {
  // 1100 frames hold exactly 44 periods of 441 Hz: a clean loop.
  Mixer mixer(kDeviceRate);
  auto buffer =
      mixer.createBuffer(test::sine(kFileRate, 441, 1100), {kAllControls});
  buffer->setFrequency(11026);
  buffer->play(DSBPLAY_LOOPING);
  const auto left = test::channel(test::render(mixer, 16384), 0, 4096);
  EXPECT_LT(test::strayLevelDb(left, kDeviceRate, {441.0 * 11026 / kFileRate}),
            -70.0);
  EXPECT_NE(buffer->getStatus(), 0);
}

TEST(Mix, FrequencySetWhilePlayingIsHeardFromTheNextPeriod) {
  Mixer mixer(kDeviceRate);
  auto buffer = mixer.createBuffer(
      test::tones(kFileRate, kCueTones, 4 * kFileRate), {kAllControls});
  buffer->setFrequency(11026);
  buffer->play(0);
  test::render(mixer, 512);
  // Through the filter, then copied as is (the device's own rate), then
  // through the filter again.
  for (int frequency : {15000, kDeviceRate, 8000}) {
    SCOPED_TRACE(frequency);
    buffer->setFrequency(frequency);
    const auto left = test::channel(test::render(mixer, 4096), 0);
    EXPECT_LT(test::strayLevelDb(left, kDeviceRate, heardAt(frequency)), -60.0);
  }
}

TEST(Mix, FrequencyChangesWhilePlayingSkipNothing) {
  // A slow ramp: a skipped or repeated stretch shows as a step.
  auto ramp = std::make_shared<PcmSound>();
  ramp->sampleRate = 22050;
  ramp->samples.resize(22050);
  for (std::size_t i = 0; i < ramp->samples.size(); ++i) {
    ramp->samples[i] = static_cast<float>(i) / 22050.0f;
  }
  Mixer mixer(kDeviceRate);
  auto buffer = mixer.createBuffer(ramp, {kAllControls});
  buffer->play(0);
  std::vector<float> heard = test::channel(test::render(mixer, 1000), 0);
  // Through the filter to copied as is, back, and between two filters.
  for (int frequency : {kDeviceRate, 22050, 11025, 44100, 30000}) {
    buffer->setFrequency(frequency);
    const auto left = test::channel(test::render(mixer, 1000), 0);
    heard.insert(heard.end(), left.begin(), left.end());
  }
  // One output frame reads at most one source frame here: 1/22050.
  EXPECT_LT(test::largestStep(heard), 3.0f / 22050);
}

TEST(Mix, ResampledCueEndsOnItsLastSample) {
  for (int rate : {11025, 22050, 8000, 48000}) {
    SCOPED_TRACE(rate);
    Mixer mixer(kDeviceRate);
    auto buffer =
        mixer.createBuffer(test::constant(rate, 2000, 0.5f), {kAllControls});
    buffer->play(0);
    const auto left =
        test::channel(test::renderUntilStopped(mixer, *buffer), 0);
    // Up to the cue's last frame its own level is heard (the filter rings
    // a little around it); only past that frame does it fall to silence.
    const double step = static_cast<double>(rate) / kDeviceRate;
    const auto lastFrameHeard = static_cast<std::size_t>(1999 / step);
    ASSERT_GT(left.size(), lastFrameHeard);
    for (std::size_t i = lastFrameHeard - 400; i <= lastFrameHeard; ++i) {
      ASSERT_NEAR(left[i], 0.5f, 0.1f) << "frame " << i;
    }
  }
}

TEST(Mix, StereoSoundsKeepTheirChannels) {
  auto stereo = std::make_shared<PcmSound>();
  stereo->sampleRate = 8000;
  stereo->channels = 2;
  stereo->bytesPerFrame = 4;
  stereo->samples = {0.5f, -0.25f, 0.5f, -0.25f};
  Mixer mixer(8000);
  auto buffer = mixer.createBuffer(stereo, {kAllControls});
  buffer->setPan(2000);  // left 20 dB down
  buffer->play(0);
  auto out = test::render(mixer, 2);
  EXPECT_NEAR(out[0], 0.05f, 1e-6);
  EXPECT_FLOAT_EQ(out[1], -0.25f);
  EXPECT_EQ(buffer->getStatus(), 0);
}

TEST(Mix, OverlappingSoundsAreLimitedNotWrapped) {
  Mixer mixer(kDeviceRate);
  // Two full-scale cues in phase, plus full-scale speech.
  auto sound = test::sine(kDeviceRate, 300, 4410, 1.0f);
  auto a = mixer.createBuffer(sound, {kAllControls});
  auto b = mixer.createBuffer(sound, {kAllControls});
  a->play(0);
  b->play(0);
  std::vector<std::int16_t> speech(2205);
  for (std::size_t i = 0; i < speech.size(); ++i) {
    speech[i] = static_cast<std::int16_t>(
        32767 * std::sin(2 * std::numbers::pi * 150 * i / 22050.0));
  }
  mixer.speechStream(22050).append(speech.data(), speech.size());
  auto out = test::render(mixer, 4410);
  float loudest = 0;
  // The speech fades in and out at its ends; the signs are compared between.
  const std::size_t fade = fadeFrames(kDeviceRate);
  for (std::size_t i = 2 * fade; i < out.size() - 2 * fade; i += 2) {
    const float frame = static_cast<float>(i / 2);
    const float expectedSign =
        2 * std::sin(2 * std::numbers::pi * 300 * frame / kDeviceRate) +
        std::sin(2 * std::numbers::pi * 150 * frame / kDeviceRate);
    loudest = std::max(loudest, std::fabs(out[i]));
    EXPECT_LE(std::fabs(out[i]), 1.0f);
    if (std::fabs(expectedSign) > 0.05f) {
      EXPECT_EQ(out[i] > 0, expectedSign > 0) << "frame " << i / 2;
    }
  }
  EXPECT_GT(loudest, 0.95f);  // squeezed, not ducked
}

TEST(Mix, LimiterIsSmoothAndTransparentBelowItsKnee) {
  EXPECT_EQ(softLimit(0.5f), 0.5f);
  EXPECT_EQ(softLimit(-kLimiterKnee), -kLimiterKnee);
  float previous = 0;
  for (float x = 0; x < 4.0f; x += 0.001f) {
    const float y = softLimit(x);
    EXPECT_GE(y, previous);            // never folds back
    EXPECT_LE(y - previous, 0.0011f);  // no jump at the knee
    EXPECT_LE(y, 1.0f);
    EXPECT_EQ(softLimit(-x), -y);
    previous = y;
  }
  EXPECT_LE(softLimit(1e30f), 1.0f);
  // Squeezed, not clipped: louder input still comes out louder, and full
  // scale itself is already pulled below the ceiling.
  for (float x = kLimiterKnee; x < 1.5f; x += 0.01f) {
    EXPECT_LT(softLimit(x), softLimit(x + 0.01f)) << x;
  }
  EXPECT_LT(softLimit(1.0f), 0.99f);
}

// A sound cut off in the middle of its waveform, and where the cut is.
struct CutOff {
  std::vector<float> left;
  std::size_t cut;
  bool silentAfter;  // false when the sound comes back after the cut
};

constexpr std::size_t kBefore = 1000;

// A 441 Hz sine cue (amplitude 0.5) played at 11026 Hz, cut by `cut`.
CutOff cutCue(const std::function<void(std::shared_ptr<SoundBuffer>&)>& cut,
              bool silentAfter) {
  Mixer mixer(kDeviceRate);
  auto buffer =
      mixer.createBuffer(test::sine(kFileRate, 441, kFileRate), {kAllControls});
  buffer->setFrequency(11026);
  buffer->play(0);
  auto out = test::render(mixer, kBefore);
  cut(buffer);
  if (buffer) {
    EXPECT_EQ(buffer->getStatus(), silentAfter ? 0 : 1);
  }
  EXPECT_EQ(MixerProbe::playingCues(mixer), silentAfter ? 0u : 1u);
  const auto after = test::render(mixer, 1000);
  out.insert(out.end(), after.begin(), after.end());
  return {test::channel(out, 0), kBefore, silentAfter};
}

// The same sine as speech at 22050 Hz, of which only the first `queued`
// samples are appended at first. `cut` is called after `kBefore` frames
// with the stream and the whole sine, and says where the cut is.
CutOff cutSpeech(std::size_t queued,
                 const std::function<std::size_t(
                     SpeechStream&, const std::vector<std::int16_t>&)>& cut,
                 bool silentAfter) {
  Mixer mixer(kDeviceRate);
  SpeechStream& speech = mixer.speechStream(22050);
  std::vector<std::int16_t> sine(22050);
  for (std::size_t i = 0; i < sine.size(); ++i) {
    sine[i] = static_cast<std::int16_t>(
        16384 * std::sin(2 * std::numbers::pi * 441 * i / 22050.0));
  }
  speech.append(sine.data(), queued);
  auto out = test::render(mixer, kBefore);
  const std::size_t cutAt = cut(speech, sine);
  const auto after = test::render(mixer, 3000);
  out.insert(out.end(), after.begin(), after.end());
  return {test::channel(out, 0), cutAt, silentAfter};
}

TEST(Mix, EveryCutIsFadedWithinAFewMilliseconds) {
  const std::size_t fade = fadeFrames(kDeviceRate);
  auto stop = [](auto& buffer) { buffer->stop(); };
  auto release = [](auto& buffer) { buffer.reset(); };
  auto stopAndPlayAgain = [](auto& buffer) {
    buffer->stop();
    buffer->play(0);
  };
  auto purge = [](SpeechStream& speech, const auto&) {
    speech.clear();
    return kBefore;
  };
  // Speech running dry ends a little before its last queued sample (at
  // about 1000 frames for 540 samples); the rest of it may come before or
  // after that.
  constexpr std::size_t kShort = 540;
  auto runDry = [](SpeechStream&, const auto&) { return 2 * kShort; };
  auto appendAfter = [](std::size_t queued) {
    return [queued](SpeechStream& speech, const auto& sine) {
      speech.append(sine.data() + queued, sine.size() - queued);
      return kBefore;
    };
  };
  const std::vector<std::pair<const char*, CutOff>> cuts = {
      {"stop", cutCue(stop, true)},
      {"release", cutCue(release, true)},
      {"play again after a stop", cutCue(stopAndPlayAgain, false)},
      {"purge", cutSpeech(22050, purge, true)},
      {"queue runs dry", cutSpeech(kShort, runDry, true)},
      {"queue runs low, then goes on",
       cutSpeech(kShort + 20, appendAfter(kShort + 20), false)},
      {"queue runs dry, then goes on",
       cutSpeech(kShort - 20, appendAfter(kShort - 20), false)},
  };
  for (const auto& [name, cut] : cuts) {
    SCOPED_TRACE(name);
    // The sine itself moves by up to 0.031 a frame; a fade adds 0.5/fade.
    EXPECT_LT(test::largestStep(cut.left), 0.031f + 0.5f / fade + 0.005f);
    float loudest = 0;
    for (std::size_t i = cut.cut - 300; i < cut.cut - 200; ++i) {
      loudest = std::max(loudest, std::fabs(cut.left[i]));
    }
    EXPECT_GT(loudest, 0.45f) << "nothing sounded before the cut";
    if (!cut.silentAfter) continue;
    for (std::size_t i = cut.cut + fade; i < cut.left.size(); ++i) {
      ASSERT_EQ(cut.left[i], 0.0f) << "frame " << i - cut.cut << " after";
    }
  }
}

TEST(Mix, SilentWithNothingToPlay) {
  Mixer mixer(kDeviceRate);
  std::vector<float> out(64, 0.7f);
  mixer.render(out.data(), 32);
  EXPECT_EQ(out, std::vector<float>(64, 0.0f));
}

}  // namespace
}  // namespace pelliwick
