// Spoken line entry: every key is echoed, the text lives in `answer`, and
// the braille display shows the prompt with the answer as it is typed.
#include "game/form1.h"
#include "input/key_char.h"
#include "platform/key_codes.h"

namespace pelliwick {

void Form1::getter(const std::wstring& prompt) {
  bool shiftflag = false;  // survives a restart on F1
  for (;;) {
    clk();
    say2(prompt);
    answer.clear();
    for (;;) {
      getkey();
      if (keycode == keys::F1) break;  // F1, or a dialog asking for the prompt
      if (keycode == keys::Shift) {
        shiftflag = true;
        continue;
      }
      if (shiftflag) {
        shiftflag = false;
        keychar = upperCase(keychar);
      }
      if (keycode == keys::Backspace) {
        if (!answer.empty()) {
          keychar = answer.substr(answer.size() - 1);
          saykey();
          answer.pop_back();
          platform_.braille.showEntry(prompt, answer);
        }
        continue;
      }
      if (keycode == keys::Enter) return;
      saykey();
      answer += keychar;
      platform_.braille.showEntry(prompt, answer);
    }
  }
}

}  // namespace pelliwick
