#pragma once

#include <windows.h>
// (sapi.h needs windows.h first.)
#include <sapi.h>
#include <wrl/client.h>

#include <vector>

#include "platform/speech_common/voice_front.h"

namespace pelliwick::win32 {

using Microsoft::WRL::ComPtr;

// One SAPI 5 voice object over ISpVoice. `voices` are the tokens it counts,
// in SAPI's order. Rate and volume go to SAPI when they are set: a rate SAPI
// refuses fails that call.
class SapiVoice : public VoiceFront {
 public:
  SapiVoice(ComPtr<ISpVoice> voice, std::vector<ComPtr<ISpObjectToken>> voices,
            GiveUp closing);
  SapiVoice(const SapiVoice&) = delete;
  SapiVoice& operator=(const SapiVoice&) = delete;

  int rate() override;
  void setRate(int rate) override;

 protected:
  std::string engineName() const override { return "SAPI"; }
  int voiceCount() override;
  void chooseVoice(int index) override;
  void volumeSet(int volume) override;
  void silence() override;
  void queue(const std::wstring& text, bool waited,
             bool namesCharacter) override;

 private:
  void waitHeard();

  ComPtr<ISpVoice> voice_;
  std::vector<ComPtr<ISpObjectToken>> voices_;
  GiveUp closing_;
};

}  // namespace pelliwick::win32
