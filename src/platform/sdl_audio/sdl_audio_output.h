#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/speech_stream.h"

namespace pelliwick {

class Mixer;

// Whether an SdlAudioOutput ended with its device still stuck in the sound
// server: the process's exit would then wait for it too (its files are
// flushed, SDL's threads joined), so the program ends without running it.
bool audioDeviceLeftStuck();

// The one SDL audio device of the program and the mixer behind it, shared by
// the cues and the speech. The device is opened the first time something
// needs it, and kept (or played by the clock) from then on. Destroy this
// before SDL_Quit; the destruction never waits long for the sound server.
class SdlAudioOutput {
 public:
  // Starting SDL's audio and opening the device wait for the sound server,
  // which may be frozen: meanwhile `closing` is asked, on the thread that
  // waits, every few milliseconds, and when it says so the wait ends with
  // ProgramClosed. Without it the start waits as long as the server does.
  explicit SdlAudioOutput(std::function<bool()> closing = {});
  ~SdlAudioOutput();
  SdlAudioOutput(const SdlAudioOutput&) = delete;
  SdlAudioOutput& operator=(const SdlAudioOutput&) = delete;

  // The stream the speech engine appends mono 16-bit samples at
  // `sampleRate` to. Opens the device if needed.
  SpeechStream& speechStream(int sampleRate);

  // The running mixer, made at the device's rate. Opens the device if
  // needed; throws Failure with SDL's reason when it cannot be opened, and
  // ProgramClosed as said above.
  std::shared_ptr<Mixer> mixer();

  // Whether a device plays the mix now, and how many periods with sound it
  // has been given so far (0 before the first open).
  bool deviceOpen() const;
  std::uint64_t soundedPeriods() const;

 private:
  struct Impl;
  const std::unique_ptr<Impl> impl_;
};

}  // namespace pelliwick
