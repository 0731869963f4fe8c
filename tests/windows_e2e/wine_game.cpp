#include "wine_game.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

namespace pelliwick::e2e {

namespace {

const std::string kWine = "/usr/lib/wine/wine64";

bool required() { return std::getenv("PELLIWICK_REQUIRE_WINDOWS") != nullptr; }

}  // namespace

double realtimeNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

std::string windowsPath(const fs::path& path) {
  std::string text = "Z:" + fs::absolute(path).string();
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

void WineEndToEnd::SetUp() {
  windowsBuild_ = PELLIWICK_WINDOWS_BUILD;
  binary_ = windowsBuild_ / "bin" / "pelliwick.exe";
  if (!fs::exists(binary_)) {
    const std::string why = binary_.string() +
                            " is not built (cmake --preset windows && cmake "
                            "--build --preset windows)";
    if (required()) FAIL() << why << ", and PELLIWICK_REQUIRE_WINDOWS is set";
    GTEST_SKIP() << why;
  }
  ASSERT_FALSE(findProgram("wineserver").empty() || !fs::exists(kWine))
      << "Wine is missing: the Debian packages wine and wine64";
  EndToEnd::SetUp();
  speechLog_ = dir_ / "voice.log";
}

void WineEndToEnd::TearDown() {
  game_.kill();
  if (!root_.empty()) {
    keepWineProcesses();
    Environment env = currentEnvironment();
    if (!displayName_.empty()) env["DISPLAY"] = displayName_;
    Process stop({PELLIWICK_WINE_RUN, root_.string(), "--stop"}, env,
                 dir_ / "stop.out", dir_ / "stop.err");
    stop.waitFor(30s);
  }
  EndToEnd::TearDown();
}

void WineEndToEnd::startWine(Sapi sapi) {
  const fs::path reg =
      windowsBuild_ / "tests/windows/test_voice/test_voice.reg";
  if (sapi == Sapi::TestVoice && !fs::exists(reg)) {
    const std::string why = reg.string() + " is missing: the test voice";
    if (required()) FAIL() << why << ", and PELLIWICK_REQUIRE_WINDOWS is set";
    GTEST_SKIP() << why;
  }
  startXvfb();
  // One prefix per kind, made by the first test (about 10 s) and kept in
  // the build tree; its server is the test's, for the test's display.
  root_ = fs::path(PELLIWICK_WINE_E2E_ROOT) /
          (sapi == Sapi::Wine ? "plain" : "voice");
  runTool({PELLIWICK_WINE_RUN, root_.string(), "--start"}, 180s);
  if (sapi == Sapi::TestVoice) {
    runTool(
        {PELLIWICK_WINE_RUN, root_.string(), "regedit", "/S", windowsPath(reg)},
        60s);
  }
}

Environment WineEndToEnd::wineEnvironment() const {
  Environment env = currentEnvironment();
  for (const char* key : {"LD_PRELOAD", "PULSE_SERVER", "WINEDEBUG"}) {
    env.erase(key);
  }
  env["WINEPREFIX"] = (root_ / "prefix").string();
  // Its .asoundrc sends ALSA to the null device: DirectSound has a device.
  env["HOME"] = (root_ / "home").string();
  env["WINEDEBUG"] = "-all";
  env["WINEDLLOVERRIDES"] = "mscoree,mshtml=";
  env["DISPLAY"] = displayName_;
  env["PELLIWICK_TEST_VOICE_LOG"] = windowsPath(speechLog_);
  return env;
}

void WineEndToEnd::startProgram(Environment env, const fs::path& exe) {
  if (game_.started()) {
    game_.kill();
    keepWineProcesses();
    expectNothingLeftBehind();
  }
  startedBefore_ = ownChildren();
  // Output to files: Wine's own processes would hold a pipe open.
  game_ = Process({kWine, (exe.empty() ? binary_ : exe).string()}, env,
                  dir_ / "game.out", dir_ / "game.err");
}

std::size_t WineEndToEnd::waitForLine(
    const std::string& kind,
    const std::function<bool(const std::string&)>& matches, std::size_t from,
    Seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto lines = readSpeechLog(speechLog_);
    for (std::size_t i = from; i < lines.size(); ++i) {
      if (lines[i].kind == kind && matches(lines[i].text)) return i;
    }
    if (game_.poll() || std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error("waited in vain for a line of kind " + kind +
                               "\n" + gameReport());
    }
    std::this_thread::sleep_for(5ms);
  }
}

std::size_t WineEndToEnd::waitForEcho(const std::string& character,
                                      std::size_t from) {
  return waitForLine(
      "synth",
      [&](const std::string& text) {
        return trimmed(text) == character ||
               text.find(">" + character + "<") != std::string::npos;
      },
      from, 10s);
}

int WineEndToEnd::cuePlays() {
  std::istringstream trace(readFile(dir_ / "game.err"));
  int plays = 0;
  std::string line;
  while (std::getline(trace, line)) {
    if (line.find(":dsound:") != std::string::npos &&
        line.find("Buffer") != std::string::npos &&
        line.find("_Play") != std::string::npos) {
      ++plays;
    }
  }
  return plays;
}

std::string WineEndToEnd::waitForBox(Seconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline && !game_.poll()) {
    Environment env = currentEnvironment();
    env["DISPLAY"] = displayName_;
    Process search({"xdotool", "search", "--onlyvisible", "--name",
                    "^" + kNoVoiceCaption + "$"},
                   env, dir_ / "search.out", dir_ / "search.err");
    search.waitFor(10s);
    const std::string found = readFile(dir_ / "search.out");
    if (!found.empty()) return found.substr(0, found.find('\n'));
    std::this_thread::sleep_for(100ms);
  }
  return {};
}

