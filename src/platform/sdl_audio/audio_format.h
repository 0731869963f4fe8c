#pragma once

#include <SDL.h>

namespace pelliwick {

// What the program asks SDL's device for: stereo float in short periods.
// SDL converts format and channels for us; the period stays ours, and the
// rate is whatever the device likes best.
SDL_AudioSpec wantedAudioFormat();

}  // namespace pelliwick
