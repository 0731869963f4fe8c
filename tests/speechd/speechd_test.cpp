// The joined voice list and its fall-back, with fake voices; then the
// speech-dispatcher voice against no daemon, a silent one and a private one.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "failure.h"
#include "private_daemon.h"
#include "speechd/joined_engine.h"
#include "speechd/speechd_voice.h"
#include "utf8.h"

namespace pelliwick::speechd {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long msSince(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start).count();
}

// Writes "<name><index> <text>/<flags>" for each text, into a shared log.
class FakeVoice : public SpeechVoice {
 public:
  FakeVoice(std::string name, int count, std::vector<std::string>& log)
      : name_(std::move(name)), count_(count), log_(log) {}
  void selectVoice(int index) override {
    if (index >= count_) throw Failure("past the end");
    selected_ = index;
  }
  int rate() override { return rate_; }
  void setRate(int rate) override { rate_ = rate; }
  void setVolume(int) override {}
  void speak(const std::wstring& text, unsigned flags) override {
    log_.push_back(name_ + std::to_string(selected_) + " " + toUtf8(text) +
                   "/" + std::to_string(flags));
    if (failing) {
      failed = true;
      throw Failure("gone");
    }
  }
  bool failing = false;
  bool failed = false;

 private:
  std::string name_;
  int count_;
  std::vector<std::string>& log_;
  int selected_ = 0;
  int rate_ = 0;
};

class FakeEngine : public SpeechEngine {
 public:
  explicit FakeEngine(std::vector<std::string>& log)
      : voice(std::make_shared<FakeVoice>("e", 2, log)) {}
  std::shared_ptr<SpeechVoice> createVoice() override { return voice; }
  std::shared_ptr<FakeVoice> voice;
};

struct Joined {
  std::vector<std::string> log;
  std::shared_ptr<FakeVoice> daemon = std::make_shared<FakeVoice>("d", 3, log);
  std::shared_ptr<FakeVoice> embedded =
      std::make_shared<FakeVoice>("e", 2, log);
  JoinedVoice voice{
      {daemon, 3, [this] { return daemon->failed; }}, embedded, 2};
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

TEST(JoinedVoice, FallsBackOnTheEmbeddedVoiceOnceTheDaemonIsLost) {
  Joined joined;
  joined.voice.selectVoice(4);
  joined.daemon->failing = true;
  EXPECT_THROW(joined.voice.speak(L"lost", SVSFDefault), Failure);
  joined.voice.speak(L"heard", SVSFDefault);
  // A daemon voice chosen afterwards gives the embedded default too, and a
  // purge no longer reaches the daemon.
  joined.voice.selectVoice(1);
  joined.voice.selectVoice(3);
  joined.voice.speak(L"", SVSFPurgeBeforeSpeak);
  EXPECT_EQ(joined.log,
            (std::vector<std::string>{"d2 lost/0", "e0 heard/0", "e0 /2"}));
}

TEST(SpeechdLink, WithoutADaemonTheEmbeddedVoiceIsTheOnlyOne) {
  std::vector<std::string> log;
  FakeEngine embedded(log);

  setenv("SPEECHD_ADDRESS", "unix_socket:/nonexistent/pelliwick", 1);
  auto start = Clock::now();
  EXPECT_EQ(openLinkIfRunning(), nullptr);
  std::printf("absent daemon: gave up after %ld ms\n", msSince(start));

  // A socket that accepts connections but never answers: the limit holds.
  char folder[] = "/tmp/pelliwick-silent-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string path = std::string(folder) + "/socket";
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(
      bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  setenv("SPEECHD_ADDRESS", ("unix_socket:" + path).c_str(), 1);
  start = Clock::now();
  Limits limits;
  limits.connect = milliseconds(300);
  JoinedEngine engine(embedded, openLinkIfRunning(limits));
  const long silentMs = msSince(start);
  std::printf("silent daemon: gave up after %ld ms\n", silentMs);
  EXPECT_LT(silentMs, 1000);
  EXPECT_EQ(engine.createVoice(), embedded.voice);
  close(listener);
  unlink(path.c_str());
  rmdir(folder);
  unsetenv("SPEECHD_ADDRESS");
}

class WithDaemon : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!daemon.running()) GTEST_SKIP() << daemon.why();
    link = SpeechdLink::open();
  }
  test::PrivateDaemon daemon;
  std::shared_ptr<SpeechdLink> link;
};

