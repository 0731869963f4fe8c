// Joins the player's speech-dispatcher voices and the embedded engine's into
// the one voice list the game walks (what the engine's list of installed
// voices is to a voice object), falls back on the embedded engine when
// speech-dispatcher goes away, in the middle of a call included, and goes
// back to it when it answers again. Deliberately ignored: the list never
// changes after start; while speech-dispatcher is lost its voices are only
// marked unavailable.
#include "platform/speechd/joined_engine.h"

#include "platform/failure.h"
#include "platform/speech_common/voice_front.h"
#include "platform/speechd/speechd_voice.h"

namespace pelliwick::speechd {

JoinedVoice::JoinedVoice(Primary primary, std::shared_ptr<SpeechVoice> embedded,
                         int embeddedCount)
    : primary_(std::move(primary)),
      embedded_(std::move(embedded)),
      embeddedCount_(embeddedCount) {}

bool JoinedVoice::onPrimarySlot(int index) const {
  return index == 0 || index > embeddedCount_;
}

void JoinedVoice::selectVoice(int index) {
  std::lock_guard lock(mutex_);
  checkVoiceIndex(index, primary_.count + embeddedCount_, "the voice list");
  chosen_ = index;
  if (!onPrimarySlot(index)) {
    embedded_->selectVoice(index - 1);
    onPrimary_ = false;
  } else if (primary_.lost()) {
    fallBack();
  } else {
    primary_.voice->selectVoice(index == 0 ? 0 : index - embeddedCount_);
    onPrimary_ = true;
  }
}

bool JoinedVoice::voiceAvailable(int index) {
  std::lock_guard lock(mutex_);
  // A lost primary's voices would all sound as the embedded first voice.
  return !onPrimarySlot(index) || !primary_.lost();
}

int JoinedVoice::rate() {
  std::lock_guard lock(mutex_);
  return onPrimary_ ? primary_.voice->rate() : embedded_->rate();
}

void JoinedVoice::setRate(int rate) {
  std::lock_guard lock(mutex_);
  primary_.voice->setRate(rate);
  embedded_->setRate(rate);
}

void JoinedVoice::setVolume(int volume) {
  std::lock_guard lock(mutex_);
  primary_.voice->setVolume(volume);
  embedded_->setVolume(volume);
}

void JoinedVoice::speak(const std::wstring& text, unsigned flags) {
  std::lock_guard lock(mutex_);
  const bool purge = (flags & SVSFPurgeBeforeSpeak) != 0;
  if (onPrimary_ && primary_.lost()) {
    fallBack();
  } else if (!onPrimary_ && purge && onPrimarySlot(chosen_) &&
             !primary_.lost()) {
    // The primary answers again: the player's voice returns where nothing
    // the embedded engine says is cut.
    primary_.voice->selectVoice(chosen_ == 0 ? 0 : chosen_ - embeddedCount_);
    onPrimary_ = true;
  }
  if (purge) {
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

void JoinedVoice::linkChanged() {
  std::lock_guard lock(mutex_);
  if (onPrimary_ && primary_.lost()) {
    fallBack();
    return;
  }
  // What the primary refused. Away from the primary, what it had not said
  // is of no more use: it was only silenced.
  const auto entries = takeUnheard();
  if (onPrimary_) sayElsewhere(entries);
}

std::vector<Unheard> JoinedVoice::takeUnheard() {
  return primary_.unheard ? primary_.unheard() : std::vector<Unheard>{};
}

void JoinedVoice::fallBack() {
  embedded_->selectVoice(0);
  onPrimary_ = false;
  sayElsewhere(takeUnheard());
}

void JoinedVoice::sayElsewhere(const std::vector<Unheard>& entries) {
  // In order, each at the rate it was queued with (an echo is faster).
  const int rate = embedded_->rate();
  for (const Unheard& entry : entries) {
    if (entry.purge) {
      embedded_->speak(L"", SVSFPurgeBeforeSpeak);
    } else {
      embedded_->setRate(entry.rateStep);
      embedded_->speak(entry.text, SVSFlagsAsync);
    }
  }
  embedded_->setRate(rate);
}

JoinedEngine::JoinedEngine(SpeechEngine& embedded,
                           std::shared_ptr<SpeechdLink> link, GiveUp giveUp)
    : embedded_(embedded), link_(std::move(link)), giveUp_(std::move(giveUp)) {}

JoinedEngine::~JoinedEngine() {
  if (link_) link_->setListener({});
}

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
                               [link = link_] { return link->lost(); },
                               [link = link_] { return link->takeUnheard(); }};
  auto joined = std::make_shared<JoinedVoice>(std::move(primary), embedded,
                                              countVoices(*embedded));
  link_->setListener(joined);
  return joined;
}

std::shared_ptr<SpeechdLink> openLinkIfRunning(Limits limits) {
  try {
    return SpeechdLink::open(limits);
  } catch (const Failure&) {
    return nullptr;
  }
}

}  // namespace pelliwick::speechd
