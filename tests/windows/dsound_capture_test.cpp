// What DirectSound under Wine really sends to the sound card, read back from
// the recording sound-run.sh makes of its private sound server (16-bit
// stereo at 44100 Hz).
#include "sound_contract.h"
#include "win32/dsound_system.h"
// (after the game's names)
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <thread>

#include "win32/com_apartment.h"
#include "win32/program_folder.h"

namespace pelliwick {
namespace {

constexpr double kRate = 44100;
const std::filesystem::path kCapture = PELLIWICK_CAPTURE_FILE;

struct Recorded {
  std::vector<std::int16_t> samples;  // interleaved left, right
  std::size_t first = 0, last = 0;    // frames that sound
  double left = 0, right = 0;         // energies
  std::size_t frames() const { return samples.size() / 2; }
  double seconds() const { return (last - first) / kRate; }
  int at(std::size_t frame, int side) const {
    return samples[2 * frame + static_cast<std::size_t>(side)];
  }
};

// Plays, waits for the status to fall, and returns what was recorded.
Recorded record(SoundBuffer& buffer, std::chrono::milliseconds stopAfter = {}) {
  const auto before = std::filesystem::file_size(kCapture) & ~std::uintmax_t{3};
  buffer.setCurrentPosition(0);
  buffer.play(0);
  if (stopAfter.count() > 0) {
    std::this_thread::sleep_for(stopAfter);
    buffer.stop();
  }
  while (buffer.getStatus() != 0) Sleep(2);
  Sleep(500);  // the recording lags the sound
  std::ifstream in(kCapture, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(before));
  Recorded r;
  std::int16_t frame[2];
  while (in.read(reinterpret_cast<char*>(frame), sizeof frame)) {
    r.samples.insert(r.samples.end(), frame, frame + 2);
  }
  r.first = r.frames();
  for (std::size_t i = 0; i < r.frames(); ++i) {
    if (std::abs(r.at(i, 0)) > 8 || std::abs(r.at(i, 1)) > 8) {
      r.first = std::min(r.first, i);
      r.last = i;
    }
    r.left += double(r.at(i, 0)) * r.at(i, 0);
    r.right += double(r.at(i, 1)) * r.at(i, 1);
  }
  return r;
}

double decibels(double energy, double reference) {
  return 10 * std::log10(energy / reference);
}

TEST(DirectSoundCapture, TheCardGetsTheCueWithItsLengthPanVolumeAndPitch) {
  win32::ComApartment com;
  HWND window = CreateWindowExW(0, L"STATIC", L"capture", 0, 0, 0, 10, 10,
                                nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  DirectSoundSystem system;
  auto device = system.createRoot()->directSoundCreate();
  device->setCooperativeLevel(window, DSSCL_PRIORITY);
  auto ding =
      device->createBufferFromFile(win32::programFolder() / "ding.wav", {0xE0});
  ding->setFrequency(11026);
  const Recorded plain = record(*ding);
  ASSERT_LT(plain.first, plain.last) << "nothing was recorded";
  std::printf("play to first sample, as recorded: %.1f ms\n",
              plain.first / kRate * 1000);
  // ding.wav holds 0.35 s at 11025 Hz.
  EXPECT_NEAR(plain.seconds(), 0.35 * 11025 / 11026, 0.01);
  EXPECT_NEAR(decibels(plain.right, plain.left), 0, 0.1);

  ding->setPan(-1111);
  const Recorded panned = record(*ding);
  EXPECT_NEAR(decibels(panned.right, panned.left), -11.11, 0.3);
  EXPECT_NEAR(decibels(panned.left, plain.left), 0, 0.3);

  ding->setPan(0);
  ding->setVolume(-600);
  const Recorded quieter = record(*ding);
  EXPECT_NEAR(decibels(quieter.left, plain.left), -6, 0.3);

  ding->setVolume(0);
  ding->setFrequency(15000);
  const Recorded higher = record(*ding);
  EXPECT_NEAR(higher.seconds(), 0.35 * 11025 / 15000, 0.01);
  DestroyWindow(window);
}

// A stop in the middle of a cue fades it out: the last millisecond that
// sounds is far quieter than the cue was just before.
TEST(DirectSoundCapture, AStopFadesOutInsteadOfClicking) {
  win32::ComApartment com;
  HWND window = CreateWindowExW(0, L"STATIC", L"capture", 0, 0, 0, 10, 10,
                                nullptr, nullptr, nullptr, nullptr);
  DirectSoundSystem system;
  auto device = system.createRoot()->directSoundCreate();
  device->setCooperativeLevel(window, DSSCL_PRIORITY);
  for (const bool dropped : {false, true}) {
    SCOPED_TRACE(dropped ? "dropped" : "stopped");
    auto wild = device->createBufferFromFile(
        win32::programFolder() / "wild.wav", {0xE0});
    Recorded r;
    if (dropped) {
      const auto before =
          std::filesystem::file_size(kCapture) & ~std::uintmax_t{3};
      wild->play(0);
      Sleep(400);
      wild.reset();
      Sleep(600);
      std::ifstream in(kCapture, std::ios::binary);
      in.seekg(static_cast<std::streamoff>(before));
      Recorded raw;
      std::int16_t frame[2];
      while (in.read(reinterpret_cast<char*>(frame), sizeof frame)) {
        raw.samples.insert(raw.samples.end(), frame, frame + 2);
      }
      r = raw;
      r.first = r.frames();
      for (std::size_t i = 0; i < r.frames(); ++i) {
        if (std::abs(r.at(i, 0)) > 8)
          r.first = std::min(r.first, i), r.last = i;
      }
    } else {
      r = record(*wild, std::chrono::milliseconds(400));
    }
    ASSERT_LT(r.first, r.last) << "nothing was recorded";
    // wild.wav lasts 1.5 s: this is the cut, not the end.
    EXPECT_LT(r.seconds(), 0.6);
    const auto ms = static_cast<std::size_t>(kRate / 1000);
    int before = 0, lastMs = 0;
    for (std::size_t i = r.last - 20 * ms; i < r.last - 5 * ms; ++i) {
      before = std::max(before, std::abs(r.at(i, 0)));
    }
    for (std::size_t i = r.last - ms; i <= r.last; ++i) {
      lastMs = std::max(lastMs, std::abs(r.at(i, 0)));
    }
    std::printf("peak before the cut %d, in its last millisecond %d\n", before,
                lastMs);
    EXPECT_GT(before, 5000);
    EXPECT_LT(lastMs, before / 4);
  }
  DestroyWindow(window);
}

}  // namespace
}  // namespace pelliwick
