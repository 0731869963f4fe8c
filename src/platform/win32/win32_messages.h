#pragma once

#include <windows.h>

namespace pelliwick::win32 {

// Posted to the game window by another thread (a cue that ended, a stop
// request) only to wake a wait; the pump takes it off and does nothing else.
constexpr UINT kWakeMessage = WM_APP + 1;

}  // namespace pelliwick::win32
