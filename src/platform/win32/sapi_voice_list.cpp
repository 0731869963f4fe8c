// The list of SAPI 5 voices: the tokens of the standard voice category, and
// the check that a voice can speak at all. Ignored: the tokens' attributes
// (language, gender), which the game never asks for.
#include "platform/win32/sapi_voice_list.h"

#include "platform/win32/win32_failure.h"

namespace pelliwick::win32 {

std::vector<ComPtr<ISpObjectToken>> installedVoices() {
  ComPtr<ISpObjectTokenCategory> category;
  check(CoCreateInstance(CLSID_SpObjectTokenCategory, nullptr, CLSCTX_ALL,
                         IID_PPV_ARGS(&category)),
        "cannot open SAPI's voice category");
  check(category->SetId(SPCAT_VOICES, FALSE),
        "cannot open SAPI's voice category");
  ComPtr<IEnumSpObjectTokens> tokens;
  check(category->EnumTokens(nullptr, nullptr, &tokens),
        "cannot list SAPI's voices");
  std::vector<ComPtr<ISpObjectToken>> voices;
  for (;;) {
    ComPtr<ISpObjectToken> token;
    ULONG fetched = 0;
    const HRESULT result = tokens->Next(1, &token, &fetched);
    check(result, "cannot list SAPI's voices");
    if (result != S_OK || fetched == 0) return voices;
    voices.push_back(std::move(token));
  }
}

bool speaksWith(ISpVoice& voice, ISpObjectToken& token) {
  // The null text with the purge flag speaks nothing and returns at once;
  // Wine 8's SAPI answers E_NOTIMPL.
  return SUCCEEDED(voice.SetVoice(&token)) &&
         SUCCEEDED(voice.Speak(nullptr, SPF_PURGEBEFORESPEAK, nullptr));
}

}  // namespace pelliwick::win32
