// Long runs of the whole game over the test doubles: a storm of random keys
// and many rounds in a row. Nothing may escape the game flow, the game must
// still answer its prompt afterwards, and memory, threads and open files
// must stay flat. Figures are printed.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>

#include "game_test_support.h"

namespace pelliwick::testing {
namespace {

long residentKb() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE) / 1024;
}

int entriesIn(const char* folder) {
  int count = 0;
  if (DIR* dir = opendir(folder)) {
    while (readdir(dir) != nullptr) ++count;
    closedir(dir);
  }
  return count;
}

// Whatever state the storm left the game in (a line entry, the rate
// adjuster, up to eight nested voice choosers, the play-again question),
// these keys lead to the end: Enter leaves the adjuster, the y's leave
// the choosers, F1 starts the entry afresh, 42 is the number, and n ends.
void finish(FakePlatform& fake) {
  fake.key(13);
  for (int i = 0; i < 8; ++i) fake.key('Y');
  fake.key(112);
  fake.type(L"42\r");
  fake.key('N');
}

constexpr int kKeys = 100000;

class Storm : public GameTest {
 protected:
  void SetUp() override {
    fake.voices = 3;
    fake.keepLog = false;  // the game's memory, not the log's, is measured
    // One short game first, so that what is allocated once per process is
    // not counted as growth.
    fake.type(L"42\r");
    fake.key('N');
    form->Form_Load();
  }
  void runGame(const char* what, long mostGrowthKb) {
    const long before = residentKb();
    const int threads = entriesIn("/proc/self/task");
    const int files = entriesIn("/proc/self/fd");
    // An n at the play-again question ends a game: the next one takes the
    // keys that are left.
    int games = 0;
    while (!fake.scriptDone() && !fake.ranOutOfKeys() && games < kKeys) {
      form = std::make_unique<Form1>(fake.platform());
      EXPECT_NO_THROW(form->Form_Load());
      ++games;
    }
    const long after = residentKb();
    std::printf("%s: %d games, resident %ld kB before, %ld kB after\n", what,
                games, before, after);
    // The last game ended on the scripted finish, every key taken.
    EXPECT_FALSE(fake.ranOutOfKeys()) << "the game stopped answering";
    EXPECT_TRUE(fake.scriptDone());
    // A sanitizer's allocator holds freed memory back: sizes say nothing.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    EXPECT_LT(after - before, mostGrowthKb);
#else
    (void)mostGrowthKb;
#endif
    EXPECT_EQ(entriesIn("/proc/self/task"), threads);
    EXPECT_EQ(entriesIn("/proc/self/fd"), files);
  }
};

TEST_F(Storm, RandomKeysAnywhereThenTheGameStillEnds) {
  std::mt19937 random(20261207);
  auto pick = [&](int n) {
    return std::uniform_int_distribution<int>(0, n - 1)(random);
  };
  // Every code from 0 to 255, with the keys that steer the game (Enter,
  // the digits, the hot keys, y, n, F1, Backspace, Shift) more often.
  const int steering[] = {13, '4', '2', 17, 115, 'Y', 'N', 112, 8, 16, 38, 40};
  int sent = 0;
  while (sent < kKeys) {
    if (pick(50) == 0) {  // now and then the right number, ending a round
      fake.type(L"42\r");
      sent += 3;
      continue;
    }
    const int code = pick(3) == 0 ? pick(256) : steering[pick(12)];
    // Mostly one key; sometimes an auto-repeat burst of the same key.
    const int count = pick(20) == 0 ? 1 + pick(40) : 1;
    for (int i = 0; i < count && sent < kKeys; ++i, ++sent) {
      // At a key wait, or after a few pumps: then it lands wherever the
      // game is, during a cue, a pause or a dialog.
      if (pick(2) == 0) {
        fake.key(code);
      } else {
        fake.key(code, When::AfterPumps, 1 + pick(3));
      }
    }
  }
  finish(fake);
  runGame("100000 random keys", 2048);
  std::printf("keys tried: %d\n", kKeys);
}

TEST_F(Storm, FiveHundredRoundsInARow) {
  constexpr int kRounds = 500;
  for (int round = 0; round < kRounds; ++round) {
    fake.type(L"7\r");  // too low
    fake.key(115);      // the voice chooser and the next voice
    fake.key('N');
    fake.key('Y');
    fake.key(17);  // the rate, one step up
    fake.key(38);
    fake.key(13);
    fake.type(L"42\r");
    fake.key(round + 1 < kRounds ? 'Y' : 'N');
  }
  runGame("500 rounds", 512);
  EXPECT_EQ(form->rate, kRounds);
}

}  // namespace
}  // namespace pelliwick::testing
