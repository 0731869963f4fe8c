// The window contract on the SDL window, headless: SDL's offscreen video
// driver, with keys, wakes and closes pushed as SDL's own events.
#include "window_contract.h"

#include <SDL.h>

#include <cstdlib>
#include <memory>

#include "platform/sdl/sdl_window.h"

namespace pelliwick {
namespace {

class SdlDriver : public contract::WindowDriver {
 public:
  SdlDriver() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    window_.show(L"Form1");
  }
  WindowSystem& window() override { return window_; }
  void typeKey(int code) override {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.keysym = keysym(code);
    SDL_PushEvent(&event);
  }
  // What the audio thread pushes when a cue ends.
  void wake() override {
    SDL_Event event{};
    event.type = SDL_USEREVENT;
    SDL_PushEvent(&event);
  }
  void closeByPlayer() override {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    event.window.windowID =
        SDL_GetWindowID(static_cast<SDL_Window*>(window_.handle()));
    SDL_PushEvent(&event);
  }
  bool closeRequested() override { return window_.closeRequested(); }
  void requestStop() override { window_.requestStop(); }

 private:
  static SDL_Keysym keysym(int code) {
    switch (code) {
      case 13:
        return {SDL_SCANCODE_RETURN, SDLK_RETURN, 0, 0};
      case 16:
        return {SDL_SCANCODE_LSHIFT, SDLK_LSHIFT, 0, 0};
      case 115:
        return {SDL_SCANCODE_F4, SDLK_F4, 0, 0};
      case 123:
        return {SDL_SCANCODE_F12, SDLK_F12, 0, 0};
      default:
        break;
    }
    if (code >= '1' && code <= '9') {
      return {static_cast<SDL_Scancode>(SDL_SCANCODE_1 + (code - '1')),
              SDLK_1 + (code - '1'), 0, 0};
    }
    if (code >= 'A' && code <= 'Z') {
      return {static_cast<SDL_Scancode>(SDL_SCANCODE_A + (code - 'A')),
              SDLK_a + (code - 'A'), 0, 0};
    }
    ADD_FAILURE() << "no SDL key for " << code;
    return {};
  }

  SdlWindowSystem window_;
};

using contract::WindowContract;
INSTANTIATE_TEST_SUITE_P(Sdl, WindowContract,
                         ::testing::Values(contract::WindowBackend{
                             "Sdl",
                             [] { return std::make_unique<SdlDriver>(); }}),
                         contract::backendName);

}  // namespace
}  // namespace pelliwick
