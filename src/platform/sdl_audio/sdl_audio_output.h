#pragma once

#include <SDL.h>

#include <memory>
#include <mutex>

#include "mixer/mixer.h"
#include "speech_stream.h"

namespace pelliwick {

// The one SDL audio device of the program and the mixer behind it, shared by
// the cues and the speech. The device is opened the first time something
// needs it. Destroy this before SDL_Quit.
class SdlAudioOutput {
 public:
  SdlAudioOutput();
  ~SdlAudioOutput();
  SdlAudioOutput(const SdlAudioOutput&) = delete;
  SdlAudioOutput& operator=(const SdlAudioOutput&) = delete;

  // The stream the speech engine appends mono 16-bit samples at
  // `sampleRate` to. Opens the device if needed.
  SpeechStream& speechStream(int sampleRate);

  // The running mixer. Opens the device if needed; throws Failure with SDL's
  // reason when it cannot be opened.
  std::shared_ptr<Mixer> mixer();

  // Rate and period the device was opened with (0 before it is open).
  int deviceRate() const;
  int periodFrames() const;

 private:
  void openLocked();
  static void callback(void* self, Uint8* stream, int length);

  mutable std::mutex mutex_;
  bool subsystemsUp_ = false;
  SDL_AudioDeviceID device_ = 0;
  SDL_AudioSpec obtained_{};
  std::shared_ptr<Mixer> mixer_;
  int quietPeriods_ = 0;  // the audio thread's own
};

}  // namespace pelliwick
