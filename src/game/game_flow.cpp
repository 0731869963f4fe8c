// The game from the window's load event to the end of the program.
#include <cmath>
#include <string>

#include "game/form1.h"
#include "game/number_reading.h"
#include "platform/failure.h"

namespace pelliwick {
namespace {

// From voice discovery on, every action is guarded on its own: a failing
// action is skipped and the game goes on with the next one.
template <typename Action>
void guarded(Action&& action) {
  try {
    action();
  } catch (const Failure&) {
  }
}

// A number as spoken in the result: one leading blank.
std::wstring numberText(double value) {
  return L" " + std::to_wstring(static_cast<long long>(value));
}

}  // namespace

void Form1::Form_Load() {
  // Start-up: a failure here ends the program with its report.
  platform_.window.show(L"Form1");
  freq = 11026;
  openSoundDevice();
  createVoice();

  try {
    // Count the voices: the first selection that fails ends the count.
    voicecount = 0;
    try {
      for (;;) {
        selectVoice(voicecount);
        voicecount = voicecount + 1;
      }
    } catch (const Failure&) {
    }

    if (voicecount == 0) {
      guarded([&] {
        const std::wstring message =
            L"Sorry but I couldn't find any voices to use\rPlease contact "
            L"Orvanne";
        // Nothing can be spoken, and screen readers do not read the box:
        // braille is the only way the player learns of it.
        platform_.braille.show(message);
        platform_.window.messageBox(message);
      });
    } else {
      playRounds();
    }
  } catch (const ProgramClosed&) {
    // The player closed the window: end at once, in the usual order.
  }
  shutdown();
}

void Form1::playRounds() {
  guarded([&] { play2(L"wild"); });
  guarded([&] { voicenum = 0; });
  guarded([&] { selectVoice(0); });
  guarded([&] { rate = readRate(); });
  guarded([&] { setRate(rate); });
  guarded([&] { setVolume(95); });
  guarded([&] { say(L" Pelliwick By Orvanne "); });
  guarded([&] { dy(0.5); });

  int guesses = 0;
  float target = 0;
  // Kept from entry to entry, and from round to round: an entry that cannot
  // be read leaves the previous value.
  double guessvalue = 0;
  for (;;) {
    guarded([&] { guesses = 0; });
    guarded([&] {
      platform_.random.reseed(platform_.clock.secondsSinceMidnight());
    });
    guarded([&] {
      // The product stays in double precision: rounding it to single first
      // could turn 99.999... into 100 and draw 101.
      target =
          static_cast<float>(std::floor(platform_.random.next() * 100.0) + 1);
    });

    for (;;) {
      guarded(
          [&] { getter(L" Enter your guess, a number between 0 and 100 "); });
      guarded([&] { guesses = guesses + 1; });
      guarded([&] { guessvalue = readNumber(answer); });
      if (guessvalue < target) {
        guarded([&] { play(L"dong"); });
        guarded([&] { say(L" sorry your guess was too low "); });
        guarded([&] { dy(0.2); });
      } else if (guessvalue > target) {
        guarded([&] { play(L"dong"); });
        guarded([&] { say(L" sorry your guess was too high "); });
        guarded([&] { dy(0.2); });
      } else {
        break;
      }
    }

    guarded([&] { say(L" Yes! you got it "); });
    guarded([&] { freq = 11026; });
    guarded([&] { play3(L"ding", -1111, 0); });
    guarded([&] { play3(L"ding", 1111, 0); });
    guarded([&] { freq = 8000; });
    guarded([&] { play3(L"ding", 0, -888); });
    guarded([&] { freq = 11026; });
    guarded([&] { play3(L"ding", 0, -444); });
    guarded([&] { freq = 15000; });
    guarded([&] { play(L"ding"); });
    guarded([&] { freq = 11026; });
    guarded([&] { say(L" the number was " + numberText(target)); });
    guarded(
        [&] { say2(L" it took you " + numberText(guesses) + L" guesses"); });
    guarded([&] { dy(0.3); });

    // Play again? Anything but y or n asks again.
    for (;;) {
      guarded([&] { clk(); });
      guarded([&] { say2(L" do you want to play again? "); });
      guarded([&] { say2(L" press y or n "); });
      guarded([&] { getkey(); });
      if (keychar == L"y") break;
      if (keychar == L"n") {
        guarded([&] { say(L"Thank you for playing Pelliwick By Orvanne"); });
        guarded([&] { say(L"Exiting program"); });
        return;
      }
    }
  }
}

void Form1::shutdown() {
  buf.reset();
  dx.reset();
  ds.reset();
  Voice.reset();
  platform_.window.close();
}

}  // namespace pelliwick
