// From starting the real program to the first sample of its start cue, as
// SDL's disk audio driver writes it: the driver writes each period as soon
// as the game has rendered it, so the file's growth marks that moment. Then
// from SIGTERM to the program's end, with the device playing and with it
// frozen (a pipe nobody reads any more, as a sound server stopped with
// SIGSTOP leaves it).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "bench_support.h"
#include "figures.h"

extern char** environ;

namespace pelliwick::bench {
namespace {

// The first sample louder than silence in the file, read from `offset` on;
// the device writes 32-bit floats.
bool soundIn(const std::filesystem::path& file, std::size_t& offset) {
  std::ifstream in(file, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  float sample = 0;
  while (in.read(reinterpret_cast<char*>(&sample), sizeof sample)) {
    offset += sizeof sample;
    if (std::abs(sample) > 0.001f) return true;
  }
  return false;
}

// The real program, its sound going to `audioFile` through the disk driver.
pid_t spawnGame(const std::filesystem::path& audioFile) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (text.rfind("SDL_AUDIODRIVER=", 0) == 0 ||
        text.rfind("SDL_DISKAUDIOFILE=", 0) == 0) {
      continue;
    }
    env.push_back(text);
  }
  env.push_back("SDL_AUDIODRIVER=disk");
  env.push_back("SDL_DISKAUDIOFILE=" + audioFile.string());
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  // Another build of the game may be measured by naming it.
  const char* named = std::getenv("PELLIWICK_BENCH_PROGRAM");
  const char* program = named != nullptr ? named : PELLIWICK_BINARY;
  char* argv[] = {const_cast<char*>(program), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t game = 0;
  const int error =
      posix_spawn(&game, program, &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? game : -1;
}

// Milliseconds from SIGTERM to the end of the process; one still running
// after 5 s is killed, and gives about 5000.
double stopMilliseconds(pid_t game) {
  const auto sent = Steady::now();
  kill(game, SIGTERM);
  int status = 0;
  while (waitpid(game, &status, WNOHANG) == 0) {
    if (Steady::now() - sent > 5s) {
      kill(game, SIGKILL);
      waitpid(game, &status, 0);
      break;
    }
    std::this_thread::sleep_for(200us);
  }
  return 1000 * secondsBetween(sent, Steady::now());
}

struct Start {
  std::optional<double> heard;
  double stopped = 0;
};

std::optional<Start> oneStart(const std::filesystem::path& audioFile) {
  std::filesystem::remove(audioFile);
  const auto started = Steady::now();
  const pid_t game = spawnGame(audioFile);
  if (game < 0) return std::nullopt;
  Start start;
  std::size_t offset = 0;
  while (Steady::now() - started < 5s) {
    if (soundIn(audioFile, offset)) {
      start.heard = 1000 * secondsBetween(started, Steady::now());
      break;
    }
    std::this_thread::sleep_for(200us);
  }
  start.stopped = stopMilliseconds(game);
  return start;
}

// Plays through a pipe until the title is being said, then stops reading.
std::optional<double> oneFrozenStop(const std::filesystem::path& fifo) {
  std::filesystem::remove(fifo);
  if (mkfifo(fifo.c_str(), 0600) != 0) return std::nullopt;
  const int device = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (device < 0) return std::nullopt;
  const pid_t game = spawnGame(fifo);
  if (game < 0) {
    close(device);
    return std::nullopt;
  }
  const auto started = Steady::now();
  char samples[16384];
  while (Steady::now() - started < 3s) {
    if (read(device, samples, sizeof samples) <= 0) {
      std::this_thread::sleep_for(5ms);
    }
  }
  // The pipe fills in a fraction of a second of sound.
  std::this_thread::sleep_for(500ms);
  const double stopped = stopMilliseconds(game);
  close(device);
  return stopped;
}

}  // namespace

void startUp(int trials) {
  char pattern[] = "/tmp/pelliwick-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return;
  const std::filesystem::path folder = pattern;
  std::vector<double> startUps;
  std::vector<double> stops;
  for (int trial = 0; trial < trials; ++trial) {
    if (const auto start = oneStart(folder / "audio.raw")) {
      if (start->heard) startUps.push_back(*start->heard);
      stops.push_back(start->stopped);
    }
  }
  // Each takes seconds: a few are enough.
  std::vector<double> frozenStops;
  for (int trial = 0; trial < std::min(trials, 5); ++trial) {
    if (const auto ms = oneFrozenStop(folder / "device")) {
      frozenStops.push_back(*ms);
    }
  }
  std::filesystem::remove_all(folder);
  printFigure("process start to the first sound of the start cue", startUps,
              "ms", "<= 50");
  printFigure("SIGTERM in the start cue to the process's end", stops, "ms",
              "<= 300");
  printFigure("SIGTERM, sound device frozen, to the end", frozenStops, "ms",
              "<= 300");
}

}  // namespace pelliwick::bench
