// The key record and the waits built on it: forget the last key, wait for a
// new one (with the hot keys), and pause.
#include <chrono>

#include "game/form1.h"
#include "input/key_char.h"

namespace pelliwick {

void Form1::Form_KeyDown(int keyCode, int /*shift*/) {
  // One key at a time: a new key simply overwrites the record.
  keycode = std::to_wstring(keyCode);
  keychar = keyCharFor(keyCode);
}

void Form1::clk() {
  // A key that arrives during the first pump keeps its code but loses its
  // character; one that arrives during the second stays whole.
  keycode.clear();
  platform_.window.pumpEvents();
  keychar.clear();
  platform_.window.pumpEvents();
}

void Form1::getkey() {
  clk();
  pumpUntilKey();
  stopspeech();
  // Each test sees the key code as the previous entry's dialog left it.
  for (const HotKey& hotKey : hotKeys) {
    if (keycode == hotKey.code && hotKey.dialog) hotKey.dialog();
  }
}

void Form1::pumpUntilKey() {
  for (;;) {
    platform_.window.pumpEvents();
    if (!keycode.empty()) return;
    idle(WaitingFor::Key);
  }
}

void Form1::dy(double seconds) {
  // Measured on a clock that does not wrap at midnight.
  const double end = platform_.clock.monotonicSeconds() + seconds;
  for (;;) {
    platform_.window.pumpEvents();
    const double left = end - platform_.clock.monotonicSeconds();
    if (left < 0) break;
    // Keys still reach the handler during the pause: they wake the wait.
    platform_.window.idle(
        WaitingFor::Time,
        std::chrono::microseconds(static_cast<long long>(left * 1e6) + 1));
  }
}

}  // namespace pelliwick
