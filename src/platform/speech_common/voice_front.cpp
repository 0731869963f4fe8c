#include "platform/speech_common/voice_front.h"

#include "platform/failure.h"

namespace pelliwick {

void checkVoiceIndex(int index, int count, const std::string& engine) {
  if (index < 0 || index >= count) {
    throw Failure("there is no voice number " + std::to_string(index) + " (" +
                  engine + " has " + std::to_string(count) + ")");
  }
}

bool namesOneCharacter(const std::wstring& text) { return text.size() == 1; }

void VoiceFront::selectVoice(int index) {
  checkVoiceIndex(index, voiceCount(), engineName());
  chooseVoice(index);
}

void VoiceFront::setVolume(int volume) {
  if (volume < 0 || volume > 100) {
    throw Failure("the speech volume must be 0 to 100, not " +
                  std::to_string(volume));
  }
  volume_ = volume;
  volumeSet(volume);
}

void VoiceFront::speak(const std::wstring& text, unsigned flags) {
  constexpr unsigned known = SVSFlagsAsync | SVSFPurgeBeforeSpeak;
  if ((flags & ~known) != 0) {
    throw Failure("speak: unknown flags " + std::to_string(flags));
  }
  const bool async = (flags & SVSFlagsAsync) != 0;
  const bool purge = (flags & SVSFPurgeBeforeSpeak) != 0;
  if (purge) silence();
  // The null text with the purge flag, or queued, only silences.
  if (text.empty() && (async || purge)) return;
  queue(text, !async, namesOneCharacter(text));
}

}  // namespace pelliwick
