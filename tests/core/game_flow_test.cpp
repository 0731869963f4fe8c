#include <cmath>
#include <optional>

#include "game_test_support.h"

namespace pelliwick::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;

// The five plays of the fanfare: volume, pan (none for the last, which is
// also the only one stopped) and frequency.
std::vector<std::string> fanfare() {
  struct Ding {
    int volume;
    std::optional<int> pan;
    int freq;
  };
  const Ding dings[] = {{0, -1111, 11026},
                        {0, 1111, 11026},
                        {-888, 0, 8000},
                        {-444, 0, 11026},
                        {0, std::nullopt, 15000}};
  std::vector<std::string> calls;
  for (const Ding& ding : dings) {
    calls.push_back("buffer /games/ding.wav flags 224");
    calls.push_back("cue position 0");
    calls.push_back("cue volume " + std::to_string(ding.volume));
    if (ding.pan) calls.push_back("cue pan " + std::to_string(*ding.pan));
    calls.push_back("cue freq " + std::to_string(ding.freq));
    calls.push_back("cue play 0");
    if (!ding.pan) calls.push_back("cue stop");
    calls.push_back("release buf ding.wav");
  }
  return calls;
}

TEST_F(GameTest, AWholeGameFromTheStartCueToTheFarewell) {
  fake.voices = 2;
  fake.draws = {0.41, 0.0};
  fake.key(32, When::DuringCue);  // cuts the start cue short
  fake.type(L"50\r");             // too high
  fake.type(L"42\r");             // right
  fake.key('Y');
  fake.type(L"1\r");  // the second round's number
  fake.key('N');
  playGame();

  EXPECT_TRUE(Consecutive(fake.timeline, {"show Form1",
                                          "create root",
                                          "open device",
                                          "cooperative level 2 window",
                                          "create voice",
                                          "select 0",
                                          "select 1",
                                          "select 2",
                                          "buffer /games/wild.wav flags 224",
                                          "cue position 0",
                                          "cue volume 0",
                                          "cue freq 11026",
                                          "cue play 0",
                                          "key 32",
                                          "cue stop",
                                          "release buf wild.wav",
                                          "select 0",
                                          "read rate",
                                          "rate 0",
                                          "volume 95",
                                          "speak0  Pelliwick By Orvanne "}));
  // The key that cut the start cue short is not typed: the first echo is
  // the first digit.
  EXPECT_TRUE(Consecutive(fake.timeline,
                          {"speak1 " + narrow(kPrompt), "key 53", "speak2 ",
                           "rate 5", "speak2 ", "speak1 5", "rate 0"}));
  EXPECT_NEAR(fake.pauses.front(), 0.5, 0.011);

  // The wrong guess: the cue to its end, the feedback waited for, a pause.
  EXPECT_TRUE(Consecutive(
      fake.timeline, {"key 13", "speak2 ", "buffer /games/dong.wav flags 224",
                      "cue position 0", "cue volume 0", "cue freq 11026",
                      "cue play 0", "cue stop", "release buf dong.wav",
                      "speak0  sorry your guess was too high "}));
  EXPECT_NEAR(fake.pauses.at(1), 0.2, 0.011);

  EXPECT_TRUE(Consecutive(fake.timeline, fanfare()));
  EXPECT_TRUE(InOrder(
      fake.timeline,
      {"speak0  Yes! you got it ", "buffer /games/ding.wav flags 224",
       "speak0  the number was  42", "speak1  it took you  2 guesses",
       "speak1  do you want to play again? ", "speak1  press y or n ", "key 89",
       "speak0  the number was  1", "speak1  it took you  1 guesses", "key 78",
       "speak0 Thank you for playing Pelliwick By Orvanne",
       "speak0 Exiting program", "release dx", "release ds", "release Voice",
       "close"}));
  EXPECT_NEAR(fake.pauses.at(2), 0.3, 0.011);
  EXPECT_EQ(form->freq, 11026);
  EXPECT_EQ(fake.timeline.back(), "close");

  // Each round draws from a newly seeded generator.
  const auto seeds = fake.entries("reseed");
  ASSERT_EQ(seeds.size(), 2u);
  EXPECT_NE(seeds[0], seeds[1]);
  EXPECT_TRUE(fake.draws.empty());
  EXPECT_EQ(fake.selectedVoice, 0);
}