int WineEndToEnd::guessByHalving(std::size_t& cursor, int low, int high,
                                 int guessesSoFar, bool countKnown) {
  for (int guesses = guessesSoFar + 1;; ++guesses) {
    if (guesses > guessesSoFar + 8) {
      throw std::runtime_error("halving took too many guesses");
    }
    const int guess = (low + high) / 2;
    const std::string said = answerTo(guess, cursor);
    if (said == trimmed(kRight)) {
      cursor =
          waitForSpeech({" the number was  " + std::to_string(guess)}, cursor);
      const std::string count =
          " it took you  " + std::to_string(guesses) + " guesses";
      cursor = waitForLine(
          "synth",
          [&](const std::string& text) {
            return countKnown ? trimmed(text) == trimmed(count)
                              : text.find(" it took you ") == 0;
          },
          cursor);
      return guesses;
    }
    if (said == trimmed(kTooLow)) {
      low = std::max(low, guess + 1);
    } else {
      high = std::min(high, guess - 1);
    }
    if (low > high) throw std::runtime_error("the answers contradict");
    cursor = waitForSpeech({kPrompt}, cursor) + 1;
  }
}

void WineEndToEnd::sayNoAndExpectTheEnd(std::size_t cursor) {
  cursor = waitForSpeech({kPlayAgain}, cursor);
  cursor = waitForSpeech({kPressYOrN}, cursor);
  std::this_thread::sleep_for(150ms);
  key("n");
  cursor = waitForSpeech({kThanks}, cursor);
  waitForSpeech({kExiting}, cursor, 15s);
  expectCleanExit(15s);
}

void WineEndToEnd::keepWineProcesses() {
  for (const pid_t pid : ownChildren()) {
    if (pid == game_.pid() || pid == xvfb_.pid()) continue;
    std::string command = readFile("/proc/" + std::to_string(pid) + "/cmdline");
    std::transform(command.begin(), command.end(), command.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    // Programs of ours (the game's copies, the bare window) are not Wine's.
    if (command.find("pelliwick.exe") == std::string::npos &&
        command.find("pelliwick_bare_window") == std::string::npos) {
      keepProcess(pid);
    }
  }
}

}  // namespace pelliwick::e2e
