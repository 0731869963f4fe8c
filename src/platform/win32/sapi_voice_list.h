#pragma once

#include <windows.h>
// (sapi.h needs windows.h first.)
#include <sapi.h>
#include <wrl/client.h>

#include <vector>

namespace pelliwick::win32 {

using Microsoft::WRL::ComPtr;

// Every voice token SAPI lists, in its own order, from the standard voice
// category (what SpEnumTokens(SPCAT_VOICES) gives). Throws Failure when SAPI
// cannot list them.
std::vector<ComPtr<ISpObjectToken>> installedVoices();

// Whether `voice` takes `token` and can silence itself with it: a SAPI that
// lists voices but cannot speak (Wine's own) fails here.
bool speaksWith(ISpVoice& voice, ISpObjectToken& token);

}  // namespace pelliwick::win32
