// What this implements of the DirectSound device: one output opened on
// first use (stereo float, 512-frame periods, at the rate the device likes
// best) that the mixer feeds, shared by cues and speech, and that the sound
// server knows as "Pelliwick". What it ignores: device enumeration and
// choice, the primary buffer's format and size, speaker configuration and
// device capabilities.
#include "platform/sdl_audio/sdl_audio_output.h"

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>

#include "platform/blocking/blocking_worker.h"
#include "platform/failure.h"
#include "platform/mixer/mixer.h"
#include "platform/sdl_audio/audio_format.h"
#include "platform/sdl_audio/device_keeper.h"
#include "platform/sdl_audio/sdl_thread.h"

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

// What a start leaves; read once its worker says it has run.
struct AudioStart {
  bool subsystemsUp = false;
  std::unique_ptr<DeviceKeeper> keeper;  // started, with its mixer
  std::shared_ptr<Mixer> mixer;
  std::string error;
};

void startAudio(AudioStart& start, bool initNeeded) {
  start.subsystemsUp = !initNeeded;
  if (initNeeded) {
    start.subsystemsUp =
        SDL_InitSubSystem(SDL_INIT_AUDIO | SDL_INIT_EVENTS) == 0;
    if (!start.subsystemsUp) {
      start.error = std::string("cannot start SDL audio: ") + SDL_GetError();
      return;
    }
  }
  try {
    auto keeper = std::make_unique<DeviceKeeper>(wantedAudioFormat());
    // At once, on the thread that opened it: SDL's audio thread waits for
    // the server if it finds its new device still paused.
    auto mixer = std::make_shared<Mixer>(keeper->spec().freq, pushCueEnded);
    keeper->start(mixer);
    start.keeper = std::move(keeper);
    start.mixer = std::move(mixer);
  } catch (const Failure& failure) {
    start.error = failure.what();
  }
}

}  // namespace

SDL_AudioSpec wantedAudioFormat() {
  SDL_AudioSpec wanted{};
  wanted.freq = kPreferredRate;
  wanted.format = AUDIO_F32SYS;
  wanted.channels = 2;
  wanted.samples = kPeriodFrames;
  return wanted;
}

bool audioDeviceLeftStuck() { return deviceLeftStuck; }

struct SdlAudioOutput::Impl {
  explicit Impl(std::function<bool()> askClosing)
      : closing(std::move(askClosing)) {}
  // Caller holds `mutex`.
  void open();

  const std::function<bool()> closing;
  mutable std::mutex mutex;
  // Starting SDL's audio and opening the first device, on a thread of its
  // own: with the sound server frozen, both wait for it (PulseAudio gives up
  // after 30 s). Made on first use.
  std::unique_ptr<BlockingWorker> starter;
  // The start under way, or the last one.
  std::shared_ptr<AudioStart> start;
  BlockingWorker::Ticket startTicket = 0;
  bool subsystemsUp = false;
  std::unique_ptr<DeviceKeeper> keeper;
  std::shared_ptr<Mixer> mixer;
};

SdlAudioOutput::SdlAudioOutput(std::function<bool()> closing)
    : impl_(std::make_unique<Impl>(std::move(closing))) {}

SdlAudioOutput::~SdlAudioOutput() {
  Impl& self = *impl_;
  if (self.start) {
    if (!self.starter->done(self.startTicket)) {
      // Still waiting for the server: SDL's audio is its thread's, and the
      // process's exit must not wait for it either. Once it returns, its
      // keeper closes its device unwaited.
      self.starter->post([start = self.start] { start->keeper.reset(); });
      self.starter->stop(std::chrono::milliseconds::zero());
      deviceLeftStuck = true;
      return;
    }
    // Finished after its caller gave up on it.
    if (self.start->keeper) {
      self.keeper = std::move(self.start->keeper);
      self.mixer = std::move(self.start->mixer);
    }
    self.subsystemsUp = self.start->subsystemsUp;
    self.starter.reset();
  }
  const bool sdlFree = !self.keeper || self.keeper->shutDown();
  if (!sdlFree) deviceLeftStuck = true;
  self.keeper.reset();
  // Nothing renders any more: wake whoever still waits for speech.
  if (self.mixer) self.mixer->clearSpeech();
  self.mixer.reset();
  if (!self.subsystemsUp) return;
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
  // Shutting the audio down would wait for a device stuck in the server.
  if (sdlFree) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

SpeechStream& SdlAudioOutput::speechStream(int sampleRate) {
  return mixer()->speechStream(sampleRate);
}

std::shared_ptr<Mixer> SdlAudioOutput::mixer() {
  std::lock_guard lock(impl_->mutex);
  if (!impl_->mixer) impl_->open();
  return impl_->mixer;
}

bool SdlAudioOutput::deviceOpen() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->mixer && impl_->keeper->deviceOpen();
}

std::uint64_t SdlAudioOutput::soundedPeriods() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->mixer ? impl_->keeper->soundedPeriods() : 0;
}

void SdlAudioOutput::Impl::open() {
  if (!start || starter->done(startTicket)) {
    if (!subsystemsUp) {
      // Read when the server connection is made; a name set in the
      // environment still wins.
      SDL_SetHint(SDL_HINT_APP_NAME, kName);
      SDL_SetHint(SDL_HINT_AUDIO_DEVICE_APP_NAME, kName);
      SDL_SetHint(SDL_HINT_AUDIO_DEVICE_STREAM_NAME, kName);
    }
    if (!starter) {
      starter = std::make_unique<BlockingWorker>(sdlThread("pelliwick-start"));
    }
    start = std::make_shared<AudioStart>();
    startTicket = starter->post([start = start, initNeeded = !subsystemsUp] {
      startAudio(*start, initNeeded);
    });
  }
  // A later call waits for the same start.
  const auto started = [&](std::chrono::milliseconds slice) {
    return starter->wait(startTicket, slice) == BlockingWorker::Outcome::Done;
  };
  if (waitAsking(started, BlockingWorker::kForever, closing,
                 kCloseCheckEvery) == BlockingWorker::Outcome::GaveUp) {
    throw ProgramClosed();
  }
  subsystemsUp = start->subsystemsUp;
  if (!start->keeper) throw Failure(start->error);
  keeper = std::move(start->keeper);
  mixer = std::move(start->mixer);
}

}  // namespace pelliwick
