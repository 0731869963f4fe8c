#pragma once

#include <memory>

#include "platform/speech.h"

namespace pelliwick {

// SAPI 5 voices: every voice installed on the system, in SAPI's own order.
// COM must be started on the calling thread (win32::ComApartment).
// `closing` is asked while a text is being waited for, so that a closed
// window does not wait for the rest of it.
class SapiEngine : public SpeechEngine {
 public:
  explicit SapiEngine(GiveUp closing);
  std::shared_ptr<SpeechVoice> createVoice() override;

 private:
  GiveUp closing_;
};

}  // namespace pelliwick
