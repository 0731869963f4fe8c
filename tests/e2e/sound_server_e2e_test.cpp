// The real program against a PulseAudio server of the test's own: sound
// comes back after the server restarts, the device is asked for with pauses
// while it is away, and a frozen server, at start or later, holds neither a
// cue nor the close.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <cmath>
#include <cstring>

#include "e2e_support.h"
#include "private_pulse.h"

namespace pelliwick::e2e {
namespace {

// Takes the place of a server that is gone: every client is let in and
// dropped at once, so that each attempt to open the device fails quickly
// and is counted.
class DroppingServer {
 public:
  explicit DroppingServer(const fs::path& socketPath) : path_(socketPath) {
    fs::remove(path_);
    listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address),
             sizeof address) != 0 ||
        listen(listener_, 16) != 0) {
      throw std::runtime_error("cannot listen at " + path_.string());
    }
    thread_ = std::thread([this] {
      pollfd ready{listener_, POLLIN, 0};
      while (!stopping_) {
        if (poll(&ready, 1, 10) <= 0) continue;
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0) continue;
        ++accepted_;
        close(client);
      }
    });
  }
  ~DroppingServer() {
    stopping_ = true;
    thread_.join();
    close(listener_);
    fs::remove(path_);
  }
  int accepted() const { return accepted_; }

 private:
  fs::path path_;
  int listener_ = -1;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::thread thread_;
};

std::size_t occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos;
       at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

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

  // Waits for the `count`th line of the game's on stderr that holds `part`;
  // returns when it was seen.
  double waitForReport(const std::string& part, Seconds timeout,
                       std::size_t count = 1) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (occurrences(readFile(dir_ / "game.err"), part) < count) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "no [" << part << "] #" << count << "\n"
                      << gameReport();
        return 0;
      }
      std::this_thread::sleep_for(5ms);
    }
    return monotonicNow();
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

// Twice: the first time the server stays away for a second, the second
// time it is back at once.
TEST_F(WithPulseAudio, HeardAgainAfterTheServerRestarts) {
  startGameOnServer();
  if (IsSkipped()) return;
  const std::string lost = "pelliwick: the sound device was lost";
  const std::string back = "pelliwick: the sound device is back";
  // While the prompt plays, so that the device is open when the server goes.
  pulse_.kill();
  waitForReport(lost, 5s);
  {
    // The device is asked for again and again, with pauses that grow from
    // 0.1 s: not in a tight loop. A failed open is no return.
    DroppingServer dropping(pulse_.socketPath());
    std::this_thread::sleep_for(1s);
    std::printf("%d attempts to open the device in 1 s with no server\n",
                dropping.accepted());
    EXPECT_GE(dropping.accepted(), 2);
    EXPECT_LE(dropping.accepted(), 8);
  }
  const std::string report = readFile(dir_ / "game.err");
  EXPECT_EQ(occurrences(report, lost), 1u) << report;
  EXPECT_EQ(occurrences(report, back), 0u) << report;
  ASSERT_TRUE(pulse_.start()) << pulse_.whyNot();
  keepProcess(pulse_.pid());  // the test's own, not the game's
  double up = monotonicNow();
  std::printf("back %.2f s after the server\n", waitForReport(back, 2s) - up);
  key("F1");
  cursor_ = waitForSpeech({kPrompt}, cursor_ + 1, 10s);
  EXPECT_GT(recordPeak(2500ms), 0.02) << "the sink heard nothing\n"
                                      << gameReport();

  // The pauses start short again after each loss.
  pulse_.kill();
  const double lostAgain = waitForReport(lost, 5s, 2);
  ASSERT_TRUE(pulse_.start()) << pulse_.whyNot();
  keepProcess(pulse_.pid());
  up = monotonicNow();
  const double backAgain = waitForReport(back, 2s, 2);
  std::printf(
      "lost again: the server was up %.0f ms later, the device back %.0f ms "
      "after that\n",
      1000 * (up - lostAgain), 1000 * (backAgain - up));
  EXPECT_LT(backAgain - up, 0.25);
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
