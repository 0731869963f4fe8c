// Support for running the real program in a real window under Xvfb, keys
// typed with xdotool, speech observed through the preloaded speech log and
// the sound through SDL's disk audio driver. Every wait is bounded; teardown
// kills whatever was started.
#pragma once

#include <gtest/gtest.h>
// After GoogleTest: Xlib defines macros such as None and Bool.
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace pelliwick::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Seconds = std::chrono::duration<double>;

// The same clock as the speech log's timestamps.
inline double monotonicNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline std::string findProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const fs::path candidate = fs::path(dir) / name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

using Environment = std::map<std::string, std::string>;

inline Environment currentEnvironment() {
  Environment env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const auto equals = text.find('=');
    if (equals != std::string::npos) {
      env[text.substr(0, equals)] = text.substr(equals + 1);
    }
  }
  return env;
}

inline std::string describeStatus(int status) {
  if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    return "killed by signal " + std::to_string(WTERMSIG(status));
  }
  return "status " + std::to_string(status);
}

// A child process in its own process group, killed with its group unless
// it has been waited for.
class Process {
 public:
  Process() = default;
  Process(const std::vector<std::string>& argv, const Environment& env,
          const fs::path& out, const fs::path& err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGTERM);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP |
                                              POSIX_SPAWN_SETSIGMASK |
                                              POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envText;
    for (const auto& [key, value] : env) envText.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (auto& entry : envText) envp.push_back(entry.data());
    envp.push_back(nullptr);

    const int error = posix_spawnp(&pid_, argv.at(0).c_str(), &actions,
                                   &attributes, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
      pid_ = -1;
      throw std::runtime_error("cannot start " + argv.at(0) + ": " +
                               std::strerror(error));
    }
  }
  Process(Process&& other) noexcept { *this = std::move(other); }
  Process& operator=(Process&& other) noexcept {
    if (this != &other) {
      kill();
      pid_ = std::exchange(other.pid_, -1);
      status_ = other.status_;
    }
    return *this;
  }
  ~Process() { kill(); }

  pid_t pid() const { return pid_; }
  bool started() const { return pid_ > 0; }

  // The wait status once the process has ended, without blocking.
  std::optional<int> poll() {
    if (!status_ && pid_ > 0) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
    }
    return status_;
  }

  std::optional<int> waitFor(Seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!poll() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(5ms);
    }
    return poll();
  }

  void signal(int number) {
    if (pid_ > 0 && !poll()) ::kill(pid_, number);
  }

  // Asks the process to end, so that it can clean up after itself (Xvfb
  // removes its lock file), and kills it if it has not within `grace`.
  void terminate(Seconds grace) {
    signal(SIGTERM);
    waitFor(grace);
    kill();
  }

  void kill() {
    if (pid_ > 0 && !poll()) {
      ::kill(-pid_, SIGKILL);
      int status = 0;
      waitpid(pid_, &status, 0);
      status_ = status;
    }
  }

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

struct SpeechLine {
  double time = 0;
  std::string kind;
  std::string text;
};

inline std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

inline std::vector<SpeechLine> readSpeechLog(const fs::path& path) {
  std::vector<SpeechLine> lines;
  const std::string text = readFile(path);
  std::size_t start = 0;
  for (;;) {
    const auto end = text.find('\n', start);
    if (end == std::string::npos) break;  // a line still being written
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const auto space1 = line.find(' ');
    const auto space2 = line.find(' ', space1 + 1);
    if (space1 == std::string::npos || space2 == std::string::npos) continue;
    lines.push_back({std::stod(line.substr(0, space1)),
                     line.substr(space1 + 1, space2 - space1 - 1),
                     line.substr(space2 + 1)});
  }
  return lines;
}

