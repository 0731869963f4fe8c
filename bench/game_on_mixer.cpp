#include "game_on_mixer.h"

#include <SDL.h>

#include "platform/espeak/espeak_library.h"
#include "platform/sdl_audio/sdl_sound_system.h"

namespace pelliwick::bench {
namespace {

class MixerRoot : public SoundRoot {
 public:
  explicit MixerRoot(std::shared_ptr<Mixer> mixer) : mixer_(std::move(mixer)) {}
  std::shared_ptr<SoundDevice> directSoundCreate() override {
    return std::make_shared<SdlSoundDevice>(mixer_);
  }

 private:
  std::shared_ptr<Mixer> mixer_;
};

// As the audio device does: a cue's end wakes the waiting main thread.
void pushCueEnded() {
  SDL_Event event{};
  event.type = SDL_USEREVENT;
  SDL_PushEvent(&event);
}

}  // namespace

std::shared_ptr<SoundRoot> MixerSound::createRoot() {
  return std::make_shared<MixerRoot>(mixer_);
}

GameOnMixer::GameOnMixer(WindowSystem& window, Clock& clock,
                         RandomSource& random, bool realTime)
    : mixer(std::make_shared<Mixer>(44100, pushCueEnded)),
      sound(mixer),
      speech([m = mixer]() -> SpeechStream& {
        return m->speechStream(espeak::kSampleRate);
      }),
      platform{window, clock, random, speech, sound, programFolder()},
      driver(*mixer, realTime) {}

}  // namespace pelliwick::bench
