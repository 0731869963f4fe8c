// Implements a speech voice (voice by index, rate steps, volume, speak with
// the wait, queue and purge flags) over speech-dispatcher. Deliberately
// ignored: an empty text that waits does not wait for earlier texts, and the
// voice's pitch and punctuation settings stay the player's.
#include "platform/speechd/speechd_voice.h"

#include <algorithm>

#include "platform/failure.h"
#include "platform/utf8.h"

namespace pelliwick::speechd {

int daemonRate(int playerRate, int rateStep) {
  const long rate = static_cast<long>(playerRate) + 10L * rateStep;
  return static_cast<int>(std::clamp(rate, -100L, 100L));
}

int daemonVolume(int volume) { return volume * 2 - 100; }

std::chrono::milliseconds heardWithin(std::size_t characters) {
  // 200 ms a character is slower than any rate speech-dispatcher offers.
  return std::chrono::milliseconds(3000) +
         std::chrono::milliseconds(200) * static_cast<long>(characters);
}

SpeechdVoice::SpeechdVoice(std::shared_ptr<SpeechdLink> link, GiveUp giveUp)
    : link_(std::move(link)), giveUp_(std::move(giveUp)) {}

int SpeechdVoice::voiceCount() {
  return 1 + static_cast<int>(link_->voices().size());
}

MessageSettings SpeechdVoice::settings() {
  MessageSettings result;
  result.rate = daemonRate(link_->defaultRate(), rate());
  result.volume = daemonVolume(volume());
  if (voiceIndex_ > 0) {
    result.voice =
        link_->voices().at(static_cast<std::size_t>(voiceIndex_ - 1));
  }
  return result;
}

void SpeechdVoice::queue(const std::wstring& text, bool waited,
                         bool namesCharacter) {
  if (text.empty()) return;  // see the note at the top
  if (waited) {
    link_->sayAndWait(toUtf8(text), settings(), heardWithin(text.size()),
                      giveUp_);
    return;
  }
  // Kept to be said another way should the daemon not say it.
  Unheard what;
  what.text = text;
  what.rateStep = rate();
  if (namesCharacter) {
    // A typed key's echo: "." is heard as its name, not as a pause.
    link_->sayCharacter(toUtf8(text), settings(), std::move(what));
  } else {
    link_->say(toUtf8(text), settings(), std::move(what));
  }
}

}  // namespace pelliwick::speechd