// Seconds of CPU (user and system) used by a process (all its threads) or
// by one thread, given its /proc folder.
inline double cpuSeconds(const std::string& procFolder) {
  const std::string stat = readFile(procFolder + "/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::vector<std::string> values;
  std::string value;
  while (fields >> value) values.push_back(value);
  // Fields 14 and 15 of the whole line: after "pid (comm) " they are 12, 13.
  const double ticks = std::stod(values.at(11)) + std::stod(values.at(12));
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// The disk driver writes what the device played. The device is opened with
// float samples; a file that does not read as plausible floats is taken as
// signed 16-bit.
inline std::vector<float> readAudio(const fs::path& path) {
  const std::string bytes = readFile(path);
  std::vector<float> samples(bytes.size() / sizeof(float));
  std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
  const bool plausible = std::all_of(
      samples.begin(), samples.end(),
      [](float s) { return std::isfinite(s) && std::abs(s) <= 4.0f; });
  if (plausible) return samples;
  std::vector<float> converted(bytes.size() / 2);
  for (std::size_t i = 0; i < converted.size(); ++i) {
    std::int16_t sample = 0;
    std::memcpy(&sample, bytes.data() + 2 * i, 2);
    converted[i] = sample / 32768.0f;
  }
  return converted;
}

inline double peak(const std::vector<float>& samples, std::size_t fromByte,
                   std::size_t toByte, std::size_t bytesPerSample) {
  const std::size_t first = fromByte / bytesPerSample;
  const std::size_t last = std::min(toByte / bytesPerSample, samples.size());
  double highest = 0;
  for (std::size_t i = first; i < last; ++i) {
    highest = std::max(highest, static_cast<double>(std::abs(samples[i])));
  }
  return highest;
}

inline double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

inline const std::string kTitle = " Pelliwick By Orvanne ";
inline const std::string kPrompt =
    " Enter your guess, a number between 0 and 100 ";
inline const std::string kTooLow = " sorry your guess was too low ";
inline const std::string kTooHigh = " sorry your guess was too high ";
inline const std::string kRight = " Yes! you got it ";
inline const std::string kPlayAgain = " do you want to play again? ";
inline const std::string kPressYOrN = " press y or n ";
inline const std::string kThanks = "Thank you for playing Pelliwick By Orvanne";
inline const std::string kExiting = "Exiting program";

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool", "xwininfo"}) {
      ASSERT_FALSE(findProgram(tool).empty())
          << tool
          << " is missing: the end-to-end tests need the Debian packages "
             "xvfb xdotool x11-utils (see the README's test command)";
    }
    ASSERT_TRUE(fs::exists(PELLIWICK_BINARY)) << PELLIWICK_BINARY;
    ASSERT_TRUE(fs::exists(SPEECH_LOG_LIBRARY)) << SPEECH_LOG_LIBRARY;
    char pattern[] = "/tmp/pelliwick-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    speechLog_ = dir_ / "speech.log";
    audioFile_ = dir_ / "audio.raw";
  }

  void TearDown() override {
    game_.kill();
    if (display_ != nullptr) XCloseDisplay(display_);
    xvfb_.terminate(5s);
    if (HasFailure()) {
      std::printf("kept for inspection: %s\n", dir_.c_str());
    } else if (!dir_.empty()) {
      fs::remove_all(dir_);
    }
  }

  // Xvfb picks a free display itself (stale lock files of dead servers
  // included) and writes its number to our file.
  void startXvfb() {
    std::vector<std::string> argv{"Xvfb"};
    // On a machine shared with others, PELLIWICK_E2E_DISPLAY names the one
    // display number to use.
    if (const char* own = std::getenv("PELLIWICK_E2E_DISPLAY")) {
      argv.push_back(std::string(":") + own);
    }
    argv.insert(argv.end(), {"-displayfd", "1", "-nolisten", "tcp", "-screen",
                             "0", "800x600x24"});
    xvfb_ = Process(argv, currentEnvironment(), dir_ / "xvfb.out",
                    dir_ / "xvfb.err");
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    std::string number;
    while (number.empty() || number.back() != '\n') {
      if (xvfb_.poll() || std::chrono::steady_clock::now() > deadline) {
        throw std::runtime_error("Xvfb did not start: " +
                                 readFile(dir_ / "xvfb.err"));
      }
      std::this_thread::sleep_for(20ms);
      number = readFile(dir_ / "xvfb.out");
    }
    const std::string name = ":" + number.substr(0, number.size() - 1);
    while (display_ == nullptr) {
      display_ = XOpenDisplay(name.c_str());
      if (display_ == nullptr) {
        if (std::chrono::steady_clock::now() > deadline) {
          throw std::runtime_error("cannot open Xvfb's display " + name);
        }
        std::this_thread::sleep_for(20ms);
      }
    }
    displayName_ = name;
  }

  Environment gameEnvironment() const {
    Environment env = currentEnvironment();
    for (const char* key : {"WAYLAND_DISPLAY", "SDL_VIDEODRIVER",
                            "ESPEAK_DATA_PATH", "LD_PRELOAD"}) {
      env.erase(key);
    }
    if (!displayName_.empty()) env["DISPLAY"] = displayName_;
    // No speech-dispatcher of the machine's: the embedded voices only.
    env["SPEECHD_ADDRESS"] = "unix_socket:" + (dir_ / "no-speechd").string();
    env["SDL_AUDIODRIVER"] = "disk";
    env["SDL_DISKAUDIOFILE"] = audioFile_;
    env["LD_PRELOAD"] = SPEECH_LOG_LIBRARY;
    env["PELLIWICK_SPEECH_LOG"] = speechLog_;
    return env;
  }

  void startGame(Environment env) {
    game_ =
        Process({PELLIWICK_BINARY}, env, dir_ / "game.out", dir_ / "game.err");
  }

  std::string gameReport() {
    std::string report;
    if (auto status = game_.poll()) {
      report += "the game ended (" + describeStatus(*status) + ")\n";
    }
    report += "stderr: " + readFile(dir_ / "game.err") + "\nspeech log:\n";
    for (const auto& line : readSpeechLog(speechLog_)) {
      report += line.kind + " [" + line.text + "]\n";
    }
    return report;
  }

  // Index of the first line at or after `from` that speaks one of the texts
  // (compared without the blanks around them).
  std::size_t waitForSpeech(const std::vector<std::string>& texts,
                            std::size_t from, Seconds timeout = 30s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      const auto lines = readSpeechLog(speechLog_);
      for (std::size_t i = from; i < lines.size(); ++i) {
        if (lines[i].kind != "synth") continue;
        for (const auto& text : texts) {
          if (trimmed(lines[i].text) == trimmed(text)) return i;
        }
      }
      if (game_.poll() || std::chrono::steady_clock::now() > deadline) {
        throw std::runtime_error("waited in vain for [" + texts.front() +
                                 "]\n" + gameReport());
      }
      std::this_thread::sleep_for(5ms);
    }
  }

  SpeechLine speechAt(std::size_t index) {
    return readSpeechLog(speechLog_).at(index);
  }

  std::string runTool(const std::vector<std::string>& argv,
                      Seconds timeout = 15s) {
    Environment env = currentEnvironment();
    if (!displayName_.empty()) env["DISPLAY"] = displayName_;
    Process tool(argv, env, dir_ / "tool.out", dir_ / "tool.err");
    const auto status = tool.waitFor(timeout);
    if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
      throw std::runtime_error(
          argv.at(0) + " " + argv.at(1) + " failed (" +
          (status ? describeStatus(*status) : "timed out") +
          "): " + readFile(dir_ / "tool.err"));
    }
    return readFile(dir_ / "tool.out");
  }

  std::string findGameWindow() {
    const std::string found = runTool(
        {"xdotool", "search", "--sync", "--onlyvisible", "--name", "^Form1$"});
    return found.substr(0, found.find('\n'));
  }

  // Sends one key; returns the times just before and just after.
  std::pair<double, double> key(const std::string& name) {
    const double before = monotonicNow();
    runTool({"xdotool", "key", "--delay", "0", name});
    return {before, monotonicNow()};
  }

  std::uintmax_t audioBytes() const {
    std::error_code error;
    const auto size = fs::file_size(audioFile_, error);
    return error ? 0 : size;
  }

  void expectCleanExit(Seconds timeout) {
    const auto status = game_.waitFor(timeout);
    ASSERT_TRUE(status) << "the game did not end\n" << gameReport();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        << describeStatus(*status) << "\n"
        << gameReport();
  }

  void sendWindowClose(const std::string& windowId) {
    const Window window = std::stoul(windowId);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] =
        static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    ASSERT_NE(XSendEvent(display_, window, False, NoEventMask, &event), 0);
    XFlush(display_);
  }

  fs::path dir_;
  fs::path speechLog_;
  fs::path audioFile_;
  Process xvfb_;
  Display* display_ = nullptr;
  std::string displayName_;
  Process game_;
};

}  // namespace pelliwick::e2e
