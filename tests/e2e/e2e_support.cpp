#include "e2e_support.h"

// After GoogleTest: Xlib defines macros such as None and Bool.
#include <X11/Xlib.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace pelliwick::e2e {

double monotonicNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string findProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const fs::path candidate = fs::path(dir) / name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

Environment currentEnvironment() {
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

std::string describeStatus(int status) {
  if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    return "killed by signal " + std::to_string(WTERMSIG(status));
  }
  return "status " + std::to_string(status);
}

Process::Process(const std::vector<std::string>& argv, const Environment& env,
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
  sigaddset(&defaults, SIGHUP);
  sigaddset(&defaults, SIGQUIT);
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

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    kill();
    pid_ = std::exchange(other.pid_, -1);
    status_ = other.status_;
  }
  return *this;
}

std::optional<int> Process::poll() {
  if (!status_ && pid_ > 0) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) status_ = status;
  }
  return status_;
}

std::optional<int> Process::waitFor(Seconds timeout) {
  // A process never started has nothing to wait for (a skipped test's Xvfb).
  if (pid_ <= 0) return status_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!poll() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  return poll();
}

void Process::signal(int number) {
  if (pid_ > 0 && !poll()) ::kill(pid_, number);
}

void Process::terminate(Seconds grace) {
  signal(SIGTERM);
  waitFor(grace);
  kill();
}

