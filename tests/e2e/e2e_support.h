// Support for running the real program in a real window under Xvfb, keys
// typed with xdotool, speech observed through the preloaded speech log and
// the sound through SDL's disk audio driver. Every wait is bounded; teardown
// kills whatever was started.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

// Xlib's own name for a display connection, without Xlib's macros.
typedef struct _XDisplay Display;

namespace pelliwick::e2e {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Seconds = std::chrono::duration<double>;

// The same clock as the speech log's timestamps.
double monotonicNow();
std::string readFile(const fs::path& path);
// The program's path on PATH, or empty.
std::string findProgram(const std::string& name);

using Environment = std::map<std::string, std::string>;
Environment currentEnvironment();
std::string describeStatus(int status);

// A child process in its own process group, killed with its group unless
// it has been waited for.
class Process {
 public:
  Process() = default;
  Process(const std::vector<std::string>& argv, const Environment& env,
          const fs::path& out, const fs::path& err);
  Process(Process&& other) noexcept { *this = std::move(other); }
  Process& operator=(Process&& other) noexcept;
  ~Process() { kill(); }

  pid_t pid() const { return pid_; }
  bool started() const { return pid_ > 0; }

  // The wait status once the process has ended, without blocking.
  std::optional<int> poll();
  std::optional<int> waitFor(Seconds timeout);
  void signal(int number);
  // Asks the process to end, so that it can clean up after itself (Xvfb
  // removes its lock file), and kills it if it has not within `grace`.
  void terminate(Seconds grace);
  void kill();

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;
};

// The processes whose parent is this one. As a subreaper this process also
// adopts the orphans of the processes it started, so that a process the game
// left behind, daemons included, shows up here.
std::set<pid_t> ownChildren();
// The children of any thread of process `pid`.
std::set<pid_t> processesUnder(pid_t pid);

struct SpeechLine {
  double time = 0;
  std::string kind;
  std::string text;
};

std::string trimmed(const std::string& text);
// espeak-ng's data folder as Debian installs it.
fs::path installedEspeakData();
std::vector<SpeechLine> readSpeechLog(const fs::path& path);

// Seconds of CPU (user and system) used by a process (all its threads) or
// by one thread, given its /proc folder.
double cpuSeconds(const std::string& procFolder);

// The disk driver writes what the device played. The device is opened with
// float samples; a file that does not read as plausible floats is taken as
// signed 16-bit.
std::vector<float> readAudio(const fs::path& path);
double peak(const std::vector<float>& samples, std::size_t fromByte,
            std::size_t toByte, std::size_t bytesPerSample);
double median(std::vector<double> values);

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
// What the program says when its exit watchdog ends a teardown that hung.
inline const std::string kCutShort = "pelliwick: the end took longer than";

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Xvfb picks a free display itself (stale lock files of dead servers
  // included) and writes its number to our file. PELLIWICK_E2E_DISPLAYS=A-B
  // keeps it to the numbers A to B instead, for a machine whose displays are
  // shared out between several runs.
  void startXvfb();
  Environment gameEnvironment() const;
  void startGame(Environment env);
  std::string gameReport();
  // Index of the first line at or after `from` that speaks one of the texts
  // (compared without the blanks around them).
  std::size_t waitForSpeech(const std::vector<std::string>& texts,
                            std::size_t from, Seconds timeout = 30s);
  SpeechLine speechAt(std::size_t index);
  std::string runTool(const std::vector<std::string>& argv,
                      Seconds timeout = 15s);
  std::string findGameWindow();
  // Sends one key; returns the times just before and just after.
  std::pair<double, double> key(const std::string& name);
  std::uintmax_t audioBytes() const;
  // Status 0, and a teardown that finished by itself: the exit watchdog's
  // status is 0 too, and it hides what held the end. `cutShort`: the
  // watchdog, and only it, can end this one (a library stuck in a call).
  void expectCleanExit(Seconds timeout, bool cutShort = false);
  void sendWindowClose(const std::string& windowId);
  // For ESPEAK_DATA_PATH: espeak-ng's data without its voices, so that the
  // game finds none and shows its message box.
  std::string voicelessEspeakData();
  // The id of the message box's window, or "" (xdotool cannot find it by
  // its name).
  std::string findMessageBox();
  // Once the game has ended, no process it started may remain (the message
  // box's process, a bus daemon a library launched): each one left is a
  // failure, then killed.
  void expectNothingLeftBehind();
  // Processes of the game's that outlived it and came to the test, which is
  // their subreaper; ended ones among them too, until they are reaped.
  std::set<pid_t> adoptedProcesses() const;
  // A process the test itself started while the game runs: not one the
  // game left behind.
  void keepProcess(pid_t pid) { startedBefore_.insert(pid); }
  // Kills Xvfb, as when the X server dies under the game.
  void killXServer();

  // `count` random keys, the same each run, in batches of 100 sent `delay`
  // apart; the game must still run after each batch, and then `afterBatch`
  // is told how many were sent.
  void sendKeyStorm(int count, std::chrono::milliseconds delay,
                    const std::function<void(int sent)>& afterBatch = {});
  // The game answers keys more slowly than xdotool sends them: waits until
  // it has said nothing new for `quiet`, two minutes at most.
  void waitUntilQuiet(std::chrono::milliseconds quiet);
  // Leaves whatever a storm left for a fresh entry; the index past its
  // prompt.
  std::size_t promptAfterStorm();
  // Types `guess` and Enter; the answer, trimmed, with `cursor` past it.
  std::string answerTo(int guess, std::size_t& cursor);

  // The program under test: the build's own unless a fixture says another.
  fs::path binary_;
  fs::path dir_;
  fs::path speechLog_;
  fs::path audioFile_;
  Process xvfb_;
  Display* display_ = nullptr;
  std::string displayName_;
  Process game_;
  std::set<pid_t> startedBefore_;
};

}  // namespace pelliwick::e2e
