// The cue contract run against the SDL backend, on SDL's dummy driver.
#include <SDL.h>

#include "platform/sdl_audio/sdl_audio_output.h"
#include "platform/sdl_audio/sdl_sound_system.h"
#include "sound_contract.h"

namespace pelliwick::contract {
namespace {

class SdlSoundDriver : public SoundDriver {
 public:
  std::shared_ptr<SoundRoot> createRoot() override {
    return system_.createRoot();
  }
  // SDL needs no window: any handle stands for one.
  WindowHandle window() override { return &windowStandIn_; }
  std::filesystem::path cueFolder() override { return PELLIWICK_CUE_FOLDER; }
  void forgetWakes() override {
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  }
  bool waitForWake(std::chrono::milliseconds atMost) override {
    SDL_Event event;
    while (SDL_WaitEventTimeout(&event, static_cast<int>(atMost.count())) ==
           1) {
      if (event.type == SDL_USEREVENT) return true;
    }
    return false;
  }

 private:
  int windowStandIn_ = 0;
  SdlAudioOutput output_;
  SdlSoundSystem system_{output_};
};

INSTANTIATE_TEST_SUITE_P(
    Sdl, SoundContract,
    testing::Values(SoundBackend{
        "Sdl",
        [] { return std::unique_ptr<SoundDriver>(new SdlSoundDriver); }}),
    backendName);

}  // namespace
}  // namespace pelliwick::contract
