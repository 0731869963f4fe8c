// What this implements of SAPI 5's ISpVoice: choosing a voice token, rate,
// volume, speaking waited, queued and purge-before, and waiting for a text
// in short steps so that a closed window need not hear it out. Ignored:
// events, bookmarks, priorities, audio output choice, pause and resume.
//
// ISpVoice rather than the automation ISpeechVoice: it is a plain vtable with
// HRESULTs (no VARIANT or BSTR), its voice list is the standard token
// category that every SAPI, Wine's included, fills, and a test voice can
// stand in for it as one small in-process server.
#include "platform/win32/sapi_voice.h"

#include <algorithm>

#include "platform/win32/sapi_text.h"
#include "platform/win32/win32_failure.h"

namespace pelliwick::win32 {

namespace {

// How often a waited text asks whether the window was closed.
constexpr ULONG kWaitStepMs = 20;
// SAPI's rate steps.
constexpr int kSlowestRate = -10;
constexpr int kFastestRate = 10;

}  // namespace

SapiVoice::SapiVoice(ComPtr<ISpVoice> voice,
                     std::vector<ComPtr<ISpObjectToken>> voices, GiveUp closing)
    : voice_(std::move(voice)),
      voices_(std::move(voices)),
      closing_(std::move(closing)) {}

int SapiVoice::rate() {
  LONG rate = 0;
  check(voice_->GetRate(&rate), "cannot read the SAPI speech rate");
  return static_cast<int>(rate);
}

void SapiVoice::setRate(int rate) {
  // SAPI's steps end at -10 and 10, and a voice may refuse a rate beyond
  // them: held at the ends, as SAPI documents, so that the key echo five
  // steps above a rate of 6 or more is still heard. The game keeps its own
  // rate unbounded.
  const int sent = std::clamp(rate, kSlowestRate, kFastestRate);
  check(voice_->SetRate(sent),
        "cannot set the SAPI speech rate to " + std::to_string(sent));
  VoiceFront::setRate(rate);
}

int SapiVoice::voiceCount() { return static_cast<int>(voices_.size()); }

void SapiVoice::chooseVoice(int index) {
  check(voice_->SetVoice(voices_[static_cast<std::size_t>(index)].Get()),
        "cannot choose SAPI voice " + std::to_string(index));
}

void SapiVoice::volumeSet(int volume) {
  check(voice_->SetVolume(static_cast<USHORT>(volume)),
        "cannot set the SAPI speech volume to " + std::to_string(volume));
}

void SapiVoice::silence() {
  check(voice_->Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr),
        "cannot silence the SAPI voice");
}

void SapiVoice::queue(const std::wstring& text, bool waited,
                      bool namesCharacter) {
  if (!text.empty()) {
    const SapiText spoken = sapiText(text, namesCharacter);
    // Always queued: a waited text is waited for below, where a closed
    // window can end the wait.
    check(voice_->Speak(spoken.text.c_str(), SPF_ASYNC | spoken.flags, nullptr),
          "cannot speak with SAPI");
  }
  if (waited) waitHeard();
}

void SapiVoice::waitHeard() {
  for (;;) {
    const HRESULT result = voice_->WaitUntilDone(kWaitStepMs);
    check(result, "cannot wait for SAPI's speech");
    if (result == S_OK) return;
    if (closing_ && closing_()) {
      silence();
      return;
    }
  }
}

}  // namespace pelliwick::win32
