// What this implements of SAPI 5: the voice object (CLSID_SpVoice) with
// every installed voice that can speak. Ignored: audio objects, lexicons,
// recognition.
#include "platform/win32/sapi_engine.h"

#include <windows.h>
// (sapi.h needs windows.h first.)
#include <sapi.h>
#include <wrl/client.h>

#include "platform/win32/sapi_voice.h"
#include "platform/win32/sapi_voice_list.h"
#include "platform/win32/win32_failure.h"

namespace pelliwick {

SapiEngine::SapiEngine(GiveUp closing) : closing_(std::move(closing)) {}

std::shared_ptr<SpeechVoice> SapiEngine::createVoice() {
  using Microsoft::WRL::ComPtr;
  ComPtr<ISpVoice> voice;
  win32::check(CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL,
                                IID_PPV_ARGS(&voice)),
               "cannot create a SAPI voice");
  // A voice SAPI lists but cannot speak with is not counted, so that a SAPI
  // that speaks nothing (Wine's own) gives the no-voice message rather
  // than a silent game.
  std::vector<ComPtr<ISpObjectToken>> speaking;
  for (auto& token : win32::installedVoices()) {
    if (win32::speaksWith(*voice.Get(), *token.Get())) {
      speaking.push_back(std::move(token));
    }
  }
  if (!speaking.empty()) {
    win32::check(voice->SetVoice(speaking.front().Get()),
                 "cannot choose SAPI voice 0");
  }
  return std::make_shared<win32::SapiVoice>(std::move(voice),
                                            std::move(speaking), closing_);
}

}  // namespace pelliwick