TEST_F(GameTest, EveryEntryCountsAsAGuessWhateverItHolds) {
  fake.type(L"\r");     // empty: 0, too low
  fake.type(L"0\r");    // too low
  fake.type(L"101\r");  // too high
  fake.type(L"abc\r");  // 0, too low
  fake.type(L"4");
  fake.key(46);       // Delete types "."
  fake.type(L"5\r");  // 4.5: too low, never equal
  fake.type(L"007");
  fake.key(8);  // Backspace: "00"
  fake.type(L"42\r");
  fake.key('N');
  playGame();

  EXPECT_THAT(fake.entries("speak0  sorry"),
              ElementsAre("speak0  sorry your guess was too low ",
                          "speak0  sorry your guess was too low ",
                          "speak0  sorry your guess was too high ",
                          "speak0  sorry your guess was too low ",
                          "speak0  sorry your guess was too low "));
  EXPECT_THAT(fake.entries("speak1  it took you"),
              ElementsAre("speak1  it took you  6 guesses"));
}

TEST_F(GameTest, ThePlayAgainQuestionTakesOnlyYAndN) {
  fake.type(L"42\r");
  fake.key(16);   // Shift alone asks again
  fake.key(112);  // so does F1
  fake.key(121);  // F10 gives "y"
  fake.type(L"42\r");
  fake.key(16);
  fake.key('N');  // with Shift held: still "n"
  playGame();
  EXPECT_EQ(fake.entries("speak1  do you want to play again? ").size(), 5u);
  EXPECT_EQ(fake.entries("reseed").size(), 2u);
  EXPECT_EQ(fake.entries("speak0 Exiting program").size(), 1u);
}

TEST_F(GameTest, TheKeypadDecimalPointAnswersNo) {
  fake.type(L"42\r");
  fake.key(110);
  playGame();
  EXPECT_EQ(fake.entries("speak0 Exiting program").size(), 1u);
}

TEST_F(GameTest, KeysDuringSpeechCuesAndPausesAreNotTaken) {
  fake.type(L"5\r");
  fake.key('7', When::DuringCue);    // during "dong"
  fake.key('8', When::DuringSay);    // during the feedback
  fake.key('9', When::DuringPause);  // during the pause
  fake.type(L"42\r");
  fake.key('N');
  playGame();
  EXPECT_TRUE(InOrder(fake.timeline, {"key 55", "key 56", "key 57"}));
  EXPECT_THAT(
      fake.entries("speak1 "),
      Not(Contains(::testing::AnyOf("speak1 7", "speak1 8", "speak1 9"))));
  EXPECT_THAT(fake.entries("speak1  it took you"),
              ElementsAre("speak1  it took you  2 guesses"));
}

TEST_F(GameTest, OnlyTheStartCueEndsOnAKey) {
  fake.cuePolls = 5;
  fake.key(32, When::DuringCue);  // cuts the start cue short
  fake.type(L"5\r");
  fake.key('7', When::DuringCue);  // typed ahead during "dong"
  fake.type(L"42\r");
  for (int ding = 0; ding < 5; ++ding) fake.key('8', When::DuringCue);
  fake.key('N');
  playGame();
  EXPECT_THAT(fake.cutShort, ElementsAre("wild.wav"));
  EXPECT_TRUE(fake.scriptDone());
}

TEST_F(GameTest, TheDrawSpansOneToAHundredInDoublePrecision) {
  struct Draw {
    double r;
    int target;
  };
  // 0.9999999 times 100 rounded to single precision first would be 100,
  // and the draw 101.
  const Draw draws[] = {
      {0.0, 1}, {0.9999999, 100}, {std::nextafter(1.0, 0.0), 100}, {0.5, 51}};
  for (const Draw& draw : draws) {
    FakePlatform game;
    game.draws = {draw.r};
    game.type(std::to_wstring(draw.target) + L"\r");
    game.key('N');
    Form1 window(game.platform());
    window.Form_Load();
    EXPECT_THAT(
        game.entries("speak0  the number was"),
        ElementsAre("speak0  the number was  " + std::to_string(draw.target)));
    EXPECT_FALSE(game.ranOutOfKeys());
  }
}

TEST_F(GameTest, ClosingTheWindowEndsTheGameAtOnceInOrder) {
  fake.type(L"4");  // then no more keys: the window is closed
  form->Form_Load();
  EXPECT_TRUE(fake.ranOutOfKeys());
  EXPECT_TRUE(InOrder(fake.timeline, {"speak1 4", "release dx", "release ds",
                                      "release Voice", "close"}));
  EXPECT_THAT(fake.entries("speak0  sorry"), ::testing::IsEmpty());
}

}  // namespace
}  // namespace pelliwick::testing
