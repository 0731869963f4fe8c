// The real program with a speech-dispatcher of the test's own running: its
// default voice speaks first (nothing reaches the embedded engine's log),
// F4 then reaches the embedded voices, a daemon that dies or stops in the
// middle of an answer hands the keys to the embedded engine, keys they
// stay, none lost and none waiting for it, and a daemon that comes back at
// the same address speaks again.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "private_daemon.h"

namespace pelliwick::e2e {
namespace {

const std::string kQuestion = "do you want to use this voice";

using Daemon = speechd::test::PrivateDaemon;

class WithSpeechd : public EndToEnd {
 protected:
  WithSpeechd() {
    // To measure another build of the program the same way.
    if (const char* other = std::getenv("PELLIWICK_E2E_BINARY")) {
      binary_ = other;
    }
  }

  void startGameWithDaemon(
      Daemon::Modules modules = Daemon::Modules::kEspeakNg) {
    daemon_ = std::make_unique<Daemon>(modules);
    if (!daemon_->running()) GTEST_SKIP() << daemon_->why();
    startXvfb();
    Environment env = gameEnvironment();
    env["SPEECHD_ADDRESS"] = daemon_->address();
    startGame(env);
    runTool({"xdotool", "windowfocus", "--sync", findGameWindow()});
    // The title and the first prompt go to speech-dispatcher, whose null
    // sound device takes them at once.
    std::this_thread::sleep_for(2s);
  }

  bool embeddedSaid(const std::string& text) {
    for (const auto& line : readSpeechLog(speechLog_)) {
      if (line.kind == "synth" && trimmed(line.text) == trimmed(text)) {
        return true;
      }
    }
    return false;
  }

  // Type 4, the daemon dies or stops, type 2: the 2 is echoed by the
  // embedded engine and typed, and the answer was not sent as a guess.
  void typeAcrossAFault(bool dies) {
    startGameWithDaemon();
    if (IsSkipped()) return;
    EXPECT_FALSE(embeddedSaid(kPrompt)) << gameReport();
    key("4");
    std::this_thread::sleep_for(300ms);
    if (dies) {
      daemon_->kill();
    } else {
      daemon_->pause(true);
    }
    // The 2 is echoed by the embedded engine and typed: Backspace names it.
    const double typed = key("2").first;
    std::size_t cursor = waitForSpeech({"2"}, 0, 5s);
    const double echoMs = 1000 * (speechAt(cursor).time - typed);
    std::printf("daemon %s: the next key echoed after %.0f ms\n",
                dies ? "killed" : "stopped", echoMs);
    EXPECT_LT(echoMs, dies ? 600 : 1000);
    key("BackSpace");
    cursor = waitForSpeech({"2"}, cursor + 1, 5s);
    for (const auto& line : readSpeechLog(speechLog_)) {
      EXPECT_EQ(line.text.find("sorry"), std::string::npos)
          << "the answer was sent as a guess\n"
          << gameReport();
    }
    key("F1");
    waitForSpeech({kPrompt}, cursor, 5s);

    const auto closing = std::chrono::steady_clock::now();
    sendWindowClose(findGameWindow());
    expectCleanExit(5s);
    const double closeMs =
        1000 * Seconds(std::chrono::steady_clock::now() - closing).count();
    std::printf("daemon %s: the program ended %.0f ms after the close\n",
                dies ? "killed" : "stopped", closeMs);
    EXPECT_LT(closeMs, 1000);
    daemon_->pause(false);
  }

  // Ms from now until the game has ended, after a close of its window.
  double closeAndTime() {
    const auto closing = std::chrono::steady_clock::now();
    sendWindowClose(findGameWindow());
    expectCleanExit(5s);
    return 1000 * Seconds(std::chrono::steady_clock::now() - closing).count();
  }

  // The daemon stops, a key comes, and at once the window is closed or the
  // game told to stop: the key's purge and echo do not hold the end.
  void endWhileAKeyWaitsOnAStoppedDaemon(bool sigterm) {
    startGameWithDaemon();
    if (IsSkipped()) return;
    daemon_->pause(true);
    key("5");
    double endMs = 0;
    if (sigterm) {
      const auto stopping = std::chrono::steady_clock::now();
      game_.signal(SIGTERM);
      expectCleanExit(5s);
      endMs =
          1000 * Seconds(std::chrono::steady_clock::now() - stopping).count();
    } else {
      endMs = closeAndTime();
    }
    std::printf("a key on a stopped daemon: ended %.0f ms after the %s\n",
                endMs, sigterm ? "SIGTERM" : "close");
    EXPECT_LT(endMs, 300);
    daemon_->pause(false);
  }

