// Joins the player's speech-dispatcher voices and the embedded engine's into
// the one voice list the game walks (what the engine's list of installed
// voices is to a voice object), and falls back on the embedded engine when
// speech-dispatcher goes away, in the middle of a call included. Deliberately
// ignored: the list never changes after start, not even when
// speech-dispatcher is lost or comes back.
#include "joined_engine.h"

#include "failure.h"
#include "speechd_voice.h"
#include "voice_front.h"

namespace pelliwick::speechd {

JoinedVoice::JoinedVoice(Primary primary, std::shared_ptr<SpeechVoice> embedded,
                         int embeddedCount)
    : primary_(std::move(primary)),
      embedded_(std::move(embedded)),
      embeddedCount_(embeddedCount) {}

void JoinedVoice::selectVoice(int index) {
  checkVoiceIndex(index, primary_.count + embeddedCount_, "the voice list");
  if (index >= 1 && index <= embeddedCount_) {
    embedded_->selectVoice(index - 1);
    onPrimary_ = false;
  } else if (primary_.lost()) {
    fallBack();
  } else {
    primary_.voice->selectVoice(index == 0 ? 0 : index - embeddedCount_);
    onPrimary_ = true;
  }
}

int JoinedVoice::rate() {
  return onPrimary_ ? primary_.voice->rate() : embedded_->rate();
}

void JoinedVoice::setRate(int rate) {
  primary_.voice->setRate(rate);
  embedded_->setRate(rate);
}

void JoinedVoice::setVolume(int volume) {
  primary_.voice->setVolume(volume);
  embedded_->setVolume(volume);
}

void JoinedVoice::speak(const std::wstring& text, unsigned flags) {
  if (onPrimary_ && primary_.lost()) fallBack();
  if ((flags & SVSFPurgeBeforeSpeak) != 0) {
    // The engine not in use may still be speaking what it was given before
    // the voice changed.
    if (onPrimary_) {
      embedded_->speak(L"", SVSFPurgeBeforeSpeak);
    } else if (!primary_.lost()) {
      try {
        primary_.voice->speak(L"", SVSFPurgeBeforeSpeak);
      } catch (const Failure&) {
        // Only silencing an engine not in use failed; the link now knows
        // whether it is lost, and the voice in use must still speak.
      }
    }
  }
  if (onPrimary_) {
    try {
      primary_.voice->speak(text, flags);
      return;
    } catch (const Failure&) {
      // A daemon that went away is no failure of the game's: the embedded
      // engine says what was asked, so a purge still silences and a key is
      // still a key. A daemon that only refused this text is one.
      if (!primary_.lost()) throw;
      fallBack();
    }
  }
  embedded_->speak(text, flags);
}

void JoinedVoice::fallBack() {
  embedded_->selectVoice(0);
  onPrimary_ = false;
}

JoinedEngine::JoinedEngine(SpeechEngine& embedded,
                           std::shared_ptr<SpeechdLink> link, GiveUp giveUp)
    : embedded_(embedded), link_(std::move(link)), giveUp_(std::move(giveUp)) {}

namespace {

int countVoices(SpeechVoice& voice) {
  int count = 0;
  try {
    for (;;) {
      voice.selectVoice(count);
      ++count;
    }
  } catch (const Failure&) {
    // The end of the list.
  }
  if (count > 0) voice.selectVoice(0);
  return count;
}

}  // namespace

std::shared_ptr<SpeechVoice> JoinedEngine::createVoice() {
  auto embedded = embedded_.createVoice();
  if (!link_) return embedded;
  auto daemonVoice = std::make_shared<SpeechdVoice>(link_, giveUp_);
  int daemonCount = 0;
  try {
    daemonCount = daemonVoice->voiceCount();
  } catch (const Failure&) {
    // Lost while listing its voices: the game starts as it would without.
    return embedded;
  }
  JoinedVoice::Primary primary{daemonVoice, daemonCount,
                               [link = link_] { return link->lost(); }};
  return std::make_shared<JoinedVoice>(std::move(primary), embedded,
                                       countVoices(*embedded));
}

std::shared_ptr<SpeechdLink> openLinkIfRunning(Limits limits) {
  try {
    return SpeechdLink::open(limits);
  } catch (const Failure&) {
    return nullptr;
  }
}

}  // namespace pelliwick::speechd
