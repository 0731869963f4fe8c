// The joined voice list and its fall-back, with fake voices; the scales sent
// to speech-dispatcher; then the link against no daemon, one that is not
// speech-dispatcher, and a private one that dies, stalls or hangs.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <utility>

#include "platform/failure.h"
#include "platform/speechd/joined_engine.h"
#include "platform/speechd/speechd_client.h"
#include "platform/speechd/speechd_voice.h"
#include "platform/utf8.h"
#include "private_daemon.h"
#include "speechd_test_support.h"

namespace pelliwick::speechd {
namespace {

using namespace test;

// As the program does for the whole process: libspeechd writes to a daemon
// that may have gone.
const auto kPipeIgnored = std::signal(SIGPIPE, SIG_IGN);

struct Joined {
  std::vector<std::string> log;
  std::shared_ptr<FakeVoice> daemon = std::make_shared<FakeVoice>("d", 3, log);
  std::shared_ptr<FakeVoice> embedded =
      std::make_shared<FakeVoice>("e", 2, log);
  std::vector<Unheard> unheard;  // what the daemon hands back
  JoinedVoice voice{{daemon, 3, [this] { return daemon->failed; },
                     [this] { return std::exchange(unheard, {}); }},
                    embedded,
                    2};
};

TEST(JoinedVoice, ListsTheDefaultThenTheEmbeddedThenTheOthers) {
  Joined joined;
  for (int index = 0; index < 5; ++index) {
    joined.voice.selectVoice(index);
    joined.voice.speak(L"x", SVSFlagsAsync);
  }
  EXPECT_EQ(joined.log, (std::vector<std::string>{"d0 x/1", "e0 x/1", "e1 x/1",
                                                  "d1 x/1", "d2 x/1"}));
  EXPECT_THROW(joined.voice.selectVoice(5), Failure);
  EXPECT_THROW(joined.voice.selectVoice(-1), Failure);

  // A purge silences the engine not in use too; rate goes to both.
  joined.log.clear();
  joined.voice.setRate(7);
  joined.voice.speak(L"", SVSFPurgeBeforeSpeak);
  EXPECT_EQ(joined.log, (std::vector<std::string>{"e1 /2", "d2 /2"}));
  EXPECT_EQ(joined.embedded->rate(), 7);
  EXPECT_EQ(joined.voice.rate(), 7);
}

TEST(JoinedVoice, ALostDaemonHandsEveryCallToTheEmbeddedFirstVoice) {
  Joined joined;
  joined.voice.selectVoice(2);  // the embedded engine's second voice
  joined.voice.selectVoice(4);  // back on the daemon
  joined.daemon->failing = true;
  // Neither the purge nor the text fails: a key stays a key.
  EXPECT_NO_THROW(joined.voice.speak(L"", SVSFPurgeBeforeSpeak));
  EXPECT_NO_THROW(joined.voice.speak(L"lost", SVSFDefault));
  // A daemon voice chosen afterwards gives the embedded default too, and a
  // purge no longer reaches the daemon.
  joined.voice.selectVoice(3);
  joined.voice.speak(L"", SVSFPurgeBeforeSpeak);
  EXPECT_EQ(joined.log, (std::vector<std::string>{"e1 /2", "d2 /2", "e0 /2",
                                                  "e0 lost/0", "e0 /2"}));

  // A daemon that only refuses a text, and is still there, is a failure.
  Joined refusing;
  refusing.daemon->failing = true;
  bool lost = false;
  JoinedVoice voice({refusing.daemon, 3, [&lost] { return lost; }, {}},
                    refusing.embedded, 2);
  EXPECT_THROW(voice.speak(L"refused", SVSFlagsAsync), Failure);
}

TEST(JoinedVoice, WhatTheDaemonLeftUnsaidIsSaidElsewhereAndItsVoiceReturns) {
  Joined joined;
  joined.voice.selectVoice(4);  // the daemon's second listed voice
  joined.log.clear();
  // Queued, never said: a prompt, then a key's purge and its echo.
  joined.unheard = {{false, L"prompt", 0}, {true, L"", 0}, {false, L"5", 5}};
  joined.daemon->failed = true;  // lost
  EXPECT_FALSE(joined.voice.voiceAvailable(0));
  EXPECT_FALSE(joined.voice.voiceAvailable(4));
  EXPECT_TRUE(joined.voice.voiceAvailable(2));
  joined.voice.linkChanged();  // on the link's thread
  EXPECT_EQ(joined.log,
            (std::vector<std::string>{"e0 prompt/1", "e0 /2", "e0 5/1"}));
  EXPECT_EQ(joined.embedded->rate(), 0) << "an echo's rate was left behind";

  // Back: nothing the embedded engine says is cut until the next purge,
  // which returns to the voice chosen.
  joined.log.clear();
  joined.daemon->failed = false;
  joined.voice.linkChanged();
  joined.voice.speak(L"still here", SVSFlagsAsync);
  joined.voice.speak(L"", SVSFPurgeBeforeSpeak);
  joined.voice.speak(L"6", SVSFlagsAsync);
  EXPECT_EQ(joined.log, (std::vector<std::string>{"e0 still here/1", "e0 /2",
                                                  "d2 /2", "d2 6/1"}));
  EXPECT_TRUE(joined.voice.voiceAvailable(4));
}

TEST(DaemonScales, RateStepsAndVolumeMapOntoSpeechDispatchersScales) {
  struct Rate {
    int player, step, sent;
  };
  for (const Rate& row : std::vector<Rate>{{0, 0, 0},
                                           {0, 5, 50},
                                           {20, -3, -10},
                                           {-30, 1, -20},
                                           {50, 10, 100},
                                           {0, 15, 100},
                                           {0, -11, -100},
                                           {0, 2000000000, 100},
                                           {0, -2000000000, -100}}) {
    EXPECT_EQ(daemonRate(row.player, row.step), row.sent)
        << "player rate " << row.player << ", step " << row.step;
  }
  for (auto [volume, sent] : std::vector<std::pair<int, int>>{
           {0, -100}, {50, 0}, {95, 90}, {100, 100}}) {
    EXPECT_EQ(daemonVolume(volume), sent) << "volume " << volume;
  }
}

TEST(DaemonVoices, NoVariantsAndNoneOfTheEmbeddedEnginesOwn) {
  EXPECT_FALSE(offersOwnVoices("espeak-ng"));
  EXPECT_TRUE(offersOwnVoices("rhvoice"));
  const std::vector<DaemonVoice> listed{
      {"rhvoice", "Anna", "ru", "none"},
      {"rhvoice", "Anna", "ru", "none"},
      {"second", "English", "en", "none"},
      {"second", "English+Adam", "en", "Adam"},
      {"pico", "en-US", "en", ""},
      {"second", "Anna", "ru", "none"}};
  std::vector<std::string> kept;
  for (const auto& voice : withoutVariants(listed)) {
    kept.push_back(voice.module + "/" + voice.name);
  }
  EXPECT_EQ(kept, (std::vector<std::string>{"rhvoice/Anna", "second/English",
                                            "pico/en-US", "second/Anna"}));
}

TEST(SpeechdLink, WithoutSpeechDispatcherTheEmbeddedVoiceIsTheOnlyOne) {
  std::vector<std::string> log;
  FakeEngine embedded(log);
  Limits limits;
  limits.connect = milliseconds(300);

  setenv("SPEECHD_ADDRESS", "unix_socket:/nonexistent/pelliwick", 1);
  auto start = Clock::now();
  EXPECT_EQ(openLinkIfRunning(limits), nullptr);
  std::printf("absent daemon: gave up after %ld ms\n", msSince(start));
  unsetenv("SPEECHD_ADDRESS");

  // A socket that accepts connections but never answers, and one that
  // answers something other than speech-dispatcher would (libspeechd would
  // end the program): the game starts on its own voices within the limit.
  for (const std::string& reply :
       {std::string(), std::string("HTTP/1.1 400 Bad Request\r\n\r\n")}) {
    test::ForeignServer server(reply);
    setenv("SPEECHD_ADDRESS", server.address().c_str(), 1);
    start = Clock::now();
    JoinedEngine engine(embedded, openLinkIfRunning(limits));
    const long gaveUpMs = msSince(start);
    std::printf("%s: gave up after %ld ms\n",
                reply.empty() ? "silent server" : "foreign server", gaveUpMs);
    EXPECT_LT(gaveUpMs, limits.connect.count() + 100);
    EXPECT_EQ(engine.createVoice(), embedded.voice);
    unsetenv("SPEECHD_ADDRESS");
  }
}

// The game's voice over a private daemon, with the fakes' embedded engine:
// what a fault does to the key that follows, how soon the embedded engine
// speaks, and how long the end of the program takes.
class WithDaemon : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!daemon.running()) GTEST_SKIP() << daemon.why();
    engine = std::make_unique<JoinedEngine>(embedded, openLinkIfRunning());
    voice = engine->createVoice();
    ASSERT_NE(voice, embedded.voice) << "the daemon did not answer";
    voice->setVolume(95);
    voice->speak(L"the settings are sent with this one", SVSFDefault);
  }

  // Typing a key: a purge, then its echo, neither waiting for the daemon.
  // Returns how long until the embedded engine had the echo, in ms.
  long typeKey() {
    const auto start = Clock::now();
    EXPECT_NO_THROW(voice->speak(L"", SVSFPurgeBeforeSpeak));
    EXPECT_NO_THROW(voice->speak(L"2", SVSFlagsAsync));
    EXPECT_LT(msSince(start), 50) << "the key waited for the daemon";
    const long echoMs = msUntilSaid(log, "e0 2/1", start);
    EXPECT_GE(echoMs, 0) << "the echo never reached the embedded engine";
    return echoMs;
  }

  // Ends the program's speech as the program does; returns how long it took.
  long close() {
    const auto start = Clock::now();
    voice.reset();
    engine.reset();
    return msSince(start);
  }

  test::PrivateDaemon daemon;
  std::vector<std::string> log;
  FakeEngine embedded{log};
  std::unique_ptr<JoinedEngine> engine;
  std::shared_ptr<SpeechVoice> voice;
};

