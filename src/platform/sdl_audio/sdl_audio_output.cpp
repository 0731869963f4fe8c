// What this implements of the DirectSound device: one output opened on
// first use (stereo float, 512-frame periods, at the rate the device likes
// best) that the mixer feeds from SDL's audio thread, shared by cues and
// speech. What it ignores: device enumeration and choice, the primary
// buffer's format and size, speaker configuration and device capabilities.
#include "sdl_audio/sdl_audio_output.h"

#include <string>

#include "failure.h"

namespace pelliwick {

namespace {

constexpr int kPreferredRate = 44100;
// Short enough that a cleared voice falls silent within about 12 ms.
constexpr Uint16 kPeriodFrames = 512;
constexpr Uint32 kSubsystems = SDL_INIT_AUDIO | SDL_INIT_EVENTS;
// How long the device goes on playing silence before its thread sleeps
// until there is something to play again: about a second.
constexpr int kQuietPeriodsBeforeSleep = kPreferredRate / kPeriodFrames;

// Wakes the main thread's wait loop, which blocks in SDL_WaitEventTimeout
// while a cue plays.
void pushCueEnded() {
  SDL_Event event{};
  event.type = SDL_USEREVENT;
  SDL_PushEvent(&event);
}

}  // namespace

SdlAudioOutput::SdlAudioOutput() = default;

SdlAudioOutput::~SdlAudioOutput() {
  // Closing takes the lock the callback holds: it must not be asleep.
  if (mixer_) mixer_->stopSleeping();
  if (device_ != 0) SDL_CloseAudioDevice(device_);
  // The callback has stopped: wake whoever still waits for speech.
  if (mixer_) mixer_->clearSpeech();
  mixer_.reset();
  if (subsystemsUp_) SDL_QuitSubSystem(kSubsystems);
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
  return device_ != 0 ? obtained_.freq : 0;
}

int SdlAudioOutput::periodFrames() const {
  std::lock_guard lock(mutex_);
  return device_ != 0 ? obtained_.samples : 0;
}

void SdlAudioOutput::openLocked() {
  if (!subsystemsUp_) {
    if (SDL_InitSubSystem(kSubsystems) != 0) {
      throw Failure(std::string("cannot start SDL audio: ") + SDL_GetError());
    }
    subsystemsUp_ = true;
  }
  SDL_AudioSpec wanted{};
  wanted.freq = kPreferredRate;
  wanted.format = AUDIO_F32SYS;
  wanted.channels = 2;
  wanted.samples = kPeriodFrames;
  wanted.callback = &SdlAudioOutput::callback;
  wanted.userdata = this;
  // SDL converts format and channels for us; the period stays ours, and the
  // rate is whatever the device likes best.
  const SDL_AudioDeviceID device = SDL_OpenAudioDevice(
      nullptr, 0, &wanted, &obtained_, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
  if (device == 0) {
    throw Failure(std::string("cannot open the audio device: ") +
                  SDL_GetError());
  }
  try {
    mixer_ = std::make_shared<Mixer>(obtained_.freq, pushCueEnded);
  } catch (...) {
    SDL_CloseAudioDevice(device);
    throw;
  }
  device_ = device;
  SDL_PauseAudioDevice(device_, 0);
}

void SdlAudioOutput::callback(void* self, Uint8* stream, int length) {
  auto* output = static_cast<SdlAudioOutput*>(self);
  // The device opens paused and runs only once mixer_ is set, and it is
  // closed before mixer_ is reset, so no lock is needed here.
  Mixer& mixer = *output->mixer_;
  auto* out = reinterpret_cast<float*>(stream);
  const auto frames = static_cast<std::size_t>(length) / (2 * sizeof(float));
  const std::uint64_t seen = mixer.soundsGiven();
  if (mixer.render(out, frames)) {
    output->quietPeriods_ = 0;
    return;
  }
  if (++output->quietPeriods_ < kQuietPeriodsBeforeSleep) return;
  // Deliberately blocks the audio thread: waking every period to play
  // silence is most of what a waiting game costs. The device runs dry
  // meanwhile, which is silence too, and what wakes it goes out in this
  // very period rather than behind one of silence.
  mixer.sleepUntilSound(seen);
  output->quietPeriods_ = 0;
  mixer.render(out, frames);
}

}  // namespace pelliwick
