// Ctrl: raise or lower the speech rate with the arrow keys, by ear.
#include <string>

#include "game/form1.h"
#include "platform/key_codes.h"

namespace pelliwick {

void Form1::adjrate() {
  bool instruct = true;
  for (;;) {
    if (instruct) {
      clk();
      setRate(rate);
      say2(
          L"to adjust the speech rate, use the arrow keys and then press "
          L"enter");
      say2(std::to_wstring(rate));
      instruct = false;
    }

    // A wait of its own: no hot keys, and speech goes on when a key comes.
    keycode.clear();
    pumpUntilKey();

    if (keycode == keys::Up || keycode == keys::Down) {
      rate = keycode == keys::Up ? rate + 1 : rate - 1;
      setRate(rate);
      stopspeech();
      say2(std::to_wstring(rate));
    } else if (keycode == keys::Enter) {
      clk();
      keycode = keys::F1;
      return;
    } else {
      instruct = true;
    }
  }
}

}  // namespace pelliwick