  std::unique_ptr<Daemon> daemon_;
};

TEST_F(WithSpeechd, TheDefaultVoiceComesFirstAndF4ReachesTheEmbeddedOnes) {
  startGameWithDaemon();
  if (IsSkipped()) return;
  EXPECT_FALSE(embeddedSaid(kTitle)) << gameReport();
  EXPECT_FALSE(embeddedSaid(kPrompt)) << gameReport();
  key("F4");
  std::this_thread::sleep_for(1s);
  EXPECT_FALSE(embeddedSaid(kQuestion)) << gameReport();
  key("n");  // voice 1: the embedded engine's first
  std::size_t cursor = waitForSpeech({kQuestion}, 0, 10s);
  cursor = waitForSpeech({" no "}, cursor, 10s);
  key("y");
  waitForSpeech({kPrompt}, cursor, 10s);
}

TEST_F(WithSpeechd, SomethingElseAtTheAddressLeavesTheGameOnItsOwnVoices) {
  // libspeechd would end the program on this answer.
  daemon_ = std::make_unique<Daemon>();
  speechd::test::ForeignServer server("HTTP/1.1 400 Bad Request\r\n\r\n");
  startXvfb();
  Environment env = gameEnvironment();
  env["SPEECHD_ADDRESS"] = server.address();
  startGame(env);
  waitForSpeech({kPrompt}, waitForSpeech({kTitle}, 0, 10s), 10s);
  sendWindowClose(findGameWindow());
  expectCleanExit(5s);
}

TEST_F(WithSpeechd, AnAnswerTypedAsTheDaemonDiesKeepsEveryKey) {
  typeAcrossAFault(true);
}

TEST_F(WithSpeechd, AnAnswerTypedAsTheDaemonStopsKeepsEveryKey) {
  typeAcrossAFault(false);
}

TEST_F(WithSpeechd, KeysTypedWhileTheDaemonIsStoppedAreAllTypedInOrder) {
  startGameWithDaemon();
  if (IsSkipped()) return;
  daemon_->pause(true);
  // 150 ms apart: each comes while the daemon has not answered the last.
  const double start = monotonicNow();
  double typed = 0;
  for (int i = 0; i < 3; ++i) {
    const double at = start + 0.15 * i;
    std::this_thread::sleep_for(Seconds(std::max(0.0, at - monotonicNow())));
    typed = key(std::string(1, static_cast<char>('5' + i))).first;
  }
  std::size_t cursor = waitForSpeech({"7"}, 0, 5s);
  std::printf("daemon stopped: the last of 5, 6, 7 echoed %.0f ms after it\n",
              1000 * (speechAt(cursor).time - typed));
  // Backspace names each removed character: the answer is 567.
  for (const char* removed : {"7", "6", "5"}) {
    key("BackSpace");
    cursor = waitForSpeech({removed}, cursor + 1, 5s);
  }
  for (const auto& line : readSpeechLog(speechLog_)) {
    EXPECT_EQ(line.text.find("sorry"), std::string::npos) << gameReport();
  }
  const double closeMs = closeAndTime();
  std::printf("daemon stopped: the program ended %.0f ms after the close\n",
              closeMs);
  EXPECT_LT(closeMs, 300);
  daemon_->pause(false);
}

TEST_F(WithSpeechd, ACloseWhileAKeyWaitsOnAStoppedDaemonEndsTheGameAtOnce) {
  endWhileAKeyWaitsOnAStoppedDaemon(false);
}

TEST_F(WithSpeechd, ASigtermWhileAKeyWaitsOnAStoppedDaemonEndsTheGameAtOnce) {
  endWhileAKeyWaitsOnAStoppedDaemon(true);
}

TEST_F(WithSpeechd, WhileTheDaemonIsGoneF4NeverOffersOneVoiceTwiceInARow) {
  startGameWithDaemon();
  if (IsSkipped()) return;
  daemon_->kill();
  // The voice the embedded engine last took before line `index`.
  const auto voiceBefore = [this](std::size_t index) {
    std::string voice;
    const auto lines = readSpeechLog(speechLog_);
    for (std::size_t i = 0; i < index && i < lines.size(); ++i) {
      if (lines[i].kind == "voice") voice = lines[i].text;
    }
    return voice;
  };
  key("F4");
  std::size_t cursor = waitForSpeech({kQuestion}, 0, 5s);
  std::vector<std::string> asked{voiceBefore(cursor)};
  for (int next = 0; next < 2; ++next) {
    key("n");
    cursor = waitForSpeech({kQuestion}, cursor + 1, 5s);
    asked.push_back(voiceBefore(cursor));
  }
  for (std::size_t i = 1; i < asked.size(); ++i) {
    EXPECT_NE(asked[i - 1], asked[i]) << gameReport();
  }
}

TEST_F(WithSpeechd, ADaemonThatComesBackIsUsedAgain) {
  startGameWithDaemon(Daemon::Modules::kLogged);
  if (IsSkipped()) return;
  const auto promptsSaid = [this] {
    std::size_t count = 0;
    for (const auto& said : daemon_->said()) {
      if (said.text.find(trimmed(kPrompt)) != std::string::npos) ++count;
    }
    return count;
  };
  ASSERT_GT(promptsSaid(), 0u) << "the daemon did not speak the prompt";
  EXPECT_FALSE(embeddedSaid(kPrompt)) << gameReport();
  daemon_->kill();
  key("4");
  waitForSpeech({"4"}, 0, 5s);  // the embedded engine took over at once

  daemon_->start();
  keepProcess(daemon_->pid());  // the test's, not one the game left
  const double back = Daemon::systemNow();
  const std::size_t before = promptsSaid();
  // F1 asks for the prompt again, every 250 ms, until the daemon says it.
  while (promptsSaid() == before && Daemon::systemNow() - back < 6) {
    key("F1");
    std::this_thread::sleep_for(250ms);
  }
  ASSERT_GT(promptsSaid(), before) << gameReport();
  double spokenAt = 0;
  for (const auto& said : daemon_->said()) spokenAt = said.time;
  std::printf("daemon started again: it spoke the prompt %.0f ms later\n",
              1000 * (spokenAt - back));
  EXPECT_LT(spokenAt - back, 3.0);
  EXPECT_LT(closeAndTime(), 1000);
}

}  // namespace
}  // namespace pelliwick::e2e
