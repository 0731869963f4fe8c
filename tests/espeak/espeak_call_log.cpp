#include "espeak_call_log.h"

#include <dlfcn.h>
#include <espeak-ng/speak_lib.h>

#include <cstdlib>
#include <iostream>
#include <mutex>

namespace pelliwick::espeak::test {

namespace {

std::mutex logMutex;
std::vector<SynthCall> calls;
std::string currentVoice;
int currentRate = 0;
std::string failingText;

template <typename Function>
Function* realFunction(const char* name) {
  void* found = dlsym(RTLD_NEXT, name);
  if (found == nullptr) {
    std::cerr << "cannot find the real " << name << "\n";
    std::abort();
  }
  return reinterpret_cast<Function*>(found);
}

}  // namespace

std::vector<SynthCall> synthCalls() {
  std::lock_guard lock(logMutex);
  return calls;
}

void clearSynthCalls() {
  std::lock_guard lock(logMutex);
  calls.clear();
}

void failSynthOf(const std::string& text) {
  std::lock_guard lock(logMutex);
  failingText = text;
}

}  // namespace pelliwick::espeak::test

using pelliwick::espeak::test::SynthCall;
namespace logged = pelliwick::espeak::test;

// Defined in the test binary, these take the place of the library's own for
// the engine linked into it.
extern "C" espeak_ERROR espeak_SetVoiceByName(const char* name) {
  static auto* real =
      logged::realFunction<espeak_ERROR(const char*)>("espeak_SetVoiceByName");
  {
    std::lock_guard lock(logged::logMutex);
    logged::currentVoice = name;
  }
  return real(name);
}

extern "C" espeak_ERROR espeak_SetParameter(espeak_PARAMETER parameter,
                                            int value, int relative) {
  static auto* real =
      logged::realFunction<espeak_ERROR(espeak_PARAMETER, int, int)>(
          "espeak_SetParameter");
  if (parameter == espeakRATE) {
    std::lock_guard lock(logged::logMutex);
    logged::currentRate = value;
  }
  return real(parameter, value, relative);
}

extern "C" espeak_ERROR espeak_Synth(
    const void* text, size_t size, unsigned int position,
    espeak_POSITION_TYPE positionType, unsigned int endPosition,
    unsigned int flags, unsigned int* uniqueIdentifier, void* userData) {
  static auto* real = logged::realFunction<espeak_ERROR(
      const void*, size_t, unsigned int, espeak_POSITION_TYPE, unsigned int,
      unsigned int, unsigned int*, void*)>("espeak_Synth");
  {
    std::lock_guard lock(logged::logMutex);
    const std::string spoken(static_cast<const char*>(text));
    logged::calls.push_back(
        SynthCall{logged::currentVoice, logged::currentRate, spoken});
    if (spoken == logged::failingText) {
      return EE_INTERNAL_ERROR;
    }
  }
  return real(text, size, position, positionType, endPosition, flags,
              uniqueIdentifier, userData);
}
