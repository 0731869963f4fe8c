// What this implements of the DirectSound device: one output opened on
// first use (stereo float, 512-frame periods, at the rate the device likes
// best) that the mixer feeds, shared by cues and speech, and that the sound
// server knows as "Pelliwick". What it ignores: device enumeration and
// choice, the primary buffer's format and size, speaker configuration and
// device capabilities.
#include "sdl_audio/sdl_audio_output.h"

#include <atomic>
#include <string>

#include "failure.h"

namespace pelliwick {

namespace {

std::atomic<bool> deviceLeftStuck{false};

constexpr int kPreferredRate = 44100;
// Short enough that a cleared voice falls silent within about 12 ms.
constexpr Uint16 kPeriodFrames = 512;
constexpr char kName[] = "Pelliwick";

// Wakes the main thread's wait loop, which blocks in SDL_WaitEventTimeout
// while a cue plays.
void pushCueEnded() {
  SDL_Event event{};
  event.type = SDL_USEREVENT;
  SDL_PushEvent(&event);
}

}  // namespace

bool audioDeviceLeftStuck() { return deviceLeftStuck; }

SdlAudioOutput::SdlAudioOutput() = default;

SdlAudioOutput::~SdlAudioOutput() {
  const bool sdlFree = !keeper_ || keeper_->shutDown();
  if (!sdlFree) deviceLeftStuck = true;
  keeper_.reset();
  // Nothing renders any more: wake whoever still waits for speech.
  if (mixer_) mixer_->clearSpeech();
  mixer_.reset();
  if (!subsystemsUp_) return;
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
  // Shutting the audio down would wait for a device stuck in the server.
  if (sdlFree) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

SpeechStream& SdlAudioOutput::speechStream(int sampleRate) {
  return mixer()->speechStream(sampleRate);
}

std::shared_ptr<Mixer> SdlAudioOutput::mixer() {
  std::lock_guard lock(mutex_);
  if (!mixer_) openLocked();
  return mixer_;
}

int SdlAudioOutput::deviceRate() const {
  std::lock_guard lock(mutex_);
  return mixer_ ? keeper_->spec().freq : 0;
}

int SdlAudioOutput::periodFrames() const {
  std::lock_guard lock(mutex_);
  return mixer_ ? keeper_->spec().samples : 0;
}

bool SdlAudioOutput::deviceOpen() const {
  std::lock_guard lock(mutex_);
  return mixer_ && keeper_->deviceOpen();
}

std::uint64_t SdlAudioOutput::soundedPeriods() const {
  std::lock_guard lock(mutex_);
  return mixer_ ? keeper_->soundedPeriods() : 0;
}

void SdlAudioOutput::openLocked() {
  if (!subsystemsUp_) {
    // Read when the server connection is made; a name set in the
    // environment still wins.
    SDL_SetHint(SDL_HINT_APP_NAME, kName);
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, kName);
    SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, kName);
    if (SDL_InitSubSystem(SDL_INIT_AUDIO | SDL_INIT_EVENTS) != 0) {
      throw Failure(std::string("cannot start SDL audio: ") + SDL_GetError());
    }
    subsystemsUp_ = true;
  }
  SDL_AudioSpec wanted{};
  wanted.freq = kPreferredRate;
  wanted.format = AUDIO_F32SYS;
  wanted.channels = 2;
  wanted.samples = kPeriodFrames;
  // SDL converts format and channels for us; the period stays ours, and the
  // rate is whatever the device likes best.
  keeper_.reset();
  auto keeper = std::make_unique<DeviceKeeper>(wanted);
  mixer_ = std::make_shared<Mixer>(keeper->spec().freq, pushCueEnded);
  keeper->start(mixer_);
  keeper_ = std::move(keeper);
}

}  // namespace pelliwick
