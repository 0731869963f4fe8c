#pragma once

#include <chrono>

#include "app/exit_watchdog.h"
#include "platform/platform.h"

namespace pelliwick::app {

// From a stop, or the game flow's return, to the process's end at the
// latest, whatever a voice, a speech library or the sound device is stuck
// in.
inline constexpr std::chrono::milliseconds kTeardownLimit{200};

// Plays the game on `platform` and returns the status the program is to end
// with, a failure reported in one line. What follows only lets go of the
// backends and must not hold the end: the watchdog is armed for it.
int playGame(Platform& platform, ExitWatchdog& watchdog);

}  // namespace pelliwick::app
