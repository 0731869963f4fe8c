// From a key in the window's queue to what the player hears: the first
// sound of its echo, and the end of the prompt it cuts. The real game code
// (line entry, key wait), the real speech engine and the real mixer.
#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "figures.h"
#include "game/form1.h"
#include "game_on_mixer.h"
#include "platform/system/system_clock.h"
#include "platform/system/system_random.h"

namespace pelliwick::bench {
namespace {

void pushKey(SDL_Keycode key, SDL_Scancode scancode) {
  SDL_Event event{};
  event.type = SDL_KEYDOWN;
  event.key.keysym.sym = key;
  event.key.keysym.scancode = scancode;
  SDL_PushEvent(&event);
}

void pushDigit(int digit) {
  pushKey(SDLK_0 + digit,
          digit == 0 ? SDL_SCANCODE_0
                     : static_cast<SDL_Scancode>(SDL_SCANCODE_1 + digit - 1));
}

}  // namespace

void keyToEchoAndPurge(SdlWindowSystem& window, int trials) {
  SystemClock clock;
  SystemRandom random;
  GameOnMixer game(window, clock, random, true);
  Form1 form(game.platform);
  form.createVoice();
  form.selectVoice(0);
  form.rate = form.readRate();
  form.setVolume(95);
  MixerDriver& driver = game.driver;

  // A pause ends on its time, to within a millisecond.
  std::vector<double> overshoot;
  for (int trial = 0; trial < trials; ++trial) {
    const auto start = Steady::now();
    form.dy(0.02);
    overshoot.push_back(1000 * (secondsBetween(start, Steady::now()) - 0.02));
  }
  printFigure("a pause of 20 ms: time past its end", overshoot, "ms", "< 1");

  // Key to echo: digits typed into a line entry, each in silence.
  std::vector<double> echo;
  int slowestDigit = -1;
  std::thread typist([&] {
    // A key typed before the line entry waits is forgotten, by design.
    std::this_thread::sleep_for(500ms);
    for (int trial = 0; trial < trials; ++trial) {
      if (!waitUntil([&] { return driver.silentFor(150ms); }, 10s)) break;
      const auto pressed = Steady::now();
      driver.watchFrom(pressed);
      pushDigit(trial % 10);
      if (const auto heard = driver.firstSound(2s)) {
        echo.push_back(1000 * secondsBetween(pressed, *heard));
        if (echo.back() >= *std::max_element(echo.begin(), echo.end())) {
          slowestDigit = trial % 10;
        }
      }
    }
    waitUntil([&] { return driver.silentFor(150ms); }, 10s);
    pushKey(SDLK_RETURN, SDL_SCANCODE_RETURN);
  });
  form.getter(L" ");
  typist.join();
  printFigure("key to the first sound of its echo", echo, "ms",
              "median <= 15, worst <= 25");
  printValue("  the worst was the echo of the digit", slowestDigit, "", "");
  printValue("device period (the mixer renders one at a time)",
             1000 * driver.periodSeconds(), "ms", "");

  // Purge: a key cuts a long prompt a moment after it became audible. The
  // next prompt waits until the cut one has been measured.
  std::vector<double> purge;
  std::atomic<int> allowed{0};
  std::atomic<int> cut{0};
  std::thread cutter([&] {
    for (int trial = 0; trial < trials; ++trial) {
      driver.watchFrom(Steady::now());
      allowed = trial + 1;
      if (!driver.firstSound(5s)) break;
      std::this_thread::sleep_for(
          std::chrono::milliseconds(200 + 7 * trial % 100));
      const auto pressed = Steady::now();
      pushKey(SDLK_a, SDL_SCANCODE_A);
      waitUntil([&] { return cut == trial + 1; }, 5s);
      std::this_thread::sleep_for(300ms);
      purge.push_back(
          std::max(0.0, 1000 * secondsBetween(pressed, driver.lastSound())));
    }
    allowed = -1;
    pushKey(SDLK_a, SDL_SCANCODE_A);  // for a prompt that was never heard
  });
  for (;;) {
    waitUntil([&] { return allowed < 0 || allowed > cut; }, 10s);
    if (allowed < 0) break;
    form.say2(L" Enter your guess, a number between 0 and 100 ");
    form.getkey();
    ++cut;
  }
  cutter.join();
  printFigure("key to the last sound of the prompt it cuts", purge, "ms",
              "<= one device period (" +
                  std::to_string(static_cast<int>(
                      std::lround(1000 * driver.periodSeconds()))) +
                  " ms)");
}

}  // namespace pelliwick::bench
