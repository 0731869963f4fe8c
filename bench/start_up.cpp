// From starting the real program to the first sample of its start cue, as
// SDL's disk audio driver writes it: the driver writes each period as soon
// as the game has rendered it, so the file's growth marks that moment. Side
// by side, with no speech-dispatcher and with one of Debian's configuration;
// and the length of the F4 walk with that daemon's voices.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "../tests/speechd/private_daemon.h"
#include "bench_support.h"
#include "espeak/espeak_engine.h"
#include "failure.h"
#include "figures.h"
#include "speechd/joined_engine.h"

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

std::optional<double> oneStart(const std::filesystem::path& audioFile,
                               const std::string& speechdAddress) {
  std::filesystem::remove(audioFile);
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
  const auto started = Steady::now();
  const int error =
      posix_spawn(&game, program, &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return std::nullopt;

  std::optional<double> heard;
  std::size_t offset = 0;
  while (Steady::now() - started < 5s) {
    if (soundIn(audioFile, offset)) {
      heard = 1000 * secondsBetween(started, Steady::now());
      break;
    }
    std::this_thread::sleep_for(200us);
  }
  kill(game, SIGTERM);
  int status = 0;
  waitpid(game, &status, 0);
  return heard;
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
  std::vector<double> alone;
  std::vector<double> withDaemon;
  // Taken in turns, so that the machine's moods fall on both alike.
  for (int trial = 0; trial < std::max(trials, 5); ++trial) {
    const std::string none = "unix_socket:" + (folder / "none").string();
    if (const auto ms = oneStart(folder / "audio.raw", none)) {
      alone.push_back(*ms);
    }
    if (!daemon.running()) continue;
    if (const auto ms = oneStart(folder / "audio.raw", daemon.address())) {
      withDaemon.push_back(*ms);
    }
  }
  std::filesystem::remove_all(folder);
  printFigure("process start to the first sound of the start cue", alone, "ms",
              "<= 50");
  if (!daemon.running()) {
    std::printf("speech-dispatcher figures skipped: %s\n",
                daemon.why().c_str());
    return;
  }
  printFigure("the same with speech-dispatcher running", withDaemon, "ms",
              "<= 50 more");
  printValue("voices F4 walks (Debian's speech-dispatcher)", walkLength(),
             "voices", "<= 300");
}

}  // namespace pelliwick::bench
