#include "game/form1.h"

#include "platform/key_codes.h"

namespace pelliwick {

Form1::Form1(Platform& platform)
    : hotKeys{{{keys::Ctrl, [this] { adjrate(); }},
               {keys::F4, [this] { changevoice(); }}}},
      platform_(platform) {
  // The window's key-down event.
  platform_.window.setKeyDownHandler(
      [this](int keyCode, int shift) { Form_KeyDown(keyCode, shift); });
}

Form1::~Form1() = default;

void Form1::idle(WaitingFor reason) {
  // Between two passes of a wait loop: a key, or the end of a cue, can only
  // come with an event, so sleep until one is pending.
  platform_.window.idle(reason, kUntilAnEvent);
}

}  // namespace pelliwick
