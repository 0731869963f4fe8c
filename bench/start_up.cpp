// From starting the real program to the first sample of its start cue, as
// SDL's disk audio driver writes it: the driver writes each period as soon
// as the game has rendered it, so the file's growth marks that moment. Side
// by side, with no speech-dispatcher and with one of Debian's configuration;
// and the length of the F4 walk with that daemon's voices. Then from SIGTERM
// to the program's end, with the device playing and with it frozen (a pipe
// nobody reads any more, as a sound server stopped with SIGSTOP leaves it).
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
#include "platform/espeak/espeak_engine.h"
#include "platform/failure.h"
#include "platform/speechd/joined_engine.h"
#include "private_daemon.h"

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

// The real program, its sound going to `audioFile` through the disk driver,
// speech-dispatcher looked for at `speechdAddress`.
pid_t spawnGame(const std::filesystem::path& audioFile,
                const std::string& speechdAddress) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (text.rfind("SDL_AUDIODRIVER=", 0) == 0 ||
        text.rfind("SDL_DISKAUDIOFILE=", 0) == 0 ||
        text.rfind("SPEECHD_ADDRESS=", 0) == 0) {
      continue;
    }
    env.push_back(text);
  }
  env.push_back("SPEECHD_ADDRESS=" + speechdAddress);
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

std::optional<Start> oneStart(const std::filesystem::path& audioFile,
                              const std::string& speechdAddress) {
  std::filesystem::remove(audioFile);
  const auto started = Steady::now();
  const pid_t game = spawnGame(audioFile, speechdAddress);
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
std::optional<double> oneFrozenStop(const std::filesystem::path& fifo,
                                    const std::string& speechdAddress) {
  std::filesystem::remove(fifo);
  if (mkfifo(fifo.c_str(), 0600) != 0) return std::nullopt;
  const int device = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (device < 0) return std::nullopt;
  const pid_t game = spawnGame(fifo, speechdAddress);
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

// The voices F4 walks through before it comes back to the first, as the
// game counts them.
int walkLength() {
  struct NoStream : SpeechStream {
    std::uint64_t append(const std::int16_t*, std::size_t count) override {
      return count;
    }
    void clear() override {}
    std::uint64_t playedPosition() const override { return 0; }
    void waitPlayed(std::uint64_t) override {}
    bool waitPlayedFor(std::uint64_t, std::chrono::milliseconds) override {
      return true;
    }
  } stream;
  espeak::EspeakEngine embedded(
      [&stream]() -> SpeechStream& { return stream; });
  speechd::JoinedEngine engine(embedded, speechd::openLinkIfRunning());
  auto voice = engine.createVoice();
  int count = 0;
  try {
    for (;;) voice->selectVoice(count++);
  } catch (const Failure&) {
    --count;
  }
  return count;
}

}  // namespace

void startUp(int trials) {
  char pattern[] = "/tmp/pelliwick-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return;
  const std::filesystem::path folder = pattern;
  speechd::test::PrivateDaemon daemon(
      speechd::test::PrivateDaemon::Modules::kDebian);
  const std::string none = "unix_socket:" + (folder / "none").string();
  std::vector<double> alone;
  std::vector<double> withDaemon;
  std::vector<double> stops;
  // Taken in turns, so that the machine's moods fall on both alike.
  for (int trial = 0; trial < std::max(trials, 5); ++trial) {
    if (const auto start = oneStart(folder / "audio.raw", none)) {
      if (start->heard) alone.push_back(*start->heard);
      stops.push_back(start->stopped);
    }
    if (!daemon.running()) continue;
    if (const auto start = oneStart(folder / "audio.raw", daemon.address())) {
      if (start->heard) withDaemon.push_back(*start->heard);
    }
  }
  // Counted now: the daemon ends by itself 10 s after its last client.
  const int walk = daemon.running() ? walkLength() : 0;
  // Each takes seconds: a few are enough.
  std::vector<double> frozenStops;
  for (int trial = 0; trial < std::min(trials, 5); ++trial) {
    if (const auto ms = oneFrozenStop(folder / "device", none)) {
      frozenStops.push_back(*ms);
    }
  }
  std::filesystem::remove_all(folder);
  printFigure("process start to the first sound of the start cue", alone, "ms",
              "<= 50");
  if (daemon.running()) {
    printFigure("the same with speech-dispatcher running", withDaemon, "ms",
                "<= 50 more");
    printValue("voices F4 walks (Debian's speech-dispatcher)", walk, "voices",
               "<= 300");
  } else {
    std::printf("speech-dispatcher figures skipped: %s\n",
                daemon.why().c_str());
  }
  printFigure("SIGTERM in the start cue to the process's end", stops, "ms",
              "<= 300");
  printFigure("SIGTERM, sound device frozen, to the end", frozenStops, "ms",
              "<= 300");
}

}  // namespace pelliwick::bench
