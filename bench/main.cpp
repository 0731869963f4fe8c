// pelliwick-bench: the game's speed and memory figures, side by side with
// their targets. Needs a display (scripts/bench.sh starts Xvfb when there is
// none); the audio device is SDL's dummy driver unless SDL_AUDIODRIVER says
// otherwise. Usage: pelliwick-bench [trials [figure]] with 50 trials by
// default and every figure, or one of: memory idle speech start-up mixer
// sound-server.
#include <SDL.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>

#include "bench_support.h"
#include "figures.h"
#include "platform/sdl/sdl_window.h"
#include "platform/sdl_audio/sdl_audio_output.h"

namespace {

constexpr int kRounds = 200;
constexpr char kMemoryOnly[] = "--memory-only";

// In a process of its own, so that the resident size is the game's alone.
void memoryInAChild(const char* self) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    execl(self, self, kMemoryOnly, nullptr);
    _exit(127);
  }
  int status = 0;
  if (child > 0) waitpid(child, &status, 0);
}

int run(int argc, char** argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  pelliwick::SdlWindowSystem window;
  window.show(L"Form1");
  if (argc > 1 && std::string(argv[1]) == kMemoryOnly) {
    pelliwick::bench::memoryOverRounds(window, kRounds);
    return 0;
  }
  if (argc > 2 && std::string(argv[1]) == pelliwick::bench::kSoundServerOnly) {
    pelliwick::bench::soundServerAtRest(
        window, pelliwick::bench::serverPidsFromEnvironment(),
        std::atoi(argv[2]));
    return 0;
  }
  const int trials = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
  const std::string only = argc > 2 ? argv[2] : "";
  auto wanted = [&](const char* figure) {
    return only.empty() || only == figure;
  };

  std::printf("%-48s %12s %12s %-9s %s\n", "figure", "median", "worst", "unit",
              "target");
  if (wanted("memory")) {
    pelliwick::bench::printHeading("Memory (real window, speech and mixer; " +
                                   std::to_string(kRounds) + " rounds)");
    memoryInAChild("/proc/self/exe");
  }

  // The audio device runs through the idle figures, as in the game.
  pelliwick::SdlAudioOutput audio;
  audio.mixer();
  // As at a prompt that has been said: a few seconds into a silence the
  // device is closed until there is something to play.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (audio.deviceOpen() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (wanted("idle")) {
    pelliwick::bench::printHeading(
        std::string("Idle, waiting for a key (audio driver ") +
        SDL_GetCurrentAudioDriver() + ", video driver " +
        SDL_GetCurrentVideoDriver() + ")");
    pelliwick::bench::idleWaits(window, trials);
  }
  if (wanted("speech")) {
    pelliwick::bench::printHeading(
        "Pause and speech (real espeak-ng and mixer)");
    pelliwick::bench::keyToEchoAndPurge(window, trials);
  }
  if (wanted("start-up")) {
    pelliwick::bench::printHeading(
        "Start-up and end (the real program, disk driver)");
    pelliwick::bench::startUp(trials);
  }
  if (wanted("mixer")) {
    pelliwick::bench::printHeading("Mixer");
    pelliwick::bench::mixerCpu(trials);
  }
  if (wanted("sound-server")) {
    pelliwick::bench::soundServers("/proc/self/exe", trials);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pelliwick-bench: %s\n", error.what());
    return 1;
  }
}
