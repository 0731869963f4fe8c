// The SAPI voice on espeak-ng: voice selection by index, rate in signed
// steps, volume 0 to 100, and Speak with the default, asynchronous and purge
// flags. SAPI's other flags, XML markup, events, bookmarks and audio
// formats are deliberately not offered; a lone character is read by its
// name, as a screen reader echoes a key.
#include "espeak_engine.h"

#include "failure.h"
#include "speech_session.h"
#include "speech_text.h"

namespace pelliwick::espeak {

EspeakEngine::EspeakEngine(StreamSource stream,
                           std::optional<std::filesystem::path> dataFolder,
                           GiveUp giveUp)
    : stream_(std::move(stream)),
      dataFolder_(std::move(dataFolder)),
      giveUp_(std::move(giveUp)) {}

EspeakEngine::~EspeakEngine() = default;

std::shared_ptr<SpeechVoice> EspeakEngine::createVoice() {
  std::lock_guard lock(mutex_);
  if (!session_) {
    session_ = std::make_shared<SpeechSession>(stream_, dataFolder_);
  }
  return std::make_shared<EspeakVoice>(session_, giveUp_);
}

EspeakVoice::EspeakVoice(std::shared_ptr<SpeechSession> session,
                         EspeakEngine::GiveUp giveUp)
    : session_(std::move(session)), giveUp_(std::move(giveUp)) {}

const std::vector<VoiceInfo>& EspeakVoice::voices() const {
  return session_->voices();
}

void EspeakVoice::selectVoice(int index) {
  const auto count = voices().size();
  if (index < 0 || static_cast<std::size_t>(index) >= count) {
    throw Failure("there is no voice number " + std::to_string(index) +
                  " (espeak-ng has " + std::to_string(count) + ")");
  }
  // A voice that cannot be loaded fails here, not at the next text.
  session_->checkVoiceLoads(voices()[static_cast<std::size_t>(index)]);
  voiceIndex_ = index;
}

int EspeakVoice::rate() { return rate_; }

void EspeakVoice::setRate(int rate) { rate_ = rate; }

void EspeakVoice::setVolume(int volume) {
  if (volume < 0 || volume > 100) {
    throw Failure("the speech volume must be 0 to 100, not " +
                  std::to_string(volume));
  }
  volume_ = volume;
}

void EspeakVoice::speak(const std::wstring& text, unsigned flags) {
  constexpr unsigned known = SVSFlagsAsync | SVSFPurgeBeforeSpeak;
  if ((flags & ~known) != 0) {
    throw Failure("speak: unknown flags " + std::to_string(flags));
  }
  session_->stream();
  const bool async = (flags & SVSFlagsAsync) != 0;
  if ((flags & SVSFPurgeBeforeSpeak) != 0) {
    session_->purge();
  }
  if (text.empty() && (async || (flags & SVSFPurgeBeforeSpeak) != 0)) {
    return;  // the null text only silences
  }
  Utterance utterance;
  if (!text.empty()) {
    if (voices().empty()) {
      throw Failure("espeak-ng has no voice to speak with");
    }
    utterance.text = spokenForm(text);
    utterance.namesCharacter = namesOneCharacter(text);
    utterance.voiceName = voices()[voiceIndex_].name;
  }
  utterance.wordsPerMinute = wordsPerMinute(rate_);
  utterance.volume = volume_;
  // An empty text that waits still queues, so that it returns once the
  // texts queued before it have been heard.
  const std::uint64_t ticket = session_->enqueue(std::move(utterance), !async);
  if (!async) {
    session_->waitHeard(ticket, giveUp_);
  }
}

}  // namespace pelliwick::espeak
