#include "sound_contract.h"

#include <fstream>
#include <thread>

#include "platform/failure.h"

namespace pelliwick::contract {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint32_t kAllControls = 0xE0;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Open {
  std::unique_ptr<SoundDriver> driver;
  std::shared_ptr<SoundDevice> device;
  std::filesystem::path cue(const char* name) const {
    return driver->cueFolder() / name;
  }
};

Open open(const SoundBackend& backend) {
  Open o{backend.makeDriver(), nullptr};
  o.device = o.driver->createRoot()->directSoundCreate();
  o.device->setCooperativeLevel(o.driver->window(), DSSCL_PRIORITY);
  return o;
}

// Plays as the game does and polls until the status falls; the seconds it
// took.
double playToEnd(SoundBuffer& buffer, int frequency) {
  buffer.setCurrentPosition(0);
  buffer.setVolume(0);
  buffer.setFrequency(frequency);
  const auto start = Clock::now();
  buffer.play(0);
  EXPECT_EQ(buffer.getStatus(), DSBSTATUS_PLAYING);
  while (buffer.getStatus() == DSBSTATUS_PLAYING && secondsSince(start) < 5) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_EQ(buffer.getStatus(), 0);
  return secondsSince(start);
}

TEST_P(SoundContract, CuePlaysForItsLengthAndFasterAtAHigherFrequency) {
  auto o = open(GetParam());
  auto buffer =
      o.device->createBufferFromFile(o.cue("ding.wav"), {kAllControls});
  // A device just opened may take its first samples faster than it plays
  // them, while its own buffer fills: the first cue is not timed.
  playToEnd(*buffer, 11026);
  // ding.wav holds 0.35 s at 11025 Hz.
  const double normal = playToEnd(*buffer, 11026);
  EXPECT_GT(normal, 0.3);
  EXPECT_LT(normal, 1.0);
  const double faster = playToEnd(*buffer, 15000);
  EXPECT_GT(faster, 0.2);
  EXPECT_LT(faster, normal - 0.05);
}

TEST_P(SoundContract, StopReadsZeroAtOnceAndTheCueCanPlayAgain) {
  auto o = open(GetParam());
  auto buffer =
      o.device->createBufferFromFile(o.cue("wild.wav"), {kAllControls});
  for (int round = 0; round < 2; ++round) {
    buffer->setCurrentPosition(0);
    buffer->play(0);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(buffer->getStatus(), DSBSTATUS_PLAYING);
    buffer->stop();
    EXPECT_EQ(buffer->getStatus(), 0);
    buffer->stop();  // stopping a stopped cue is fine
  }
  buffer->play(DSBPLAY_LOOPING);
  EXPECT_EQ(buffer->getStatus(), DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
  buffer->stop();
  EXPECT_EQ(buffer->getStatus(), 0);
}

TEST_P(SoundContract, EndOfACueWakesTheWait) {
  auto o = open(GetParam());
  auto buffer =
      o.device->createBufferFromFile(o.cue("ding.wav"), {kAllControls});
  o.driver->forgetWakes();
  const auto start = Clock::now();
  buffer->play(0);
  ASSERT_TRUE(o.driver->waitForWake(std::chrono::seconds(3)));
  const double woken = secondsSince(start);
  EXPECT_GT(woken, 0.2);
  // The status has fallen by the time the wait looks at it.
  const auto deadline = Clock::now() + std::chrono::milliseconds(50);
  while (buffer->getStatus() != 0 && Clock::now() < deadline) {
  }
  EXPECT_EQ(buffer->getStatus(), 0) << "woken after " << woken << " s";
}

TEST_P(SoundContract, MissingOrBrokenFileThrows) {
  auto o = open(GetParam());
  EXPECT_THROW(
      o.device->createBufferFromFile(o.cue("missing.wav"), {kAllControls}),
      Failure);
  const auto text = std::filesystem::temp_directory_path() /
                    ("pelliwick-contract-" + GetParam().name + ".wav");
  std::ofstream(text) << "RIFF but not a sound";
  EXPECT_THROW(o.device->createBufferFromFile(text, {kAllControls}), Failure);
  std::filesystem::remove(text);
}

TEST_P(SoundContract, ControlNotAskedForThrows) {
  auto o = open(GetParam());
  auto none = o.device->createBufferFromFile(o.cue("ding.wav"), {0});
  EXPECT_THROW(none->setVolume(0), Failure);
  EXPECT_THROW(none->setPan(0), Failure);
  EXPECT_THROW(none->setFrequency(11026), Failure);
  EXPECT_NO_THROW(none->setCurrentPosition(0));
  auto volumeOnly =
      o.device->createBufferFromFile(o.cue("ding.wav"), {DSBCAPS_CTRLVOLUME});
  EXPECT_NO_THROW(volumeOnly->setVolume(-600));
  EXPECT_THROW(volumeOnly->setPan(-600), Failure);
}

TEST_P(SoundContract, ValuesOutOfRangeThrowAndTheLimitsAreTaken) {
  auto o = open(GetParam());
  auto buffer =
      o.device->createBufferFromFile(o.cue("ding.wav"), {kAllControls});
  for (int volume : {DSBVOLUME_MIN, DSBVOLUME_MAX}) {
    EXPECT_NO_THROW(buffer->setVolume(volume)) << volume;
  }
  for (int pan : {DSBPAN_LEFT, 0, DSBPAN_RIGHT}) {
    EXPECT_NO_THROW(buffer->setPan(pan)) << pan;
  }
  for (int hz : {DSBFREQUENCY_MIN, 8000, DSBFREQUENCY_MAX}) {
    EXPECT_NO_THROW(buffer->setFrequency(hz)) << hz;
  }
  for (int volume : {DSBVOLUME_MIN - 1, DSBVOLUME_MAX + 1}) {
    EXPECT_THROW(buffer->setVolume(volume), Failure) << volume;
  }
  for (int pan : {DSBPAN_LEFT - 1, DSBPAN_RIGHT + 1}) {
    EXPECT_THROW(buffer->setPan(pan), Failure) << pan;
  }
  for (int hz : {0, DSBFREQUENCY_MIN - 1, DSBFREQUENCY_MAX + 1}) {
    EXPECT_THROW(buffer->setFrequency(hz), Failure) << hz;
  }
  EXPECT_THROW(buffer->setCurrentPosition(1u << 30), Failure);
  EXPECT_THROW(buffer->play(2), Failure);
}

TEST_P(SoundContract, DroppingAPlayingCueIsSafe) {
  auto o = open(GetParam());
  for (int i = 0; i < 20; ++i) {
    auto buffer =
        o.device->createBufferFromFile(o.cue("wild.wav"), {kAllControls});
    buffer->play(i % 2 ? DSBPLAY_LOOPING : 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(i % 3));
    if (i % 4 == 0) buffer->stop();
  }
  // A buffer may outlive its device.
  auto last = o.device->createBufferFromFile(o.cue("wild.wav"), {kAllControls});
  last->play(0);
  o.device.reset();
  EXPECT_EQ(last->getStatus(), DSBSTATUS_PLAYING);
  last.reset();
}

TEST_P(SoundContract, CooperativeLevelNeedsAWindowAndAKnownLevel) {
  auto driver = GetParam().makeDriver();
  auto device = driver->createRoot()->directSoundCreate();
  for (int level = 1; level <= 4; ++level) {
    EXPECT_NO_THROW(device->setCooperativeLevel(driver->window(), level));
  }
  EXPECT_THROW(device->setCooperativeLevel(driver->window(), 0), Failure);
  EXPECT_THROW(device->setCooperativeLevel(driver->window(), 5), Failure);
  EXPECT_THROW(device->setCooperativeLevel(nullptr, DSSCL_PRIORITY), Failure);
}

}  // namespace
}  // namespace pelliwick::contract
