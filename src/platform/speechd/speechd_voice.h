#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/speech.h"
#include "platform/speech_common/voice_front.h"
#include "platform/speechd/speechd_link.h"

namespace pelliwick::speechd {

// Rate step 0 is the player's configured rate; ten steps move by 100, the
// whole of one side of speech-dispatcher's scale. Clamped to -100..100.
int daemonRate(int playerRate, int rateStep);
// Volume 0..100 spread over speech-dispatcher's -100..100.
int daemonVolume(int volume);
// How long a waited text may take before the daemon is taken as stuck:
// generous for the slowest rate, since giving up switches engines.
std::chrono::milliseconds heardWithin(std::size_t characters);

// A voice on speech-dispatcher. Index 0 is the player's default voice, then
// every voice of the link's list. Selecting only chooses; the voice is sent
// with the next text, so counting the voices costs nothing.
class SpeechdVoice : public VoiceFront {
 public:
  SpeechdVoice(std::shared_ptr<SpeechdLink> link, GiveUp giveUp = {});

  int voiceCount() override;

 protected:
  std::string engineName() const override { return "speech-dispatcher"; }
  void chooseVoice(int index) override { voiceIndex_ = index; }
  void silence() override { link_->cancel(); }
  void queue(const std::wstring& text, bool waited,
             bool namesCharacter) override;

 private:
  MessageSettings settings();

  std::shared_ptr<SpeechdLink> link_;
  GiveUp giveUp_;
  int voiceIndex_ = 0;
};

}  // namespace pelliwick::speechd
