// The link against a private daemon at its edges: a daemon stopped while a
// text is waited for, a purge of a listed voice, a daemon that refuses one
// request, one that comes back, and the priorities other programs' speech
// meets.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/speechd/joined_engine.h"
#include "platform/speechd/speechd_voice.h"
#include "private_daemon.h"
#include "speechd_test_support.h"

namespace pelliwick::speechd {
namespace {

using namespace test;
using Modules = PrivateDaemon::Modules;

const auto kPipeIgnored = std::signal(SIGPIPE, SIG_IGN);

// The game's voice on a daemon, with the fakes' embedded engine.
struct Game {
  explicit Game(std::shared_ptr<SpeechdLink> daemonLink)
      : link(std::move(daemonLink)),
        engine(std::make_unique<JoinedEngine>(embedded, link)),
        voice(engine->createVoice()) {}
  // Whether the embedded engine was given `line` so far.
  bool embeddedGot(const std::string& line) {
    return msUntilSaid(log, line, Clock::now(), milliseconds(0)) >= 0;
  }
  std::shared_ptr<SpeechdLink> link;
  std::vector<std::string> log;
  FakeEngine embedded{log};
  std::unique_ptr<JoinedEngine> engine;
  std::shared_ptr<SpeechVoice> voice;
};

// Texts the logged module was given that contain `text`.
std::size_t timesSaid(const PrivateDaemon& daemon, const std::string& text) {
  std::size_t count = 0;
  for (const auto& said : daemon.said()) {
    if (said.text.find(text) != std::string::npos) ++count;
  }
  return count;
}

double whenSaid(const PrivateDaemon& daemon, const std::string& text) {
  for (const auto& said : daemon.said()) {
    if (said.text.find(text) != std::string::npos) return said.time;
  }
  return -1;
}

TEST(WithDaemonFaults, ADaemonStoppedDuringAWaitedTextIsGivenUpWithinASecond) {
  PrivateDaemon daemon;
  if (!daemon.running()) GTEST_SKIP() << daemon.why();
  Game game(openLinkIfRunning());
  daemon.pauseModule(true);  // the text does not end by itself
  static constexpr long kStoppedAt = 300;
  std::thread stopper([&daemon] {
    std::this_thread::sleep_for(milliseconds(kStoppedAt));
    daemon.pause(true);  // the daemon itself: no event, no hang-up
  });
  const auto start = Clock::now();
  game.voice->speak(L"waited", SVSFDefault);
  stopper.join();
  const long afterStopMs = msSince(start) - kStoppedAt;
  std::printf(
      "daemon stopped in a wait: the embedded engine spoke %ld ms "
      "later\n",
      afterStopMs);
  // A ping every 250 ms, answered within the 500 ms request limit.
  EXPECT_LT(afterStopMs, 1000);
  EXPECT_EQ(lastSaid(game.log), "e0 waited/0");
  daemon.pause(false);
}

TEST(WithDaemonFaults, APurgeCancelsTheTextsOfAListedVoice) {
  PrivateDaemon daemon(Modules::kLoggedAndSecond, 1.0);
  if (!daemon.running()) GTEST_SKIP() << daemon.why();
  Limits limits;
  limits.connect = milliseconds(5000);  // listing a second espeak-ng
  auto link = SpeechdLink::open(limits);
  SpeechdVoice voice(link);
  ASSERT_GT(voice.voiceCount(), 1);
  voice.selectVoice(1);  // the second module's first voice
  // Another program's message takes the logged module for a second; ours,
  // as urgent, queue behind it, until the purge drops them.
  ASSERT_EQ(std::system("spd-say -P important 'another program'"), 0);
  std::this_thread::sleep_for(milliseconds(200));
  for (const wchar_t* text : {L"one", L"two", L"three"}) {
    voice.speak(text, SVSFlagsAsync);
  }
  std::this_thread::sleep_for(milliseconds(200));
  voice.speak(L"", SVSFPurgeBeforeSpeak);
  const auto start = Clock::now();
  while (LinkInspector::cancelled(*link) < 3 && msSince(start) < 2000) {
    std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_EQ(LinkInspector::cancelled(*link), 3u)
      << "the listed voice's texts went on";
  EXPECT_FALSE(link->lost());
}

TEST(WithDaemonFaults, ADaemonThatRefusesARequestIsKept) {
  PrivateDaemon daemon;
  if (!daemon.running()) GTEST_SKIP() << daemon.why();
  RefusingProxy proxy(daemon.socketPath(), "CHAR", 1);
  setenv("SPEECHD_ADDRESS", proxy.address().c_str(), 1);
  Game game(openLinkIfRunning());
  ASSERT_NE(game.voice, game.embedded.voice);
  game.voice->speak(L"", SVSFPurgeBeforeSpeak);
  game.voice->speak(L"5", SVSFlagsAsync);  // refused
  // Said by the embedded engine instead, and the daemon is kept.
  EXPECT_GE(msUntilSaid(game.log, "e0 5/1", Clock::now()), 0);
  EXPECT_EQ(proxy.refused(), 1);
  game.voice->speak(L"", SVSFPurgeBeforeSpeak);
  game.voice->speak(L"6", SVSFlagsAsync);
  game.voice->speak(L"heard", SVSFDefault);
  EXPECT_FALSE(game.link->lost());
  EXPECT_FALSE(game.embeddedGot("e0 6/1")) << "speech-dispatcher was dropped";
  EXPECT_FALSE(game.embeddedGot("e0 heard/0"));
}

TEST(WithDaemonFaults, ADaemonThatComesBackSpeaksWithinThreeSeconds) {
  PrivateDaemon daemon(Modules::kLogged);
  if (!daemon.running()) GTEST_SKIP() << daemon.why();
  Game game(openLinkIfRunning());
  game.voice->speak(L"before", SVSFDefault);
  ASSERT_EQ(timesSaid(daemon, "before"), 1u);
  daemon.kill();
  game.voice->speak(L"", SVSFPurgeBeforeSpeak);
  game.voice->speak(L"while gone", SVSFDefault);
  EXPECT_EQ(lastSaid(game.log), "e0 while gone/0");
  EXPECT_FALSE(game.voice->voiceAvailable(0));

  daemon.start();
  const double back = PrivateDaemon::systemNow();
  // Each key purges: the first after the daemon answers brings it back.
  while (timesSaid(daemon, "again") == 0 &&
         PrivateDaemon::systemNow() - back < 6) {
    game.voice->speak(L"", SVSFPurgeBeforeSpeak);
    game.voice->speak(L"again", SVSFlagsAsync);
    std::this_thread::sleep_for(milliseconds(100));
  }
  const double spokenAfter = whenSaid(daemon, "again") - back;
  std::printf("daemon started again: it spoke %.0f ms later\n",
              1000 * spokenAfter);
  EXPECT_GE(spokenAfter, 0) << "the daemon was never used again";
  EXPECT_LT(spokenAfter, 3.0);
  EXPECT_TRUE(game.voice->voiceAvailable(0));
}

// A text the game does not wait for cuts another program's message; one it
// waits for takes its turn after it. The logged module takes a second for
// each message, so the turns can be seen.
TEST(WithDaemonFaults, QueuedTextsCutOtherProgramsAndWaitedOnesWait) {
  PrivateDaemon daemon(Modules::kLogged, 1.0);
  if (!daemon.running()) GTEST_SKIP() << daemon.why();
  auto link = SpeechdLink::open();
  SpeechdVoice voice(link);
  const std::string otherProgram =
      "spd-say -P message 'another program' >/dev/null 2>&1";
  for (bool waited : {false, true}) {
    ASSERT_EQ(std::system(otherProgram.c_str()), 0);
    std::this_thread::sleep_for(milliseconds(200));  // it has begun
    const double asked = PrivateDaemon::systemNow();
    const std::wstring text = waited ? L"waited" : L"queued";
    voice.speak(text, waited ? SVSFDefault : SVSFlagsAsync);
    double began = -1;
    while ((began = whenSaid(daemon, toUtf8(text))) < 0 &&
           PrivateDaemon::systemNow() - asked < 5) {
      std::this_thread::sleep_for(milliseconds(10));
    }
    std::printf("%s text began %.0f ms after it was asked for\n",
                waited ? "a waited" : "a queued", 1000 * (began - asked));
    ASSERT_GE(began, 0);
    if (waited) {
      EXPECT_GT(began - asked, 0.5) << "it cut the other program";
    } else {
      EXPECT_LT(began - asked, 0.5) << "it waited for the other program";
    }
    std::this_thread::sleep_for(milliseconds(1500));  // the daemon is idle
  }
  EXPECT_FALSE(link->lost());
}

}  // namespace
}  // namespace pelliwick::speechd
