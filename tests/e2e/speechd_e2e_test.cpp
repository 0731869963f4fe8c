// The real program with a speech-dispatcher of the test's own running: its
// default voice speaks first (nothing reaches the embedded engine's log),
// F4 then reaches the embedded voices, and a daemon killed during the game
// hands the prompts to the embedded engine.
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
    // sound device takes them at once; the voice listing takes a second or
    // two first.
    std::this_thread::sleep_for(5s);
  }

  bool embeddedSaid(const std::string& text) {
    for (const auto& line : readSpeechLog(speechLog_)) {
      if (line.kind == "synth" && trimmed(line.text) == trimmed(text)) {
        return true;
      }
    }
    return false;
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

TEST_F(WithSpeechd, AfterTheDaemonDiesTheEmbeddedEngineSpeaks) {
  startGameWithDaemon();
  if (IsSkipped()) return;
  EXPECT_FALSE(embeddedSaid(kPrompt)) << gameReport();
  daemon_.kill();
  // F1 asks for the prompt again: that text is lost with the daemon, the
  // next one is heard.
  key("F1");
  std::this_thread::sleep_for(1s);
  key("F1");
  waitForSpeech({kPrompt}, 0, 10s);
}

}  // namespace
}  // namespace pelliwick::e2e
