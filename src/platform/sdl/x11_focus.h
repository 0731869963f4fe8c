#pragma once

#include <SDL.h>

#include <optional>

namespace pelliwick::sdl_window {

// SDL reports a focus change on X11 only once 200 ms have passed and its
// events are pumped again, which a game asleep in a key wait may not do for
// minutes. The raw X focus events come at once, as SDL_SYSWMEVENT when those
// are enabled: whether `event` says the window gained (true) or lost (false)
// the keyboard focus.
std::optional<bool> x11FocusChange(const SDL_Event& event);

}  // namespace pelliwick::sdl_window
