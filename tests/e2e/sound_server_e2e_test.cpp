// The real program against a PulseAudio server of the test's own: sound
// comes back after the server restarts, and a frozen server holds neither a
// cue nor the close.
#include "e2e_support.h"
#include "private_pulse.h"

namespace pelliwick::e2e {
namespace {

class WithPulseAudio : public EndToEnd {
 protected:
  void startGameOnServer() {
    if (!pulse_.start()) GTEST_SKIP() << pulse_.whyNot();
    startXvfb();
    Environment env = gameEnvironment();
    env.erase("SDL_DISKAUDIOFILE");
    env["SDL_AUDIODRIVER"] = "pulseaudio";
    env["PULSE_SERVER"] = pulse_.address();
    startGame(env);
    runTool({"xdotool", "windowfocus", "--sync", findGameWindow()});
    cursor_ = waitForSpeech({kPrompt}, 0);
  }

  // Waits for a line of the game's on stderr.
  void waitForReport(const std::string& part, Seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (readFile(dir_ / "game.err").find(part) == std::string::npos) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline)
          << "no [" << part << "]\n"
          << gameReport();
      std::this_thread::sleep_for(10ms);
    }
  }

  // The loudest sample the server's sink plays over `length`.
  double recordPeak(Seconds length) {
    Process parec(
        {"parec", "--server=" + pulse_.address(), "-d", PrivatePulse::kMonitor,
         "--raw", "--format=float32le", "--channels=1", "--rate=8000"},
        currentEnvironment(), dir_ / "sink.raw", dir_ / "parec.err");
    std::this_thread::sleep_for(length);
    parec.signal(SIGINT);
    parec.waitFor(2s);
    const auto samples = readAudio(dir_ / "sink.raw");
    return peak(samples, 0, samples.size() * sizeof(float), sizeof(float));
  }

  PrivatePulse pulse_;
  std::size_t cursor_ = 0;
};

TEST_F(WithPulseAudio, HeardAgainAfterTheServerRestarts) {
  startGameOnServer();
  if (IsSkipped()) return;
  // While the prompt plays, so that the device is open when the server goes.
  pulse_.kill();
  waitForReport("pelliwick: the sound device was lost", 5s);
  std::this_thread::sleep_for(500ms);
  ASSERT_TRUE(pulse_.start()) << pulse_.whyNot();
  keepProcess(pulse_.pid());  // the test's own, not the game's
  const double back = monotonicNow();
  waitForReport("pelliwick: the sound device is back", 2s);
  std::printf("back %.2f s after the server\n", monotonicNow() - back);
  key("F1");
  cursor_ = waitForSpeech({kPrompt}, cursor_ + 1, 10s);
  EXPECT_GT(recordPeak(2500ms), 0.02) << "the sink heard nothing\n"
                                      << gameReport();
}

TEST_F(WithPulseAudio, AFrozenServerHoldsNeitherTheCueNorTheClose) {
  startGameOnServer();
  if (IsSkipped()) return;
  pulse_.freeze(true);
  std::this_thread::sleep_for(150ms);
  // 0 is always too low: the wrong guess's cue, then its sentence.
  key("0");
  key("Return");
  cursor_ = waitForSpeech({kTooLow}, cursor_ + 1, 10s);
  cursor_ = waitForSpeech({kPrompt}, cursor_ + 1, 10s);
  const std::string window = findGameWindow();
  const double closed = monotonicNow();
  sendWindowClose(window);
  expectCleanExit(5s);
  const double seconds = monotonicNow() - closed;
  std::printf("the close took %.0f ms with the server frozen\n",
              1000 * seconds);
  EXPECT_LT(seconds, 1.0) << gameReport();
  // One line for the loss, and none for a return that never came.
  const std::string report = readFile(dir_ / "game.err");
  EXPECT_NE(report.find("was lost"), std::string::npos) << report;
  EXPECT_EQ(report.find("lost"), report.rfind("lost")) << report;
  EXPECT_EQ(report.find("device is back"), std::string::npos) << report;
  pulse_.freeze(false);
}

}  // namespace
}  // namespace pelliwick::e2e
