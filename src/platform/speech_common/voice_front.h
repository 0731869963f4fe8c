#pragma once

#include <atomic>
#include <string>

#include "platform/speech.h"

namespace pelliwick {

// Throws Failure unless `index` is a voice of a list of `count`; `engine`
// names the list in the message.
void checkVoiceIndex(int index, int count, const std::string& engine);

// A text of one character is a key being echoed: it is read as the name of
// that character ("hyphen", "space"), not as a piece of a sentence.
bool namesOneCharacter(const std::wstring& text);

// The part of a voice that every engine shares: the checks of each call's
// arguments, the rate and volume it keeps, and what the speak flags mean.
// An engine implements only how it counts, chooses, silences and queues.
class VoiceFront : public SpeechVoice {
 public:
  void selectVoice(int index) final;
  int rate() override { return rate_; }
  void setRate(int rate) override { rate_ = rate; }
  void setVolume(int volume) final;
  void speak(const std::wstring& text, unsigned flags) final;

 protected:
  int volume() const { return volume_; }

  // What the engine calls its list, for messages.
  virtual std::string engineName() const = 0;
  virtual int voiceCount() = 0;
  // `index` is in the list.
  virtual void chooseVoice(int index) = 0;
  // Called once `volume` passed the check and is kept, for an engine that
  // hands it on at once.
  virtual void volumeSet(int /*volume*/) {}
  // Drops everything queued or being spoken.
  virtual void silence() = 0;
  // Queues `text`, and returns once it has been heard when `waited`. An
  // empty text is only ever waited for: it stands for the texts queued
  // before it. `namesCharacter` as namesOneCharacter says.
  virtual void queue(const std::wstring& text, bool waited,
                     bool namesCharacter) = 0;

 private:
  std::atomic<int> rate_{0};
  std::atomic<int> volume_{100};
};

}  // namespace pelliwick
