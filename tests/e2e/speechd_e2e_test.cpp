// The real program with a speech-dispatcher of the test's own running: its
// default voice speaks first (nothing reaches the embedded engine's log),
// F4 then reaches the embedded voices, and a daemon that dies or stops in
// the middle of an answer hands the keys to the embedded engine, keys they
// stay.
#include "../speechd/private_daemon.h"
#include "e2e_support.h"

namespace pelliwick::e2e {
namespace {

const std::string kQuestion = "do you want to use this voice";

class WithSpeechd : public EndToEnd {
 protected:
  void startGameWithDaemon() {
    if (!daemon_.running()) GTEST_SKIP() << daemon_.why();
    startXvfb();
    Environment env = gameEnvironment();
    env["SPEECHD_ADDRESS"] = daemon_.address();
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
      daemon_.kill();
    } else {
      daemon_.pause(true);
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
    daemon_.pause(false);
  }

  speechd::test::PrivateDaemon daemon_;
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

}  // namespace
}  // namespace pelliwick::e2e
