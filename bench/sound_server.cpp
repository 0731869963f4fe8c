// What a waiting game costs the sound server, next to what the server costs
// with no client, and the delay from a key to the first sample of its echo
// at the device once the device has been closed for the silence. The real
// game code, speech engine and audio device, on a server of the
// benchmark's own.
#include <SDL.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"
#include "figures.h"
#include "game/form1.h"
#include "platform/espeak/espeak_engine.h"
#include "platform/espeak/espeak_library.h"
#include "platform/sdl_audio/sdl_audio_output.h"
#include "platform/sdl_audio/sdl_sound_system.h"
#include "platform/system/system_clock.h"
#include "platform/system/system_random.h"
#include "private_pipewire.h"
#include "private_pulse.h"

namespace pelliwick::bench {
namespace {

constexpr auto kQuietBeforeMeasuring = 10s;
constexpr auto kMeasured = 15s;

double serverCpuSeconds(const std::vector<int>& pids) {
  double ticks = 0;
  for (int pid : pids) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::vector<std::string> values;
    for (std::string value; fields >> value;) values.push_back(value);
    if (values.size() > 12) {
      ticks += std::stod(values[11]) + std::stod(values[12]);
    }
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Percent of one core the servers and this process use over `span`.
std::pair<double, double> cpuOver(const std::vector<int>& pids,
                                  Steady::duration span) {
  const double server = serverCpuSeconds(pids);
  const double game = processCpuSeconds();
  const auto start = Steady::now();
  std::this_thread::sleep_for(span);
  const double seconds = secondsBetween(start, Steady::now());
  return {100 * (serverCpuSeconds(pids) - server) / seconds,
          100 * (processCpuSeconds() - game) / seconds};
}

void pushDigit(int digit) {
  SDL_Event event{};
  event.type = SDL_KEYDOWN;
  event.key.keysym.sym = SDLK_0 + digit;
  event.key.keysym.scancode =
      digit == 0 ? SDL_SCANCODE_0
                 : static_cast<SDL_Scancode>(SDL_SCANCODE_1 + digit - 1);
  SDL_PushEvent(&event);
}

}  // namespace

void soundServerAtRest(SdlWindowSystem& window, const std::vector<int>& pids,
                       int trials) {
  const auto [alone, unused] = cpuOver(pids, kMeasured);
  printValue("server CPU with no client, over 15 s", alone, "% core", "");

  SdlAudioOutput audio;
  SdlSoundSystem sound(audio);
  SystemClock clock;
  SystemRandom random;
  espeak::EspeakEngine speech([&audio]() -> SpeechStream& {
    return audio.speechStream(espeak::kSampleRate);
  });
  Platform platform{window, clock, random, speech, sound, programFolder()};
  Form1 form(platform);
  form.createVoice();
  form.selectVoice(0);
  form.rate = form.readRate();
  form.setVolume(95);

  std::pair<double, double> waiting{-1, -1};
  std::vector<double> echo;
  std::thread typist([&] {
    for (int trial = 0; trial < trials; ++trial) {
      // The device closes a few seconds into a silence.
      const auto quietFrom = Steady::now();
      if (!waitUntil([&] { return !audio.deviceOpen(); }, 20s)) break;
      if (trial == 0) {
        std::this_thread::sleep_until(quietFrom + kQuietBeforeMeasuring);
        waiting = cpuOver(pids, kMeasured);
      }
      const auto sounded = audio.soundedPeriods();
      const auto pressed = Steady::now();
      pushDigit(trial % 10);
      if (waitUntil([&] { return audio.soundedPeriods() > sounded; }, 2s)) {
        echo.push_back(1000 * secondsBetween(pressed, Steady::now()));
      }
    }
    SDL_Event enter{};
    enter.type = SDL_KEYDOWN;
    enter.key.keysym.sym = SDLK_RETURN;
    enter.key.keysym.scancode = SDL_SCANCODE_RETURN;
    SDL_PushEvent(&enter);
  });
  form.getter(L" ");
  typist.join();
  printValue(
      "server CPU at a key wait, 10 s into a silence", waiting.first, "% core",
      "<= " + std::to_string(alone + 0.1).substr(0, 4) + " (no client + 0.1)");
  printValue("  the game itself meanwhile", waiting.second, "% core", "");
  printFigure("key to the first sample at the device after a silence", echo,
              "ms", "median <= 15, worst <= 25");
}

}  // namespace pelliwick::bench

namespace pelliwick::bench {
namespace {

// The figures above, in a child whose SDL picks the driver afresh.
void inAChild(const char* self, const std::string& heading,
              const std::vector<std::pair<std::string, std::string>>& env,
              const std::vector<int>& pids, int trials) {
  printHeading(heading);
  std::string pidList;
  for (int pid : pids) pidList += std::to_string(pid) + " ";
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    for (const auto& [key, value] : env) setenv(key.c_str(), value.c_str(), 1);
    setenv(kServerPids, pidList.c_str(), 1);
    const std::string count = std::to_string(trials);
    execl(self, self, kSoundServerOnly, count.c_str(), nullptr);
    _exit(127);
  }
  int status = 0;
  if (child > 0) waitpid(child, &status, 0);
}

}  // namespace

void soundServers(const char* self, int trials) {
  // Each echo waits for the device to close first: a few seconds a trial.
  trials = std::min(trials, 10);
  e2e::PrivatePulse pulse;
  if (!pulse.start()) {
    printHeading("Sound server at rest: PulseAudio skipped (" + pulse.whyNot() +
                 ")");
  } else {
    inAChild(
        self,
        "Sound server at rest: private PulseAudio, null sink, SDL's "
        "pulseaudio driver",
        {{"SDL_AUDIODRIVER", "pulseaudio"}, {"PULSE_SERVER", pulse.address()}},
        {pulse.pid()}, trials);
  }
  pulse.kill();
  PrivatePipeWire pipewire;
  if (!pipewire.whyNot().empty()) {
    printHeading("Sound server at rest: PipeWire skipped (" +
                 pipewire.whyNot() + ")");
    return;
  }
  inAChild(self,
           "Sound server at rest: private PipeWire (pipewire and "
           "pipewire-pulse), null sink, SDL's pulseaudio driver",
           {{"SDL_AUDIODRIVER", "pulseaudio"},
            {"PULSE_SERVER", pipewire.pulseAddress()}},
           pipewire.serverPids(), trials);
  inAChild(self,
           "Sound server at rest: the same PipeWire, SDL's pipewire driver",
           {{"SDL_AUDIODRIVER", "pipewire"},
            {"PIPEWIRE_RUNTIME_DIR", pipewire.runtimeFolder()}},
           pipewire.serverPids(), trials);
}

std::vector<int> serverPidsFromEnvironment() {
  std::vector<int> pids;
  const char* text = std::getenv(kServerPids);
  std::istringstream in(text != nullptr ? text : "");
  for (int pid = 0; in >> pid;) pids.push_back(pid);
  return pids;
}

}  // namespace pelliwick::bench
