#pragma once

// What the files of the SDL window share; not part of its contract.
#include <SDL.h>

#include <deque>
#include <string>

#include "platform/sdl/sdl_window.h"

namespace pelliwick {

// Taken off SDL's queue by a wait, in order, for the next pump to run.
struct SdlWindowSystem::HeldEvents : std::deque<SDL_Event> {};

namespace sdl_window {

// Throws Failure with `what` and SDL's own reason.
[[noreturn]] void fail(const std::string& what);

// A close of the window, or SDL's quit.
bool isCloseEvent(const SDL_Event& event);

}  // namespace sdl_window
}  // namespace pelliwick
