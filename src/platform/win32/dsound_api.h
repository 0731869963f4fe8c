#pragma once

// The game's own names for DirectSound's flags come first: dsound.h makes
// the same names macros, which would break the game's declarations.
#include "platform/sound.h"
// (in this order)
#include <windows.h>
// (after windows.h)
#include <mmsystem.h>
// (the wave format, before dsound.h)
#include <dsound.h>
