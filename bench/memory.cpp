// Resident size over whole games played by script: the real game code, its
// real window, speech engine and mixer, with the mixer rendered as fast as
// it can and the pauses skipped, so that 200 rounds take seconds.
#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "figures.h"
#include "game/form1.h"
#include "game_on_mixer.h"
#include "platform/failure.h"

namespace pelliwick::bench {
namespace {

// A clock whose pauses pass at once.
class SkippingClock : public pelliwick::Clock {
 public:
  float secondsSinceMidnight() override {
    return static_cast<float>(std::fmod(monotonicSeconds(), 86400.0));
  }
  double monotonicSeconds() override {
    return secondsBetween(start_, Steady::now()) + skipped;
  }
  double skipped = 0;

 private:
  Steady::time_point start_ = Steady::now();
};

// Always the same number to find: 51.
class FixedRandom : public RandomSource {
 public:
  void reseed(double) override {}
  double next() override { return 0.505; }
};

// The real window, with the keys of the script given at each key wait and
// the pauses skipped.
class ScriptedWindow : public WindowSystem {
 public:
  ScriptedWindow(SdlWindowSystem& real, SkippingClock& clock,
                 std::function<void()> onRound)
      : real_(real), clock_(clock), onRound_(std::move(onRound)) {}

  std::deque<int> keys;

  void show(const std::wstring& caption) override { real_.show(caption); }
  void setKeyDownHandler(KeyDownHandler handler) override {
    handler_ = handler;
    real_.setKeyDownHandler(std::move(handler));
  }
  void pumpEvents() override {
    real_.pumpEvents();
    if (!waitingForKey_) return;
    waitingForKey_ = false;
    if (keys.empty()) throw ProgramClosed();
    const int key = keys.front();
    keys.pop_front();
    if (key == 'Y') onRound_();
    handler_(key, 0);
  }
  void idle(WaitingFor reason, std::chrono::microseconds atMost) override {
    if (reason == WaitingFor::Key) {
      waitingForKey_ = true;
    } else if (reason == WaitingFor::Time) {
      clock_.skipped += static_cast<double>(atMost.count()) / 1e6;
    } else {
      real_.idle(reason, atMost);
    }
  }
  WindowHandle handle() override { return real_.handle(); }
  void messageBox(const std::wstring& text) override { real_.messageBox(text); }
  // The window stays: the benchmark's process ends right after.
  void close() override {}

 private:
  SdlWindowSystem& real_;
  SkippingClock& clock_;
  std::function<void()> onRound_;
  KeyDownHandler handler_;
  bool waitingForKey_ = false;
};

}  // namespace

void memoryOverRounds(SdlWindowSystem& window, int rounds) {
  SkippingClock clock;
  FixedRandom random;
  std::vector<double> resident;
  double peakAfterOneGame = 0;
  ScriptedWindow scripted(window, clock, [&] {
    if (resident.empty()) peakAfterOneGame = peakResidentMegabytes();
    resident.push_back(residentMegabytes());
  });
  // A low guess, the right one, then play again; "n" after the last.
  for (int round = 0; round <= rounds; ++round) {
    for (const int key : {int{'5'}, int{'0'}, 13, int{'5'}, int{'1'}, 13})
      scripted.keys.push_back(key);
    scripted.keys.push_back(round < rounds ? 'Y' : 'N');
  }
  {
    GameOnMixer game(scripted, clock, random, false);
    Form1 form(game.platform);
    form.Form_Load();
  }
  if (resident.size() < 20) {
    printValue("memory: the scripted game did not finish", 0, "", "");
    return;
  }
  // The kernel brings its peak up to date lazily: take the larger.
  const double peak =
      std::max({peakResidentMegabytes(), peakAfterOneGame,
                *std::max_element(resident.begin(), resident.end())});
  printValue("peak resident size over one whole game", peakAfterOneGame, "MB",
             "<= 20");
  printValue(
      "peak resident size over " + std::to_string(rounds + 1) + " rounds", peak,
      "MB", "<= 20");
  printValue(
      "resident growth, round 10 to round " + std::to_string(resident.size()),
      resident.back() - resident[9], "MB", "0 (no growth)");
}

}  // namespace pelliwick::bench
