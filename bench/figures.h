#pragma once

#include "sdl/sdl_window.h"

namespace pelliwick::bench {

// Each prints its lines of the table.
void idleWaits(SdlWindowSystem& window, int trials);
void keyToEchoAndPurge(SdlWindowSystem& window, int trials);
void startUp(int trials);
void mixerCpu(int trials);
// Runs in a process of its own (see main), so that its resident size is
// the game's alone.
void memoryOverRounds(SdlWindowSystem& window, int rounds);

}  // namespace pelliwick::bench
