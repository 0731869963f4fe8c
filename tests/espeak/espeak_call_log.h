#pragma once

#include <string>
#include <vector>

namespace pelliwick::espeak::test {

// The three espeak-ng calls the engine makes per text, as the test binary
// intercepts them before passing them on to the library.
struct SynthCall {
  std::string voice;  // from the last espeak_SetVoiceByName
  int rate = 0;       // from the last espeak_SetParameter(espeakRATE)
  std::string text;
};

std::vector<SynthCall> synthCalls();
void clearSynthCalls();

// Makes espeak_Synth fail without synthesising for texts equal to `text`.
void failSynthOf(const std::string& text);

}  // namespace pelliwick::espeak::test
