#pragma once

#include <SDL.h>

namespace pelliwick::sdl_window {

// The Windows virtual-key code of an SDL key, or 0 for a key that has none.
// Letters follow the layout (the key's keysym) so that y and n mean what is
// printed on the key, and so does a punctuation key whose character has a
// code of its own; digits and every other key follow the physical position
// (scancode), as the US layout names them.
int virtualKeyCode(SDL_Keycode key, SDL_Scancode scancode);

}  // namespace pelliwick::sdl_window
