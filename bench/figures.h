#pragma once

#include <vector>

#include "platform/sdl/sdl_window.h"

namespace pelliwick::bench {

// Each prints its lines of the table.
void idleWaits(SdlWindowSystem& window, int trials);
void keyToEchoAndPurge(SdlWindowSystem& window, int trials);
void startUp(int trials);
void mixerCpu(int trials);
// Starts private sound servers and runs soundServerAtRest against each, in
// a child started as `self kSoundServerOnly trials` with the servers' pids
// in kServerPids.
inline constexpr char kSoundServerOnly[] = "--sound-server-only";
inline constexpr char kServerPids[] = "PELLIWICK_BENCH_SERVER_PIDS";
void soundServers(const char* self, int trials);
std::vector<int> serverPidsFromEnvironment();
void soundServerAtRest(SdlWindowSystem& window, const std::vector<int>& pids,
                       int trials);
// Runs in a process of its own (see main), so that its resident size is
// the game's alone.
void memoryOverRounds(SdlWindowSystem& window, int rounds);

}  // namespace pelliwick::bench