TEST_F(WithDaemon, SpeaksWithEveryFlagAndThePurgeSilencesIt) {
  for (unsigned flags : {SVSFlagsAsync, SVSFDefault}) {
    const auto start = Clock::now();
    voice->speak(L"first", SVSFlagsAsync);
    voice->speak(L"5", SVSFlagsAsync);
    voice->speak(L"waited for", flags | SVSFPurgeBeforeSpeak);
    voice->speak(L"last", SVSFDefault);
    std::printf("flags %u: queued, purged and waited in %ld ms\n", flags,
                msSince(start));
  }
  EXPECT_TRUE(lastSaid(log).empty() || lastSaid(log) == "e0 /2")
      << lastSaid(log);
  EXPECT_LT(close(), 300);
}

TEST_F(WithDaemon, Dies) {
  daemon.kill();
  const long fellBackMs = typeKey();
  std::printf(
      "daemon killed: the key's echo on the embedded engine in %ld ms\n",
      fellBackMs);
  EXPECT_LT(fellBackMs, 600);
  EXPECT_LT(close(), 300);
}

TEST_F(WithDaemon, DiesWhileATextIsWaitedFor) {
  daemon.pauseModule(true);               // the text does not end by itself
  static constexpr long kKilledAt = 280;  // between two of the wait's pings
  std::thread killer([this] {
    std::this_thread::sleep_for(milliseconds(kKilledAt));
    daemon.kill();
  });
  const auto start = Clock::now();
  voice->speak(L"waited", SVSFDefault);
  killer.join();
  const long afterKillMs = msSince(start) - kKilledAt;
  std::printf(
      "daemon killed in a wait: the embedded engine spoke %ld ms later\n",
      afterKillMs);
  // Known from the socket at once, not at the next ping.
  EXPECT_LT(afterKillMs, 150);
  EXPECT_EQ(lastSaid(log), "e0 waited/0");
}

