// Placeholder until the SAPI voices land.
#include "sapi_engine.h"

#include "failure.h"

namespace pelliwick {

SapiEngine::SapiEngine(GiveUp closing) : closing_(std::move(closing)) {}

std::shared_ptr<SpeechVoice> SapiEngine::createVoice() {
  throw Failure("no SAPI yet");
}

}  // namespace pelliwick
