// Speech: the one voice, its rate and volume, and the key echo. Every text
// spoken is also shown on the braille display.
#include "game/form1.h"
#include "platform/key_codes.h"

namespace pelliwick {

namespace {

// Texts queued without a purge are shown together. A player holding a key
// that queues text again and again must not grow the line without end.
constexpr std::size_t kMostShown = 1000;

}  // namespace

void Form1::showSpoken(const std::wstring& text) {
  // The display follows the speech queue: a text queued behind others joins
  // them; a purge, or a text waited for, leaves nothing queued.
  if (queuedText_.empty() || queuedText_.size() + text.size() > kMostShown) {
    queuedText_ = text;
  } else {
    queuedText_ += L" " + text;
  }
  platform_.braille.show(queuedText_);
}

void Form1::createVoice() { Voice = platform_.speech.createVoice(); }

void Form1::selectVoice(int index) { Voice->selectVoice(index); }

int Form1::readRate() { return Voice->rate(); }

void Form1::setRate(int value) { Voice->setRate(value); }

void Form1::setVolume(int value) { Voice->setVolume(value); }

void Form1::say(const std::wstring& text) {
  showSpoken(text);
  queuedText_.clear();
  Voice->speak(text, SVSFDefault);
}

void Form1::say2(const std::wstring& text) {
  showSpoken(text);
  Voice->speak(text, SVSFlagsAsync);
}

void Form1::stopspeech() {
  // The display keeps the last text: braille stays until replaced.
  queuedText_.clear();
  Voice->speak(std::wstring(), SVSFPurgeBeforeSpeak);
}

void Form1::saykey() {
  // Echoes are spoken faster than prompts; the rate goes back at once, the
  // queued echo keeps the rate it was queued with. The line entry shows the
  // key within the answer.
  queuedText_.clear();
  Voice->setRate(rate + 5);
  Voice->speak(std::wstring(), SVSFPurgeBeforeSpeak);
  if (keycode != keys::F1) Voice->speak(keychar, SVSFlagsAsync);
  Voice->setRate(rate);
}

}  // namespace pelliwick
