// F4: walk through the installed voices, each asking in its own voice.
#include "game/form1.h"
#include "platform/key_codes.h"

namespace pelliwick {

namespace {

// F4 inside the chooser opens another one. Holding F4 would stack them
// without end until the stack overflows; past this depth the F4 comes back
// to the chooser that waited for it as an ordinary key, which asks again.
constexpr int kMostNestedChoosers = 8;

}  // namespace

void Form1::changevoice() {
  if (chooserDepth_ >= kMostNestedChoosers) return;
  ++chooserDepth_;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{chooserDepth_};

  // Next voice, wrapping from the last to the first. A voice whose speech
  // server has gone would sound as the next one there is: it is passed over.
  auto nextVoice = [this] {
    for (int passed = 0; passed < voicecount; ++passed) {
      voicenum = voicenum + 1;
      if (voicenum + 1 > voicecount) voicenum = 0;
      if (Voice->voiceAvailable(voicenum)) break;
    }
    selectVoice(voicenum);
  };
  // The voice in use too, so that the walk never offers one voice twice.
  if (voicecount != 1 && !Voice->voiceAvailable(voicenum)) nextVoice();

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
      if (keycode == keys::Up || keycode == keys::Down) {
        choice = choice == Yes ? No : Yes;
        continue;
      }
      if (keycode != keys::Enter) {
        ask = true;  // F1, a nested dialog's mark, or any other key
        continue;
      }
      if (choice == Yes) break;
    }

    nextVoice();
    ask = true;
  }
  clk();
  keycode = keys::F1;
}

}  // namespace pelliwick
