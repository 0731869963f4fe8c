// F4: walk through the installed voices, each asking in its own voice.
#include "game/form1.h"

namespace pelliwick {

void Form1::changevoice() {
  enum { Yes = 1, No = 2 };
  bool ask = true;
  int choice = No;
  // With one voice there is nothing to choose.
  while (voicecount != 1) {
    if (ask) {
      clk();
      say2(L"do you want to use this voice");
      choice = No;
      ask = false;
    }
    say2(choice == Yes ? L" yes " : L" no ");
    getkey();

    if (keychar == L"y") break;
    if (keychar != L"n") {
      if (keycode == L"38" || keycode == L"40") {
        choice = choice == Yes ? No : Yes;
        continue;
      }
      if (keycode != L"13") {
        ask = true;  // F1, a nested dialog's mark, or any other key
        continue;
      }
      if (choice == Yes) break;
    }

    // Next voice, wrapping from the last to the first.
    voicenum = voicenum + 1;
    if (voicenum + 1 > voicecount) voicenum = 0;
    selectVoice(voicenum);
    ask = true;
  }
  clk();
  keycode = L"112";
}

}  // namespace pelliwick
