// What this implements of the DirectSound device: one output opened on
// first use (stereo float, 512-frame periods, at the rate the device likes
// best) that the mixer feeds, shared by cues and speech, and that the sound
// server knows as "Pelliwick". What it ignores: device enumeration and
// choice, the primary buffer's format and size, speaker configuration and
// device capabilities.
#include "sdl_audio/sdl_audio_output.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <string>

#include "failure.h"
#include "sdl_audio/sdl_thread.h"

namespace pelliwick {

namespace {

std::atomic<bool> deviceLeftStuck{false};

constexpr int kPreferredRate = 44100;
// Short enough that a cleared voice falls silent within about 12 ms.
constexpr Uint16 kPeriodFrames = 512;
constexpr char kName[] = "Pelliwick";
// How often a start that waits for the sound server asks whether to give up.
constexpr auto kCloseCheckEvery = std::chrono::milliseconds(10);

// Wakes the main thread's wait loop, which blocks in SDL_WaitEventTimeout
// while a cue plays.
void pushCueEnded() {
  SDL_Event event{};
  event.type = SDL_USEREVENT;
  SDL_PushEvent(&event);
}

}  // namespace

// Starting SDL's audio and opening the first device, on a thread of its own:
// with the sound server frozen, both wait for it (PulseAudio gives up after
// 30 s).
struct AudioStart {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool abandoned = false;  // nobody will take the keeper
  bool subsystemsUp = false;
  std::unique_ptr<DeviceKeeper> keeper;  // started, with its mixer
  std::shared_ptr<Mixer> mixer;
  std::string error;
};

namespace {

void startAudio(const std::shared_ptr<AudioStart>& start, bool initNeeded,
                const SDL_AudioSpec& wanted) {
  runDetached("pelliwick-start", [start, initNeeded, wanted] {
    bool up = !initNeeded;
    std::unique_ptr<DeviceKeeper> keeper;
    std::shared_ptr<Mixer> mixer;
    std::string error;
    if (initNeeded) {
      up = SDL_InitSubSystem(SDL_INIT_AUDIO | SDL_INIT_EVENTS) == 0;
      if (!up) error = std::string("cannot start SDL audio: ") + SDL_GetError();
    }
    if (up) {
      try {
        keeper = std::make_unique<DeviceKeeper>(wanted);
        // At once, on the thread that opened it: SDL's audio thread waits
        // for the server if it finds its new device still paused.
        mixer = std::make_shared<Mixer>(keeper->spec().freq, pushCueEnded);
        keeper->start(mixer);
      } catch (const Failure& failure) {
        error = failure.what();
      }
    }
    std::unique_lock lock(start->mutex);
    start->done = true;
    start->subsystemsUp = up;
    start->error = error;
    if (start->abandoned) {
      // The program is ending: the keeper closes its device unwaited.
      lock.unlock();
      keeper.reset();
      return;
    }
    start->keeper = std::move(keeper);
    start->mixer = std::move(mixer);
    start->finished.notify_all();
  });
}

}  // namespace

bool audioDeviceLeftStuck() { return deviceLeftStuck; }

SdlAudioOutput::SdlAudioOutput(std::function<bool()> closing)
    : closing_(std::move(closing)) {}

SdlAudioOutput::~SdlAudioOutput() {
  if (start_) {
    std::lock_guard lock(start_->mutex);
    if (!start_->done) {
      // Still waiting for the server: SDL's audio is its thread's, and the
      // process's exit must not wait for it either.
      start_->abandoned = true;
      deviceLeftStuck = true;
      return;
    }
    // Finished after its caller gave up on it.
    if (start_->keeper) {
      keeper_ = std::move(start_->keeper);
      mixer_ = std::move(start_->mixer);
    }
    subsystemsUp_ = start_->subsystemsUp;
  }
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
  if (!start_ || start_->done) {
    if (!subsystemsUp_) {
      // Read when the server connection is made; a name set in the
      // environment still wins.
      SDL_SetHint(SDL_HINT_APP_NAME, kName);
      SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, kName);
      SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, kName);
    }
    SDL_AudioSpec wanted{};
    wanted.freq = kPreferredRate;
    wanted.format = AUDIO_F32SYS;
    wanted.channels = 2;
    wanted.samples = kPeriodFrames;
    // SDL converts format and channels for us; the period stays ours, and
    // the rate is whatever the device likes best.
    start_ = std::make_shared<AudioStart>();
    startAudio(start_, !subsystemsUp_, wanted);
  }
  std::unique_lock lock(start_->mutex);
  while (!start_->finished.wait_for(lock, kCloseCheckEvery,
                                    [&] { return start_->done; })) {
    // A later call waits for the same start.
    if (closing_ && closing_()) throw ProgramClosed();
  }
  subsystemsUp_ = start_->subsystemsUp;
  if (!start_->keeper) throw Failure(start_->error);
  keeper_ = std::move(start_->keeper);
  mixer_ = std::move(start_->mixer);
}

}  // namespace pelliwick
