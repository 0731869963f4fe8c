// Implements a speech voice (voice by index, rate steps, volume, speak with
// the wait, queue and purge flags) over speech-dispatcher. Deliberately
// ignored: an empty text that waits does not wait for earlier texts, and the
// voice's pitch and punctuation settings stay the player's.
#include "speechd_voice.h"

#include <algorithm>

#include "failure.h"
#include "utf8.h"

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

void SpeechdVoice::selectVoice(int index) {
  const int count = voiceCount();
  if (index < 0 || index >= count) {
    throw Failure("there is no voice number " + std::to_string(index) +
                  " (speech-dispatcher has " + std::to_string(count) + ")");
  }
  voiceIndex_ = index;
}

void SpeechdVoice::setVolume(int volume) {
  if (volume < 0 || volume > 100) {
    throw Failure("the speech volume must be 0 to 100, not " +
                  std::to_string(volume));
  }
  volume_ = volume;
}

MessageSettings SpeechdVoice::settings() const {
  MessageSettings result;
  result.rate = daemonRate(link_->defaultRate(), rate_);
  result.volume = daemonVolume(volume_);
  if (voiceIndex_ > 0) result.voice = static_cast<std::size_t>(voiceIndex_ - 1);
  return result;
}

void SpeechdVoice::speak(const std::wstring& text, unsigned flags) {
  constexpr unsigned known = SVSFlagsAsync | SVSFPurgeBeforeSpeak;
  if ((flags & ~known) != 0) {
    throw Failure("speak: unknown flags " + std::to_string(flags));
  }
  const bool async = (flags & SVSFlagsAsync) != 0;
  if ((flags & SVSFPurgeBeforeSpeak) != 0) link_->cancel();
  if (text.empty()) return;
  if (async && text.size() == 1) {
    // A typed key's echo: "." is heard as its name, not as a pause.
    link_->sayCharacter(toUtf8(text), settings());
    return;
  }
  const std::size_t id = link_->say(toUtf8(text), settings());
  if (!async) link_->waitHeard(id, heardWithin(text.size()), giveUp_);
}

}  // namespace pelliwick::speechd
