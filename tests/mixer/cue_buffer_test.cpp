#include "platform/mixer/cue_buffer.h"

#include <gtest/gtest.h>

#include "mixer_probe.h"
#include "platform/failure.h"
#include "platform/mixer/fade.h"
#include "platform/mixer/mixer.h"
#include "signal.h"

namespace pelliwick {
namespace {

using test::kAllControls;

TEST(CueBuffer, StatusFallsToZeroAtTheRenderThatUsesTheLastSample) {
  int ended = 0;
  Mixer mixer(8000, [&] { ++ended; });
  auto buffer =
      mixer.createBuffer(test::constant(8000, 100, 0.25f), {kAllControls});
  EXPECT_EQ(buffer->getStatus(), 0);
  buffer->play(0);
  EXPECT_EQ(buffer->getStatus(), DSBSTATUS_PLAYING);
  test::render(mixer, 99);
  EXPECT_EQ(buffer->getStatus(), DSBSTATUS_PLAYING);
  EXPECT_EQ(ended, 0);
  auto last = test::render(mixer, 1);
  EXPECT_FLOAT_EQ(last[0], 0.25f);  // the last sample really was played
  EXPECT_EQ(buffer->getStatus(), 0);
  EXPECT_EQ(ended, 1);
  // Nothing more sounds, and it can be played again from the start.
  EXPECT_EQ(test::render(mixer, 4), std::vector<float>(8, 0.0f));
  buffer->play(0);
  test::render(mixer, 100);
  EXPECT_EQ(buffer->getStatus(), 0);
  EXPECT_EQ(ended, 2);
}

TEST(CueBuffer, StopEndsTheStatusAtOnceAndKeepsThePosition) {
  Mixer mixer(8000);
  auto buffer =
      mixer.createBuffer(test::constant(8000, 100, 0.5f), {kAllControls});
  buffer->play(0);
  test::render(mixer, 40);
  buffer->stop();
  EXPECT_EQ(buffer->getStatus(), 0);
  // The sound itself fades out.
  test::render(mixer, fadeFrames(8000));
  EXPECT_EQ(test::render(mixer, 8), std::vector<float>(16, 0.0f));
  buffer->stop();  // stopping a stopped buffer is harmless
  buffer->play(0);
  test::render(mixer, 59);
  EXPECT_EQ(buffer->getStatus(), DSBSTATUS_PLAYING);
  test::render(mixer, 1);
  EXPECT_EQ(buffer->getStatus(), 0);
}

TEST(CueBuffer, CurrentPositionIsAByteOffsetInTheSoundsFormat) {
  Mixer mixer(8000);
  auto sound = test::constant(8000, 100, 0.5f);
  sound->bytesPerFrame = 4;  // e.g. 16-bit stereo in the file
  auto buffer = mixer.createBuffer(sound, {kAllControls});
  buffer->setCurrentPosition(4 * 90);
  buffer->play(0);
  EXPECT_EQ(test::renderUntilStopped(mixer, *buffer).size(), 2u * 10);
  buffer->setCurrentPosition(0);
  buffer->setCurrentPosition(4 * 99 + 3);
  EXPECT_THROW(buffer->setCurrentPosition(4 * 100), Failure);
  EXPECT_THROW(buffer->setCurrentPosition(0xFFFFFFFF), Failure);
}

TEST(CueBuffer, RangesAreCheckedAtTheirEdges) {
  Mixer mixer(44100);
  auto buffer =
      mixer.createBuffer(test::constant(11025, 10, 0.5f), {kAllControls});
  EXPECT_NO_THROW(buffer->setVolume(DSBVOLUME_MIN));
  EXPECT_NO_THROW(buffer->setVolume(DSBVOLUME_MAX));
  EXPECT_THROW(buffer->setVolume(-10001), Failure);
  EXPECT_THROW(buffer->setVolume(1), Failure);
  EXPECT_NO_THROW(buffer->setPan(DSBPAN_LEFT));
  EXPECT_NO_THROW(buffer->setPan(DSBPAN_RIGHT));
  EXPECT_THROW(buffer->setPan(-10001), Failure);
  EXPECT_THROW(buffer->setPan(10001), Failure);
  EXPECT_NO_THROW(buffer->setFrequency(DSBFREQUENCY_MIN));
  EXPECT_NO_THROW(buffer->setFrequency(DSBFREQUENCY_MAX));
  EXPECT_THROW(buffer->setFrequency(99), Failure);
  EXPECT_THROW(buffer->setFrequency(200001), Failure);
  EXPECT_THROW(buffer->setFrequency(0), Failure);
  EXPECT_THROW(buffer->play(2), Failure);
  EXPECT_EQ(buffer->getStatus(), 0);
}

TEST(CueBuffer, FailedCallsChangeNothing) {
  Mixer mixer(8000);
  auto buffer =
      mixer.createBuffer(test::constant(8000, 50, 0.5f), {kAllControls});
  buffer->setVolume(-2000);
  EXPECT_THROW(buffer->setVolume(500), Failure);
  EXPECT_THROW(buffer->setFrequency(1), Failure);
  buffer->play(0);
  auto out = test::renderUntilStopped(mixer, *buffer);
  EXPECT_EQ(out.size(), 2u * 50);
  EXPECT_NEAR(out[0], 0.05f, 1e-6);
}

TEST(CueBuffer, EachControlNeedsItsFlag) {
  Mixer mixer(8000);
  auto sound = test::constant(8000, 10, 0.5f);
  auto none = mixer.createBuffer(sound, {0});
  EXPECT_THROW(none->setVolume(0), Failure);
  EXPECT_THROW(none->setPan(0), Failure);
  EXPECT_THROW(none->setFrequency(8000), Failure);
  // Without controls it still plays as made.
  none->setCurrentPosition(0);
  none->play(0);
  EXPECT_EQ(none->getStatus(), DSBSTATUS_PLAYING);

  auto volumeOnly = mixer.createBuffer(sound, {DSBCAPS_CTRLVOLUME});
  EXPECT_NO_THROW(volumeOnly->setVolume(-100));
  EXPECT_THROW(volumeOnly->setPan(0), Failure);
  EXPECT_THROW(volumeOnly->setFrequency(8000), Failure);

  auto panOnly = mixer.createBuffer(sound, {DSBCAPS_CTRLPAN});
  EXPECT_NO_THROW(panOnly->setPan(100));
  EXPECT_THROW(panOnly->setVolume(0), Failure);

  auto frequencyOnly = mixer.createBuffer(sound, {DSBCAPS_CTRLFREQUENCY});
  EXPECT_NO_THROW(frequencyOnly->setFrequency(9000));
  EXPECT_THROW(frequencyOnly->setVolume(0), Failure);
}

TEST(CueBuffer, RefusesSoundsItCannotPlay) {
  Mixer mixer(8000);
  EXPECT_THROW(mixer.createBuffer(test::constant(8000, 0, 0.0f), {0}), Failure);
  EXPECT_THROW(mixer.createBuffer(nullptr, {0}), Failure);
  auto surround = test::constant(8000, 12, 0.0f);
  surround->channels = 6;
  EXPECT_THROW(mixer.createBuffer(surround, {0}), Failure);
}

TEST(CueBuffer, LoopsUntilStopped) {
  Mixer mixer(8000);
  auto buffer =
      mixer.createBuffer(test::constant(8000, 10, 0.5f), {kAllControls});
  buffer->play(DSBPLAY_LOOPING);
  EXPECT_EQ(buffer->getStatus(), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
  auto out = test::render(mixer, 35);
  EXPECT_FLOAT_EQ(out[2 * 34], 0.5f);
  EXPECT_NE(buffer->getStatus(), 0);
  buffer->stop();
  EXPECT_EQ(buffer->getStatus(), 0);
}

TEST(CueBuffer, DroppingAPlayingBufferFadesItOut) {
  Mixer mixer(8000);
  auto buffer =
      mixer.createBuffer(test::constant(8000, 1000, 0.5f), {kAllControls});
  buffer->play(0);
  test::render(mixer, 10);
  std::weak_ptr<SoundBuffer> gone = buffer;
  buffer.reset();
  EXPECT_TRUE(gone.expired());
  EXPECT_EQ(MixerProbe::playingCues(mixer), 0u);
  // The samples live on in the mixer until the fade is over.
  const auto fade = test::channel(test::render(mixer, fadeFrames(8000)), 0);
  EXPECT_GT(fade.front(), 0.4f);
  EXPECT_EQ(test::render(mixer, 4), std::vector<float>(8, 0.0f));
}

TEST(CueBuffer, MayOutliveTheMixer) {
  std::shared_ptr<SoundBuffer> buffer;
  {
    Mixer mixer(8000);
    buffer = mixer.createBuffer(test::constant(8000, 10, 0.5f), {0});
    buffer->play(0);
  }
  EXPECT_EQ(buffer->getStatus(), DSBSTATUS_PLAYING);
  buffer->stop();
  buffer.reset();
}

}  // namespace
}  // namespace pelliwick
