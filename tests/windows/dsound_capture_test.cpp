// What DirectSound under Wine really sends to the sound card, read back from
// the recording sound-run.sh makes of its private sound server (16-bit
// stereo at 44100 Hz).
#include "platform/win32/dsound_system.h"
#include "sound_contract.h"
// (after the game's names)
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <thread>

#include "platform/win32/com_apartment.h"
#include "platform/win32/program_folder.h"

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

// Plays, stops after `cutAfter` (or drops the buffer then, when given its
// only owner), waits for the status to fall, and returns what was recorded.
Recorded record(SoundBuffer* buffer, std::shared_ptr<SoundBuffer>* owner,
                std::chrono::milliseconds cutAfter) {
  const auto before = std::filesystem::file_size(kCapture) & ~std::uintmax_t{3};
  buffer->setCurrentPosition(0);
  buffer->play(0);
  if (cutAfter.count() > 0) {
    std::this_thread::sleep_for(cutAfter);
    if (owner) {
      owner->reset();
    } else {
      buffer->stop();
    }
  }
  while (!owner && buffer->getStatus() != 0) Sleep(2);
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

Recorded record(SoundBuffer& buffer, std::chrono::milliseconds cutAfter = {}) {
  return record(&buffer, nullptr, cutAfter);
}

Recorded record(std::shared_ptr<SoundBuffer>& owner,
                std::chrono::milliseconds cutAfter) {
  return record(owner.get(), &owner, cutAfter);
}

// Crossings of zero per second on the left: a measure of pitch.
double crossingsPerSecond(const Recorded& r) {
  int crossings = 0;
  for (std::size_t i = r.first + 1; i <= r.last; ++i) {
    crossings += (r.at(i - 1, 0) < 0) != (r.at(i, 0) < 0);
  }
  return crossings / r.seconds();
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
  // The first cue on a freshly opened device loses part of its start while
  // the server's stream fills: heard once first, so that every level below
  // is compared with a whole cue.
  record(*ding);
  const Recorded plain = record(*ding);
  ASSERT_LT(plain.first, plain.last) << "nothing was recorded";
  std::printf("play to first sample, as recorded: %.1f ms\n",
              plain.first / kRate * 1000);
  // ding.wav holds 0.35 s at 11025 Hz.
  EXPECT_NEAR(plain.seconds(), 0.35 * 11025 / 11026, 0.02);
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
  EXPECT_NEAR(higher.seconds(), 0.35 * 11025 / 15000, 0.02);
  EXPECT_NEAR(crossingsPerSecond(higher) / crossingsPerSecond(plain),
              15000.0 / 11026, 0.05);
  DestroyWindow(window);
}

// A test cue whose cut would be plain to see: a level that never comes
// near zero (a slow 100 Hz wave on top of a steady offset), reached after a
// soft start, for two seconds at 11025 Hz.
std::filesystem::path writeSteadyCue() {
  const auto file = std::filesystem::temp_directory_path() / "steady.wav";
  std::vector<std::int16_t> samples(2 * 11025);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    const double t = static_cast<double>(i) / 11025;
    const double rise = std::min(1.0, t / 0.02);
    samples[i] = static_cast<std::int16_t>(
        rise * (12000 + 4000 * std::sin(2 * 3.14159265358979 * 100 * t)));
  }
  std::ofstream out(file, std::ios::binary);
  auto put = [&](std::uint32_t value, int bytes) {
    for (int b = 0; b < bytes; ++b) out.put(static_cast<char>(value >> 8 * b));
  };
  const auto data = static_cast<std::uint32_t>(samples.size() * 2);
  out.write("RIFF", 4);
  put(36 + data, 4);
  out.write("WAVEfmt ", 8);
  for (const auto& [value, bytes] : {std::pair{16u, 4},
                                     {1u, 2},
                                     {1u, 2},
                                     {11025u, 4},
                                     {22050u, 4},
                                     {2u, 2},
                                     {16u, 2}}) {
    put(value, bytes);
  }
  out.write("data", 4);
  put(data, 4);
  out.write(reinterpret_cast<const char*>(samples.data()), data);
  return file;
}

// A stop, or dropping the buffer, in the middle of a cue fades it out: no
// step between two recorded samples at its end is steeper than the fade's. Cut
// off hard, the level falls by 12000 within a few samples.
TEST(DirectSoundCapture, AStopOrADropFadesOutInsteadOfClicking) {
  win32::ComApartment com;
  HWND window = CreateWindowExW(0, L"STATIC", L"capture", 0, 0, 0, 10, 10,
                                nullptr, nullptr, nullptr, nullptr);
  DirectSoundSystem system;
  auto device = system.createRoot()->directSoundCreate();
  device->setCooperativeLevel(window, DSSCL_PRIORITY);
  const auto cue = writeSteadyCue();
  for (const bool dropped : {false, true}) {
    SCOPED_TRACE(dropped ? "dropped" : "stopped");
    auto buffer = device->createBufferFromFile(cue, {0xE0});
    buffer->setFrequency(11026);
    const Recorded r = dropped
                           ? record(buffer, std::chrono::milliseconds(400))
                           : record(*buffer, std::chrono::milliseconds(400));
    ASSERT_LT(r.first, r.last) << "nothing was recorded in " << r.frames();
    // The cue lasts 2 s: this is the cut, not the end.
    EXPECT_LT(r.seconds(), 0.6);
    // (The start is not ours to judge: Wine begins a few milliseconds in.)
    int steepest = 0;
    for (std::size_t i = r.last - 30 * 44; i <= r.last + 1 && i < r.frames();
         ++i) {
      steepest = std::max(steepest, std::abs(r.at(i, 0) - r.at(i - 1, 0)));
    }
    std::printf("%s: steepest step %d\n", dropped ? "drop" : "stop", steepest);
    // The fade: 12000 over 3 ms (132 samples), plus the wave's own slope.
    EXPECT_LT(steepest, 400);
  }
  std::filesystem::remove(cue);
  DestroyWindow(window);
}

}  // namespace
}  // namespace pelliwick
