// The program's end when what is around it fails: the X server dies, or the
// sound device or the synthesiser is stuck when the program is told to stop.
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <sstream>

#include "e2e_support.h"

namespace pelliwick::e2e {
namespace {

// The signals process `pid` ignores, as /proc shows them.
unsigned long long ignoredSignals(pid_t pid) {
  std::istringstream status(
      readFile("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigIgn:", 0) == 0) {
      return std::stoull(line.substr(7), nullptr, 16);
    }
  }
  return 0;
}

// At a prompt, and with the no-voice box shown (whose process has an X
// connection of its own).
TEST_F(EndToEnd, TheXServersDeathEndsTheGameWithOneLine) {
  for (const bool boxShown : {false, true}) {
    SCOPED_TRACE(boxShown ? "box shown" : "at the prompt");
    startXvfb();
    Environment env = gameEnvironment();
    if (boxShown) env["ESPEAK_DATA_PATH"] = voicelessEspeakData();
    startGame(env);
    if (boxShown) {
      const auto deadline = std::chrono::steady_clock::now() + 30s;
      while (findMessageBox().empty()) {
        ASSERT_FALSE(game_.poll()) << "no message box\n" << gameReport();
        ASSERT_LT(std::chrono::steady_clock::now(), deadline);
        std::this_thread::sleep_for(50ms);
      }
    } else {
      waitForSpeech({kPrompt}, 0);
      // A braille service or speech daemon that went away fails the write
      // to it, on whichever thread: it does not end the game with SIGPIPE.
      EXPECT_NE(ignoredSignals(game_.pid()) & (1ULL << (SIGPIPE - 1)), 0u)
          << "the game does not ignore SIGPIPE";
    }
    killXServer();
    const auto status = game_.waitFor(10s);
    ASSERT_TRUE(status) << "the game did not end\n" << gameReport();
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1)
        << describeStatus(*status);
    // Apart from the disk audio driver's own notice at start.
    std::istringstream lines(readFile(dir_ / "game.err"));
    std::vector<std::string> said;
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("CRITICAL: ", 0) != 0) said.push_back(line);
    }
    ASSERT_EQ(said.size(), 1u) << readFile(dir_ / "game.err");
    EXPECT_EQ(said[0].rfind("pelliwick: the display was lost: ", 0), 0u);
    std::printf("reported: %s\n", said[0].c_str());
  }
}

// Told to stop while what the end waits for is stuck: SDL's disk driver
// writing into a pipe the test stops reading (its audio thread blocks in a
// write, and closing the device waits for it, as with a sound server stopped
// by SIGSTOP), or the synthesiser inside a call for the prompt. The device
// is left to SDL's threads and the end is the teardown's own; the
// synthesiser's session cannot go before its call returns, so only the exit
// watchdog ends that one, armed by the signal or by the game's return.
TEST_F(EndToEnd, NothingStuckHoldsTheEnd) {
  startXvfb();
  Environment env = gameEnvironment();
  if (env.count("ASAN_OPTIONS") != 0) env["ASAN_OPTIONS"] += ":detect_leaks=0";
  const fs::path fifo = dir_ / "device.fifo";
  struct Case {
    std::string how;
    bool deviceFrozen;
  };
  for (const Case& c : {Case{"SIGTERM", true}, Case{"window closed", true},
                        Case{"SIGTERM", false}, Case{"window closed", false}}) {
    const std::string label =
        c.how + (c.deviceFrozen ? ", device frozen" : ", synthesiser stuck");
    SCOPED_TRACE(label);
    fs::remove(speechLog_);
    fs::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int device = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(device, 0);
    std::atomic<bool> playing{true};
    std::thread listener([&] {
      char samples[16384];
      while (playing) {
        if (read(device, samples, sizeof samples) <= 0) {
          std::this_thread::sleep_for(5ms);
        }
      }
    });
    env["SDL_DISKAUDIOFILE"] = fifo;
    if (!c.deviceFrozen) env["PELLIWICK_SPEECH_STALL"] = kPrompt;
    startGame(env);
    waitForSpeech({kPrompt}, 0);
    const std::string window = findGameWindow();
    if (c.deviceFrozen) {
      playing = false;
      listener.join();
    }
    // The pipe fills in a fraction of a second of sound.
    std::this_thread::sleep_for(1s);
    const double start = monotonicNow();
    if (c.how == "SIGTERM") {
      game_.signal(SIGTERM);
    } else {
      sendWindowClose(window);
    }
    expectCleanExit(10s, !c.deviceFrozen);
    const double took = monotonicNow() - start;
    std::printf("%s: ended after %.0f ms\n", label.c_str(), 1000 * took);
    EXPECT_LT(took, 1.0);
    playing = false;
    if (listener.joinable()) listener.join();
    close(device);
  }
}

}  // namespace
}  // namespace pelliwick::e2e
