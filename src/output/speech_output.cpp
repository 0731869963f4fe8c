// Speech: the one voice, its rate and volume, and the key echo.
#include "game/form1.h"
#include "input/key_codes.h"

namespace pelliwick {

void Form1::createVoice() { Voice = platform_.speech.createVoice(); }

void Form1::selectVoice(int index) { Voice->selectVoice(index); }

int Form1::readRate() { return Voice->rate(); }

void Form1::setRate(int value) { Voice->setRate(value); }

void Form1::setVolume(int value) { Voice->setVolume(value); }

void Form1::say(const std::wstring& text) { Voice->speak(text, SVSFDefault); }

void Form1::say2(const std::wstring& text) {
  Voice->speak(text, SVSFlagsAsync);
}

void Form1::stopspeech() { Voice->speak(std::wstring(), SVSFPurgeBeforeSpeak); }

void Form1::saykey() {
  // Echoes are spoken faster than prompts; the rate goes back at once, the
  // queued echo keeps the rate it was queued with.
  Voice->setRate(rate + 5);
  Voice->speak(std::wstring(), SVSFPurgeBeforeSpeak);
  if (keycode != keys::F1) Voice->speak(keychar, SVSFlagsAsync);
  Voice->setRate(rate);
}

}  // namespace pelliwick