TEST_F(WithDaemon, StallsBeforeOrDuringTheGame) {
  daemon.pause(true);
  const long fellBackMs = typeKey();
  std::printf(
      "daemon stopped: the key's echo on the embedded engine in %ld ms\n",
      fellBackMs);
  EXPECT_LT(fellBackMs, 1000);
  const long closeMs = close();
  std::printf("daemon stopped: closed in %ld ms\n", closeMs);
  EXPECT_LT(closeMs, 300);

  // Stopped before the game starts: the start waits no longer than the
  // connect limit.
  const auto start = Clock::now();
  EXPECT_EQ(openLinkIfRunning(), nullptr);
  EXPECT_LT(msSince(start), Limits{}.connect.count() + 100);
  daemon.pause(false);
}

TEST_F(WithDaemon, AHungSynthesiserIsGivenUpOnInBoundedTime) {
  daemon.pauseModule(true);
  auto start = Clock::now();
  voice->speak(L"hi", SVSFDefault);
  const long stuckMs = msSince(start);
  std::printf("no end event: the embedded engine spoke after %ld ms\n",
              stuckMs);
  EXPECT_GE(stuckMs, heardWithin(2).count());
  // Silence a player sits through for two characters: a few seconds, not
  // half a minute.
  EXPECT_LT(stuckMs, 5000);
  EXPECT_EQ(lastSaid(log), "e0 hi/0");
  EXPECT_LT(close(), 300);
}