void Process::kill() {
  if (pid_ > 0 && !poll()) {
    ::kill(-pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    status_ = status;
  }
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::vector<SpeechLine> readSpeechLog(const fs::path& path) {
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

double cpuSeconds(const std::string& procFolder) {
  const std::string stat = readFile(procFolder + "/stat");
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::vector<std::string> values;
  std::string value;
  while (fields >> value) values.push_back(value);
  // Fields 14 and 15 of the whole line: after "pid (comm) " they are 12, 13.
  const double ticks = std::stod(values.at(11)) + std::stod(values.at(12));
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

std::vector<float> readAudio(const fs::path& path) {
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

double peak(const std::vector<float>& samples, std::size_t fromByte,
            std::size_t toByte, std::size_t bytesPerSample) {
  const std::size_t first = fromByte / bytesPerSample;
  const std::size_t last = std::min(toByte / bytesPerSample, samples.size());
  double highest = 0;
  for (std::size_t i = first; i < last; ++i) {
    highest = std::max(highest, static_cast<double>(std::abs(samples[i])));
  }
  return highest;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void EndToEnd::SetUp() {
  for (const char* tool : {"Xvfb", "xdotool", "xwininfo"}) {
    ASSERT_FALSE(findProgram(tool).empty())
        << tool
        << " is missing: the end-to-end tests need the Debian packages "
           "xvfb xdotool x11-utils (see the README's test command)";
  }
  if (binary_.empty()) binary_ = PELLIWICK_BINARY;
  ASSERT_TRUE(fs::exists(binary_)) << binary_;
  ASSERT_TRUE(fs::exists(SPEECH_LOG_LIBRARY)) << SPEECH_LOG_LIBRARY;
  ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  char pattern[] = "/tmp/pelliwick-e2e-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir_ = pattern;
  speechLog_ = dir_ / "speech.log";
  audioFile_ = dir_ / "audio.raw";
}

void EndToEnd::TearDown() {
  game_.kill();
  expectNothingLeftBehind();
  if (display_ != nullptr) XCloseDisplay(display_);
  xvfb_.terminate(5s);
  if (HasFailure()) {
    std::printf("kept for inspection: %s\n", dir_.c_str());
  } else if (!dir_.empty()) {
    fs::remove_all(dir_);
  }
}

void EndToEnd::startXvfb() {
  std::vector<std::string> choices = {""};
  if (const char* range = std::getenv("PELLIWICK_E2E_DISPLAYS")) {
    int first = 0;
    int last = -1;
    if (std::sscanf(range, "%d-%d", &first, &last) == 2) choices.clear();
    for (int n = first; n <= last; ++n)
      choices.push_back(":" + std::to_string(n));
  }
  std::string why;
  for (const auto& choice : choices) {
    std::vector<std::string> argv = {"Xvfb", "-displayfd", "1", "-nolisten",
                                     "tcp",  "-screen",    "0", "800x600x24"};
    if (!choice.empty()) argv.insert(argv.begin() + 1, choice);
    xvfb_ = Process(argv, currentEnvironment(), dir_ / "xvfb.out",
                    dir_ / "xvfb.err");
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    std::string number;
    while (number.empty() || number.back() != '\n') {
      if (xvfb_.poll() || std::chrono::steady_clock::now() > deadline) break;
      std::this_thread::sleep_for(20ms);
      number = readFile(dir_ / "xvfb.out");
    }
    if (number.empty() || number.back() != '\n') {
      why += readFile(dir_ / "xvfb.err");
      xvfb_.kill();
      continue;
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
    return;
  }
  throw std::runtime_error("Xvfb did not start: " + why);
}

Environment EndToEnd::gameEnvironment() const {
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

void EndToEnd::startGame(Environment env) {
  if (game_.started()) {
    game_.kill();
    expectNothingLeftBehind();
  }
  startedBefore_ = ownChildren();
  game_ =
      Process({binary_.string()}, env, dir_ / "game.out", dir_ / "game.err");
}

std::string EndToEnd::gameReport() {
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

std::size_t EndToEnd::waitForSpeech(const std::vector<std::string>& texts,
                                    std::size_t from, Seconds timeout) {
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
      throw std::runtime_error("waited in vain for [" + texts.front() + "]\n" +
                               gameReport());
    }
    std::this_thread::sleep_for(5ms);
  }
}

std::string EndToEnd::runTool(const std::vector<std::string>& argv,
                              Seconds timeout) {
  Environment env = currentEnvironment();
  if (!displayName_.empty()) env["DISPLAY"] = displayName_;
  Process tool(argv, env, dir_ / "tool.out", dir_ / "tool.err");
  const auto status = tool.waitFor(timeout);
  if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
    throw std::runtime_error(argv.at(0) + " " + argv.at(1) + " failed (" +
                             (status ? describeStatus(*status) : "timed out") +
                             "): " + readFile(dir_ / "tool.err"));
  }
  return readFile(dir_ / "tool.out");
}

SpeechLine EndToEnd::speechAt(std::size_t index) {
  return readSpeechLog(speechLog_).at(index);
}

std::string EndToEnd::findGameWindow() {
  const std::string found = runTool(
      {"xdotool", "search", "--sync", "--onlyvisible", "--name", "^Form1$"});
  return found.substr(0, found.find('\n'));
}

std::pair<double, double> EndToEnd::key(const std::string& name) {
  const double before = monotonicNow();
  runTool({"xdotool", "key", "--delay", "0", name});
  return {before, monotonicNow()};
}

std::uintmax_t EndToEnd::audioBytes() const {
  std::error_code error;
  const auto size = fs::file_size(audioFile_, error);
  return error ? 0 : size;
}

void EndToEnd::expectCleanExit(Seconds timeout, bool cutShort) {
  const auto status = game_.waitFor(timeout);
  ASSERT_TRUE(status) << "the game did not end\n" << gameReport();
  EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
      << describeStatus(*status) << "\n"
      << gameReport();
  const bool watchdogEnded =
      readFile(dir_ / "game.err").find(kCutShort) != std::string::npos;
  EXPECT_EQ(watchdogEnded, cutShort)
      << (cutShort ? "the exit watchdog did not end the game\n"
                   : "the exit watchdog ended the game\n")
      << gameReport();
}

void EndToEnd::sendWindowClose(const std::string& windowId) {
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

std::set<pid_t> ownChildren() {
  std::set<pid_t> children;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = readFile(entry.path() / "stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 2));
    std::string state;
    pid_t parent = 0;
    fields >> state >> parent;
    if (parent == getpid()) children.insert(std::stoi(name));
  }
  return children;
}

std::set<pid_t> processesUnder(pid_t pid) {
  std::set<pid_t> children;
  const fs::path tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  for (const auto& task : fs::directory_iterator(tasks, error)) {
    std::istringstream listed(readFile(task.path() / "children"));
    for (pid_t child = 0; listed >> child;) children.insert(child);
  }
  return children;
}

fs::path installedEspeakData() {
  for (const char* candidate :
       {"/usr/lib/x86_64-linux-gnu/espeak-ng-data", "/usr/share/espeak-ng-data",
        "/usr/lib/espeak-ng-data"}) {
    if (fs::is_directory(candidate)) return candidate;
  }
  throw std::runtime_error("espeak-ng-data is not installed");
}

std::string EndToEnd::voicelessEspeakData() {
  const fs::path installed = installedEspeakData();
  // espeak-ng looks for ESPEAK_DATA_PATH/espeak-ng-data.
  const fs::path copy = dir_ / "espeak" / "espeak-ng-data";
  fs::create_directories(copy);
  for (const auto& entry : fs::directory_iterator(installed)) {
    const auto name = entry.path().filename();
    if (name == "voices" || name == "lang" || fs::exists(copy / name)) {
      continue;
    }
    fs::create_symlink(entry.path(), copy / name);
  }
  return (dir_ / "espeak").string();
}

std::string EndToEnd::findMessageBox() {
  std::string box;
  std::istringstream tree(runTool({"xwininfo", "-root", "-tree"}));
  std::string line;
  while (std::getline(tree, line)) {
    if (line.find("\"Pelliwick\"") != std::string::npos) {
      std::istringstream(line) >> box;
    }
  }
  return box;
}

std::set<pid_t> EndToEnd::adoptedProcesses() const {
  std::set<pid_t> adopted;
  for (const pid_t pid : ownChildren()) {
    if (startedBefore_.count(pid) == 0 && pid != game_.pid() &&
        pid != xvfb_.pid()) {
      adopted.insert(pid);
    }
  }
  return adopted;
}

void EndToEnd::expectNothingLeftBehind() {
  if (!game_.started()) return;
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  std::set<pid_t> left;
  do {
    left.clear();
    for (const pid_t pid : adoptedProcesses()) {
      // A child that ended and waits to be reaped is not left behind.
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) != pid) left.insert(pid);
    }
    if (!left.empty()) std::this_thread::sleep_for(20ms);
  } while (!left.empty() && std::chrono::steady_clock::now() < deadline);
  for (const pid_t pid : left) {
    std::string command = readFile("/proc/" + std::to_string(pid) + "/cmdline");
    std::replace(command.begin(), command.end(), '\0', ' ');
    ADD_FAILURE() << "the game left process " << pid << " behind: " << command;
    ::kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

void EndToEnd::killXServer() {
  if (display_ != nullptr) XCloseDisplay(display_);
  display_ = nullptr;
  xvfb_.kill();
}

}  // namespace pelliwick::e2e
