// CPU of three ways to wait for a key in the same window: the event pump
// called back to back, a pump every 10 ms, and the game's own wait, which
// sleeps until an event comes.
#include <SDL.h>

#include <array>
#include <string>
#include <vector>

#include "bench_support.h"
#include "figures.h"

namespace pelliwick::bench {
namespace {

enum class Wait { BackToBack, EveryTenMs, UntilAnEvent };

void waitForKey(SdlWindowSystem& window, Wait how, const bool& gotKey) {
  for (;;) {
    window.pumpEvents();
    if (gotKey) return;
    if (how == Wait::EveryTenMs) window.idle(WaitingFor::Key, 10ms);
    if (how == Wait::UntilAnEvent) window.idle(WaitingFor::Key, kUntilAnEvent);
  }
}

double ratio(const std::vector<double>& slow, const std::vector<double>& fast) {
  std::vector<double> a = slow;
  std::vector<double> b = fast;
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  const double denominator = b[b.size() / 2];
  return denominator > 0 ? a[a.size() / 2] / denominator : 0;
}

}  // namespace

void idleWaits(SdlWindowSystem& window, int trials) {
  constexpr auto kTrial = 300ms;
  bool gotKey = false;
  window.setKeyDownHandler([&](int, int) { gotKey = true; });
  const std::array<Wait, 3> waits = {Wait::BackToBack, Wait::EveryTenMs,
                                     Wait::UntilAnEvent};
  std::array<std::vector<double>, 3> process;
  std::array<std::vector<double>, 3> mainThread;
  for (int trial = 0; trial < trials; ++trial) {
    for (std::size_t w = 0; w < waits.size(); ++w) {
      window.pumpEvents();
      gotKey = false;
      std::thread typist([&] {
        std::this_thread::sleep_for(kTrial);
        SDL_Event key{};
        key.type = SDL_KEYDOWN;
        key.key.keysym.sym = SDLK_5;
        key.key.keysym.scancode = SDL_SCANCODE_5;
        SDL_PushEvent(&key);
      });
      const auto start = Steady::now();
      const double process0 = processCpuSeconds();
      const double main0 = threadCpuSeconds();
      waitForKey(window, waits[w], gotKey);
      const double main1 = threadCpuSeconds();
      const double process1 = processCpuSeconds();
      const double wall = secondsBetween(start, Steady::now());
      typist.join();
      process[w].push_back(100 * (process1 - process0) / wall);
      mainThread[w].push_back(100 * (main1 - main0) / wall);
    }
  }
  const std::array<std::string, 3> names = {"back-to-back pump",
                                            "pump every 10 ms",
                                            "the game's wait (until an event)"};
  for (std::size_t w = 0; w < waits.size(); ++w) {
    printFigure("idle CPU, process: " + names[w], process[w], "% core",
                w == 2 ? "<= 0.2" : "");
    printFigure("idle CPU, main thread: " + names[w], mainThread[w], "% core",
                w == 2 ? "~0" : "");
  }
  std::vector<double> others;
  for (std::size_t i = 0; i < process[2].size(); ++i) {
    others.push_back(process[2][i] - mainThread[2][i]);
  }
  printFigure("idle CPU, other threads (mostly the audio device)", others,
              "% core", "");
  printValue("ratio back-to-back / the game's wait, process",
             ratio(process[0], process[2]), "x", ">= 500");
  printValue("ratio every 10 ms / the game's wait, process",
             ratio(process[1], process[2]), "x", "");
  printValue("ratio back-to-back / the game's wait, main thread",
             ratio(mainThread[0], mainThread[2]), "x",
             "(0: the game's wait used no measurable CPU)");
}

}  // namespace pelliwick::bench