TEST_F(WithDaemon, AWaitedTextEndsAtOnceWhenTheWindowCloses) {
  std::atomic<bool> closing = false;
  auto link = SpeechdLink::open();
  SpeechdVoice daemonVoice(link, [&closing] { return closing.load(); });
  daemon.pauseModule(true);  // keeps the next texts unfinished
  std::thread closer([&closing] {
    std::this_thread::sleep_for(milliseconds(200));
    closing = true;
  });
  const auto closedAt = Clock::now();
  daemonVoice.speak(L"a text cut short", SVSFDefault);
  closer.join();
  const long waitMs = msSince(closedAt);
  std::printf("window closed at 200 ms: the wait ended after %ld ms\n", waitMs);
  EXPECT_LT(waitMs, 500);
  EXPECT_FALSE(link->lost());
}

TEST(WithDaemonOfTwoModules,
     OtherModulesAreListedAndSpokenWithinTheStartLimit) {
  test::PrivateDaemon daemon(test::PrivateDaemon::Modules::kSecondEspeakNg);
  if (!daemon.running()) GTEST_SKIP() << daemon.why();
  {
    Limits limits;
    limits.connect = milliseconds(5000);
    const auto start = Clock::now();
    auto link = SpeechdLink::open(limits);
    SpeechdVoice voice(link);
    const int count = voice.voiceCount();
    std::printf("%d voices listed in %ld ms\n", count, msSince(start));
    ASSERT_GT(count, 100);
    EXPECT_LT(count, 300);
    EXPECT_EQ(link->voices().front().module, "second");
    EXPECT_THROW(voice.selectVoice(count), Failure);
    for (int index : {count - 1, 0, 1}) {
      voice.selectVoice(index);
      voice.speak(L"5", SVSFlagsAsync);
      voice.speak(L"waited for", SVSFDefault);
    }
    EXPECT_EQ(LinkInspector::cancelled(*link), 0u)
        << "a queued text cancelled one";
    EXPECT_FALSE(link->lost());
  }

  std::vector<std::string> log;
  FakeEngine embedded(log);

  // Listing a second espeak-ng takes a second or more: past the start's
  // limit the game starts on its own voices, as it does when the daemon
  // dies while it lists.
  for (bool dies : {false, true}) {
    const auto start = Clock::now();
    JoinedEngine engine(embedded, openLinkIfRunning());
    std::thread killer;
    if (dies) {
      killer = std::thread([&daemon] {
        std::this_thread::sleep_for(milliseconds(100));
        daemon.kill();
      });
    }
    EXPECT_EQ(engine.createVoice(), embedded.voice);
    if (killer.joinable()) killer.join();
    const long startMs = msSince(start);
    std::printf("daemon %s while listing: started after %ld ms\n",
                dies ? "killed" : "slow", startMs);
    EXPECT_LT(startMs, Limits{}.connect.count() + 100);
  }
}

}  // namespace
}  // namespace pelliwick::speechd
