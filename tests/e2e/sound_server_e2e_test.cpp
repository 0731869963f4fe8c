// The real program against a PulseAudio server of the test's own: sound
// comes back after the server restarts, and a frozen server holds neither a
// cue nor the close.
#include <cmath>
#include <cstring>

#include "e2e_support.h"
#include "private_pulse.h"

namespace pelliwick::e2e {
namespace {

class WithPulseAudio : public EndToEnd {
 protected:
  Environment serverEnvironment() const {
    Environment env = gameEnvironment();
    env.erase("SDL_DISKAUDIOFILE");
    env["SDL_AUDIODRIVER"] = "pulseaudio";
    env["PULSE_SERVER"] = pulse_.address();
    return env;
  }

  void startGameOnServer() {
    if (!pulse_.start()) GTEST_SKIP() << pulse_.whyNot();
    startXvfb();
    startGame(serverEnvironment());
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

  // Records the sink from now on, for firstSoundAfter().
  Process startRecording() {
    Process parec({"parec", "--server=" + pulse_.address(), "-d",
                   PrivatePulse::kMonitor, "--raw", "--format=float32le",
                   "--channels=1", "--rate=8000", "--latency-msec=10"},
                  currentEnvironment(), dir_ / "sink.raw", dir_ / "parec.err");
    keepProcess(parec.pid());
    return parec;
  }

  // When the recording first holds a sound, watched as it grows; 0 when it
  // did not within `timeout`.
  double firstSoundAfter(Seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t checked = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      const std::string bytes = readFile(dir_ / "sink.raw");
      const double now = monotonicNow();
      for (; checked + sizeof(float) <= bytes.size();
           checked += sizeof(float)) {
        float sample = 0;
        std::memcpy(&sample, bytes.data() + checked, sizeof sample);
        if (std::abs(sample) > 0.01f) return now;
      }
      std::this_thread::sleep_for(5ms);
    }
    return 0;
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

namespace pelliwick::e2e {
namespace {

// A server frozen before the game starts: the window answers a close and
// SIGTERM at once, with status 0; once the server thaws the game starts
// from its beginning and is heard.
TEST_F(WithPulseAudio, AServerFrozenAtStartHoldsNothing) {
  if (!pulse_.start()) GTEST_SKIP() << pulse_.whyNot();
  startXvfb();
  for (const std::string how : {"window closed", "SIGTERM", "thawed"}) {
    SCOPED_TRACE(how);
    fs::remove(speechLog_);
    pulse_.freeze(true);
    const double started = monotonicNow();
    startGame(serverEnvironment());
    const std::string window = findGameWindow();
    const double shown = monotonicNow();
    std::this_thread::sleep_for(Seconds(started + 3.0 - monotonicNow()));
    const double at = monotonicNow();
    if (how == "thawed") {
      pulse_.freeze(false);
      Process parec = startRecording();
      const double sound = firstSoundAfter(15s);
      const double title = speechAt(waitForSpeech({kTitle}, 0, 15s)).time;
      std::printf(
          "window after %.2f s; thawed at 3 s: first sound %.0f ms and the "
          "title %.0f ms later\n",
          shown - started, 1000 * (sound - at), 1000 * (title - at));
      EXPECT_GT(sound, 0) << "the sink heard nothing\n" << gameReport();
      cursor_ = waitForSpeech({kPrompt}, 0, 10s);
      sendWindowClose(window);
      expectCleanExit(5s);
      continue;
    }
    if (how == "SIGTERM") {
      game_.signal(SIGTERM);
    } else {
      sendWindowClose(window);
    }
    expectCleanExit(40s);
    const double took = monotonicNow() - at;
    std::printf("window after %.2f s; %s at 3 s: ended after %.0f ms\n",
                shown - started, how.c_str(), 1000 * took);
    EXPECT_LT(took, 1.0) << gameReport();
    pulse_.freeze(false);
  }
}

}  // namespace
}  // namespace pelliwick::e2e
