// The SAPI voice on espeak-ng: voice selection by index, rate in signed
// steps, volume 0 to 100, and Speak with the default, asynchronous and purge
// flags. SAPI's other flags, XML markup, events, bookmarks and audio
// formats are deliberately not offered; a lone character is read by its
// name, as a screen reader echoes a key.
#include "platform/espeak/espeak_engine.h"

#include "platform/espeak/speech_session.h"
#include "platform/espeak/speech_text.h"
#include "platform/failure.h"

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

EspeakVoice::EspeakVoice(std::shared_ptr<SpeechSession> session, GiveUp giveUp)
    : session_(std::move(session)), giveUp_(std::move(giveUp)) {}

const std::vector<VoiceInfo>& EspeakVoice::voices() const {
  return session_->voices();
}

int EspeakVoice::voiceCount() { return static_cast<int>(voices().size()); }

void EspeakVoice::chooseVoice(int index) {
  // A voice that cannot be loaded fails here, not at the next text.
  session_->checkVoiceLoads(voices()[static_cast<std::size_t>(index)]);
  voiceIndex_ = index;
}

void EspeakVoice::silence() {
  session_->stream();
  session_->purge();
}

void EspeakVoice::queue(const std::wstring& text, bool waited,
                        bool namesCharacter) {
  session_->stream();
  Utterance utterance;
  if (!text.empty()) {
    if (voices().empty()) {
      throw Failure("espeak-ng has no voice to speak with");
    }
    utterance.text = spokenForm(text);
    utterance.namesCharacter = namesCharacter;
    utterance.voiceName = voices()[voiceIndex_].name;
  }
  utterance.wordsPerMinute = wordsPerMinute(rate());
  utterance.volume = volume();
  // An empty text that waits still queues, so that it returns once the
  // texts queued before it have been heard.
  const std::uint64_t ticket = session_->enqueue(std::move(utterance), waited);
  if (waited) {
    session_->waitHeard(ticket, giveUp_);
  }
}

}  // namespace pelliwick::espeak
