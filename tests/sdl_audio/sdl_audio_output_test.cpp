#include "platform/sdl_audio/sdl_audio_output.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "../mixer/mixer_probe.h"
#include "platform/failure.h"
#include "platform/mixer/mixer.h"
#include "platform/sdl_audio/sdl_sound_system.h"
#include "wav_writer.h"

namespace pelliwick {
namespace {

using Clock = std::chrono::steady_clock;

const std::filesystem::path kCues = PELLIWICK_CUE_FOLDER;
int windowStandIn = 0;

std::shared_ptr<SoundDevice> openDevice(SdlSoundSystem& system) {
  auto device = system.createRoot()->directSoundCreate();
  device->setCooperativeLevel(&windowStandIn, DSSCL_PRIORITY);
  return device;
}

// Plays a cue the way the game does and waits for its status to fall.
double playToEnd(SoundDevice& device, const std::filesystem::path& file,
                 int pan) {
  auto buffer = device.createBufferFromFile(file, {0xE0});
  buffer->setCurrentPosition(0);
  buffer->setVolume(0);
  buffer->setPan(pan);
  buffer->setFrequency(11026);
  const auto start = Clock::now();
  buffer->play(0);
  while (buffer->getStatus() == DSBSTATUS_PLAYING &&
         Clock::now() - start < std::chrono::seconds(10)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const double seconds =
      std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_EQ(buffer->getStatus(), 0);
  buffer->stop();
  return seconds;
}

TEST(SdlAudioOutput, OpensLazilyWithAShortPeriod) {
  SdlAudioOutput output;
  EXPECT_FALSE(output.deviceOpen());
  SdlSoundSystem system(output);
  auto root = system.createRoot();
  EXPECT_FALSE(output.deviceOpen());
  auto device = root->directSoundCreate();
  EXPECT_TRUE(output.deviceOpen());
  EXPECT_GE(output.mixer()->outputRate(), 22050);
  // Cues and speech share the one device.
  auto first = output.mixer();
  output.speechStream(22050);
  EXPECT_EQ(output.mixer(), first);
}

TEST(SdlAudioOutput, CooperativeLevelNeedsAWindowAndAKnownLevel) {
  SdlAudioOutput output;
  SdlSoundSystem system(output);
  auto device = system.createRoot()->directSoundCreate();
  for (int level = 1; level <= 4; ++level) {
    EXPECT_NO_THROW(device->setCooperativeLevel(&windowStandIn, level));
  }
  EXPECT_THROW(device->setCooperativeLevel(&windowStandIn, 0), Failure);
  EXPECT_THROW(device->setCooperativeLevel(&windowStandIn, 5), Failure);
  EXPECT_THROW(device->setCooperativeLevel(nullptr, 2), Failure);
}

TEST(SdlAudioOutput, CuePlaysForAboutItsLengthAndWakesTheMainThread) {
  SdlAudioOutput output;
  SdlSoundSystem system(output);
  auto device = openDevice(system);
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);

  // The second time after more than a second of silence.
  for (const auto silence : {0, 1300}) {
    std::this_thread::sleep_for(std::chrono::milliseconds(silence));
    const double seconds = playToEnd(*device, kCues / "ding.wav", -1111);
    EXPECT_GT(seconds, 0.3);  // ding.wav lasts 0.35 s
    EXPECT_LT(seconds, 2.0) << "after " << silence << " ms of silence";
  }

  bool woken = false;
  SDL_Event event;
  while (!woken && SDL_WaitEventTimeout(&event, 1000) == 1) {
    woken = event.type == SDL_USEREVENT;
  }
  EXPECT_TRUE(woken);
}

// A waiting game holds no device, so that the sound server rests too; the
// next sound opens it again and plays whole.
TEST(SdlAudioOutput, ClosesAfterASilenceAndOpensForTheNextSound) {
  SdlAudioOutput output;
  SdlSoundSystem system(output);
  auto device = openDevice(system);
  EXPECT_TRUE(output.deviceOpen());
  const auto deadline = Clock::now() + std::chrono::seconds(6);
  while (output.deviceOpen() && Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_FALSE(output.deviceOpen());
  const auto before = output.soundedPeriods();
  const double seconds = playToEnd(*device, kCues / "ding.wav", 0);
  EXPECT_GT(seconds, 0.3);
  EXPECT_TRUE(output.deviceOpen());
  // 0.35 s in periods of at most 512 frames.
  EXPECT_GE(
      output.soundedPeriods() - before,
      static_cast<std::uint64_t>(0.3 * output.mixer()->outputRate() / 512));
}

// Only a silence in a row closes the device: two short ones with a cue
// between keep it, whatever they add up to. The disk driver's device is
// never closed, as its capture would start again.
TEST(SdlAudioOutput, KeepsTheDeviceThroughShortSilencesAndForTheDiskDriver) {
  {
    SdlAudioOutput output;
    SdlSoundSystem system(output);
    auto device = openDevice(system);
    for (int i = 0; i < 2; ++i) {
      playToEnd(*device, kCues / "ding.wav", 0);
      std::this_thread::sleep_for(std::chrono::seconds(2));
    }
    EXPECT_TRUE(output.deviceOpen()) << "closed after 4 s of silence in all";
  }
  test::ScratchFolder folder;
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILE", (folder.path() / "capture.raw").c_str(), 1);
  {
    SdlAudioOutput output;
    SdlSoundSystem system(output);
    auto device = openDevice(system);
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    EXPECT_TRUE(output.deviceOpen()) << "the disk driver's capture was closed";
  }
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
}

TEST(SdlAudioOutput, MissingCueThrowsAndCreatesNothing) {
  SdlAudioOutput output;
  SdlSoundSystem system(output);
  auto device = openDevice(system);
  EXPECT_THROW(device->createBufferFromFile(kCues / "missing.wav", {0xE0}),
               Failure);
  EXPECT_EQ(MixerProbe::playingCues(*output.mixer()), 0u);
}

TEST(SdlAudioOutput, DroppingAPlayingCueIsSafe) {
  SdlAudioOutput output;
  SdlSoundSystem system(output);
  auto device = openDevice(system);
  for (int i = 0; i < 20; ++i) {
    auto buffer = device->createBufferFromFile(kCues / "wild.wav", {0xE0});
    buffer->play(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(i % 3));
  }
  EXPECT_EQ(MixerProbe::playingCues(*output.mixer()), 0u);
}

TEST(SdlAudioOutput, SpeechIsPlayedAndClearedThroughTheDevice) {
  SdlAudioOutput output;
  SpeechStream& speech = output.speechStream(22050);
  std::vector<std::int16_t> samples(22050 / 5, 1000);  // 0.2 s
  const auto start = Clock::now();
  std::uint64_t end = speech.append(samples.data(), samples.size());
  speech.waitPlayed(end);
  const double seconds =
      std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GT(seconds, 0.15);
  EXPECT_LT(seconds, 2.0);

  std::vector<std::int16_t> longer(22050 * 10, 1000);
  end = speech.append(longer.data(), longer.size());
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_LT(speech.playedPosition(), end);
  speech.clear();
  speech.waitPlayed(end);  // returns at once
  EXPECT_EQ(speech.playedPosition(), end);

  // Speech arriving once the silence has closed the device opens it again.
  std::this_thread::sleep_for(std::chrono::milliseconds(3500));
  EXPECT_FALSE(output.deviceOpen());
  end = speech.append(samples.data(), samples.size());
  EXPECT_TRUE(speech.waitPlayedFor(end, std::chrono::seconds(2)));
}

TEST(SdlAudioOutput, UnavailableDriverThrowsWithSdlsReason) {
  ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  {
    SdlAudioOutput output;
    SdlSoundSystem system(output);
    auto root = system.createRoot();
    try {
      root->directSoundCreate();
      ADD_FAILURE() << "no failure";
    } catch (const Failure& failure) {
      EXPECT_NE(std::string(failure.what()).find("no-such-driver"),
                std::string::npos)
          << failure.what();
    }
    EXPECT_THROW(output.speechStream(22050), Failure);
  }
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// End to end through SDL's disk driver: what reaches the device is the cue,
// whole, with the pan applied.
TEST(SdlAudioOutput, DiskCaptureHoldsThePannedCue) {
  test::ScratchFolder folder;
  const auto capture = folder.path() / "capture.raw";
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILE", capture.c_str(), 1);
  int rate = 0;
  {
    SdlAudioOutput output;
    SdlSoundSystem system(output);
    auto device = openDevice(system);
    rate = output.mixer()->outputRate();
    playToEnd(*device, kCues / "ding.wav", -1111);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::setenv("SDL_AUDIODRIVER", "dummy", 1);

  std::ifstream in(capture, std::ios::binary);
  std::vector<float> samples;
  float frame[2];
  while (in.read(reinterpret_cast<char*>(frame), sizeof frame)) {
    samples.insert(samples.end(), frame, frame + 2);
  }
  std::size_t first = samples.size(), last = 0;
  double left = 0, right = 0;
  for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
    if (samples[i] != 0 || samples[i + 1] != 0) {
      first = std::min(first, i / 2);
      last = i / 2;
    }
    left += samples[i] * samples[i];
    right += samples[i + 1] * samples[i + 1];
  }
  ASSERT_LT(first, last) << "the capture is silent";
  // ding.wav holds 0.35 s at 11025 Hz, played at 11026 Hz.
  const double expected = 0.35 * 11025 / 11026 * rate;
  EXPECT_NEAR(static_cast<double>(last - first), expected, 0.02 * expected);
  EXPECT_NEAR(10 * std::log10(right / left), -11.11, 0.1);
}

}  // namespace
}  // namespace pelliwick
