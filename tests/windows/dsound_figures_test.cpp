// Figures for the note, printed: how soon after a cue's end the game's wait
// is woken, and what the process costs while a cue plays and while it
// waits with the device open. The bounds only catch a gross fault.
#include "platform/win32/dsound_system.h"
// (after the game's names)
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform/win32/com_apartment.h"
#include "platform/win32/program_folder.h"
#include "platform/win32/win32_messages.h"

namespace pelliwick {
namespace {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Waits for a wake message on this thread's window, sleeping meanwhile.
Clock::time_point waitForWake() {
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == win32::kWakeMessage) return Clock::now();
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 3000, QS_ALLINPUT);
  }
}

// Processor time of the whole process, Wine's own threads included, as a
// share of one core over `during`.
template <class Action>
double cpuShare(Action during) {
  auto cpu = [] {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto value = [](FILETIME t) {
      return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (value(kernel) + value(user)) / 1e7;
  };
  const double before = cpu();
  const auto start = Clock::now();
  during();
  return (cpu() - before) / (milliseconds(Clock::now() - start) / 1000);
}

TEST(DirectSoundFigures, WakeDelayAndProcessorTime) {
  win32::ComApartment com;
  HWND window = CreateWindowExW(0, L"STATIC", L"figures", 0, 0, 0, 10, 10,
                                nullptr, nullptr, nullptr, nullptr);
  DirectSoundSystem system;
  auto device = system.createRoot()->directSoundCreate();
  device->setCooperativeLevel(window, DSSCL_PRIORITY);
  const auto folder = win32::programFolder();

  // The status is watched from a second thread as closely as it can be;
  // the wake is what the game's wait gets.
  std::vector<double> delays;
  for (int round = 0; round < 8; ++round) {
    auto ding = device->createBufferFromFile(folder / "ding.wav", {0xE0});
    ding->setFrequency(11026);
    std::atomic<Clock::rep> fell{0};
    ding->play(0);
    std::thread watch([&] {
      while (ding->getStatus() != 0) std::this_thread::yield();
      fell = Clock::now().time_since_epoch().count();
    });
    const auto woken = waitForWake();
    watch.join();
    delays.push_back(
        milliseconds(woken - Clock::time_point(Clock::duration(fell.load()))));
  }
  std::sort(delays.begin(), delays.end());
  std::printf(
      "wake after the status fell: min %.2f ms, median %.2f ms, max "
      "%.2f ms\n",
      delays.front(), delays[delays.size() / 2], delays.back());
  EXPECT_LT(delays.back(), 50);

  auto wild = device->createBufferFromFile(folder / "wild.wav", {0xE0});
  const double playing = cpuShare([&] {
    wild->play(0);
    waitForWake();
  });
  wild.reset();
  // The device stays open for 3 s after the last buffer has gone, and then
  // lets Wine's mixer rest.
  const double lingering = cpuShare([] { Sleep(2000); });
  Sleep(1500);
  const double idle = cpuShare([] { Sleep(3000); });
  std::printf(
      "process CPU while a cue plays and the game waits: %.2f%% of a "
      "core\n",
      100 * playing);
  std::printf(
      "process CPU in the 2 s after a cue (device open): %.2f%% of a "
      "core\n",
      100 * lingering);
  std::printf(
      "process CPU waiting after that (device let go): %.2f%% of a "
      "core\n",
      100 * idle);
  EXPECT_LT(playing, 0.25);
  EXPECT_LT(idle, 0.005);

  // The next cue opens the device again and plays whole.
  const auto start = Clock::now();
  auto ding = device->createBufferFromFile(folder / "ding.wav", {0xE0});
  std::printf("buffer made with the device opened again: %.1f ms\n",
              milliseconds(Clock::now() - start));
  ding->setFrequency(11026);
  ding->play(0);
  const auto played = milliseconds(waitForWake() - start);
  EXPECT_EQ(ding->getStatus(), 0);
  // (A device just opened takes its first 50 ms or so at once, while the
  // sound server's buffer fills: the status falls that much early.)
  EXPECT_GT(played, 250);
  DestroyWindow(window);
}

}  // namespace
}  // namespace pelliwick