TEST_F(WithDaemon, ListsItsVoicesAndSpeaksWithEveryFlag) {
  auto start = Clock::now();
  SpeechdVoice voice(link);
  const int count = voice.voiceCount();
  std::printf("%d voices listed in %ld ms\n", count, msSince(start));
  ASSERT_GT(count, 1);
  EXPECT_EQ(link->voices().front().module, "espeak-ng");
  EXPECT_FALSE(link->voices().front().name.empty());
  EXPECT_THROW(voice.selectVoice(count), Failure);

  voice.setVolume(95);
  std::size_t baseline = 0;
  for (int index : {0, count - 1, 0}) {
    voice.selectVoice(index);
    start = Clock::now();
    voice.speak(L"first", SVSFlagsAsync);
    voice.speak(L"5", SVSFlagsAsync);
    voice.speak(L"waited for", SVSFDefault);
    EXPECT_EQ(link->cancelled(), baseline) << "a queued text cancelled one";
    std::printf("voice %d: two queued and one waited, heard in %ld ms\n", index,
                msSince(start));
    start = Clock::now();
    voice.speak(L"dropped", SVSFlagsAsync);
    voice.speak(L"", SVSFPurgeBeforeSpeak);
    voice.speak(L"after the purge", SVSFPurgeBeforeSpeak);
    std::printf("voice %d: purged and waited in %ld ms (%zu cancelled)\n",
                index, msSince(start), link->cancelled());
    baseline = link->cancelled();
  }
  EXPECT_FALSE(link->lost());
}

TEST_F(WithDaemon, TheEmbeddedVoiceTakesOverWhenTheDaemonStopsOrDies) {
  std::vector<std::string> log;
  FakeEngine embedded(log);
  JoinedEngine engine(embedded, link);
  auto voice = engine.createVoice();

  // The synthesiser hangs: no end arrives, the wait gives up.
  daemon.pauseModule(true);
  auto start = Clock::now();
  EXPECT_THROW(voice->speak(L"hi", SVSFDefault), Failure);
  const long stuckMs = msSince(start);
  std::printf("no end event: gave up after %ld ms\n", stuckMs);
  EXPECT_GE(stuckMs, heardWithin(2).count());
  EXPECT_TRUE(link->lost());
  voice->speak(L"next prompt", SVSFDefault);
  EXPECT_EQ(log, std::vector<std::string>{"e0 next prompt/0"});
}

TEST_F(WithDaemon, AWaitedTextEndsWhenTheWindowClosesOrTheDaemonIsKilled) {
  std::atomic<bool> closing = false;
  SpeechdVoice voice(link, [&closing] { return closing.load(); });
  voice.speak(L"the settings are sent with this one", SVSFDefault);
  daemon.pauseModule(true);  // keeps the next texts unfinished

  // Closing the window ends a waited text at once.
  std::thread closer([&closing] {
    std::this_thread::sleep_for(milliseconds(200));
    closing = true;
  });
  auto closedAt = Clock::now();
  voice.speak(L"a text cut short", SVSFDefault);
  closer.join();
  std::printf("window closed at 200 ms: the wait ended after %ld ms\n",
              msSince(closedAt));
  EXPECT_LT(msSince(closedAt), 1000);
  closing = false;
  // The cancel it sent waits for the module; then the next text hangs.
  daemon.pauseModule(false);
  voice.speak(L"heard", SVSFDefault);
  daemon.pauseModule(true);
  std::thread killer([this] {
    std::this_thread::sleep_for(milliseconds(300));
    daemon.kill();
  });
  const auto start = Clock::now();
  std::string why;
  try {
    voice.speak(L"a text that is never heard", SVSFDefault);
  } catch (const Failure& failure) {
    why = failure.what();
  }
  killer.join();
  const long killedMs = msSince(start);
  std::printf("daemon killed at 300 ms: the wait failed after %ld ms (%s)\n",
              killedMs, why.c_str());
  EXPECT_FALSE(why.empty());
  EXPECT_LT(killedMs, 2000);
  EXPECT_TRUE(link->lost());
  EXPECT_THROW(voice.speak(L"", SVSFPurgeBeforeSpeak), Failure);
}

}  // namespace
}  // namespace pelliwick::speechd
