// What the program's entry sees of the sound backend: its contract, with
// neither SDL nor a thread header behind it. Checked when this compiles.
#include "platform/sdl_audio/sdl_audio_output.h"
#include "platform/sdl_audio/sdl_sound_system.h"

#if defined(SDL_h_) || defined(_GLIBCXX_MUTEX) || defined(_GLIBCXX_THREAD) || \
    defined(_GLIBCXX_CONDITION_VARIABLE)
#error "the sound backend's headers bring in SDL or a thread header"
#endif
