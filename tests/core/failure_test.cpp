// A failing platform call abandons the action in progress; the game goes on
// with its next action.
#include "platform/failure.h"

#include "game_test_support.h"

namespace pelliwick::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;

TEST_F(GameTest, AMissingWrongGuessCueLeavesTheFeedbackSpokenButSilent) {
  fake.missingFiles = {L"dong.wav"};
  fake.type(L"7\r42\r");
  fake.key('N');
  playGame();
  EXPECT_TRUE(
      Consecutive(fake.timeline, {"FAILED buffer /games/dong.wav flags 224",
                                  "speak0  sorry your guess was too low "}));
  EXPECT_THAT(fake.entries("speak0  the number was"),
              ElementsAre("speak0  the number was  42"));
}

TEST_F(GameTest, AMissingFanfareCueMakesTheFanfareSilent) {
  fake.missingFiles = {L"ding.wav"};
  fake.type(L"42\r");
  fake.key('N');
  playGame();
  EXPECT_EQ(fake.entries("FAILED buffer /games/ding.wav").size(), 5u);
  EXPECT_EQ(form->freq, 11026);
  EXPECT_TRUE(InOrder(fake.timeline, {"speak0  Yes! you got it ",
                                      "speak0  the number was  42"}));
}

TEST_F(GameTest, ACueFailingAfterItsBufferWasMadeKeepsItUntilTheNextCue) {
  startDevices();
  fake.failOn("cue freq");
  EXPECT_THROW(form->play(L"dong"), Failure);
  EXPECT_NE(form->buf, nullptr);
  EXPECT_THAT(fake.entries("release buf"), IsEmpty());

  form->play(L"ding");
  EXPECT_TRUE(InOrder(fake.timeline, {"buffer /games/ding.wav flags 224",
                                      "release buf dong.wav", "cue play 0",
                                      "release buf ding.wav"}));
  EXPECT_EQ(form->buf, nullptr);
}

TEST_F(GameTest, ASpeechFailureInALineEntryKeepsWhatWasTypedAndGoesOn) {
  fake.failOn("speak1 2");  // the echo of the second digit
  fake.type(L"42");
  fake.type(L"42\r");
  fake.key('N');
  playGame();
  // "4" was typed when the entry broke off: it is judged as a guess.
  EXPECT_THAT(fake.entries("speak0  sorry"),
              ElementsAre("speak0  sorry your guess was too low "));
  EXPECT_THAT(fake.entries("speak1  it took you"),
              ElementsAre("speak1  it took you  2 guesses"));
}

TEST_F(GameTest, WithoutAnyVoiceOnlyTheMessageBoxShows) {
  fake.voices = 0;
  playGame();
  EXPECT_THAT(fake.entries("messagebox"),
              ElementsAre("messagebox Sorry but I couldn't find any voices to "
                          "use\\u13Please contact Orvanne"));
  EXPECT_THAT(fake.utterances, IsEmpty());
  EXPECT_THAT(fake.braille,
              ElementsAre(L"Sorry but I couldn't find any voices to use\r"
                          L"Please contact Orvanne"));
  EXPECT_THAT(fake.entries("buffer"), IsEmpty());
  EXPECT_TRUE(InOrder(fake.timeline,
                      {"messagebox Sorry but I couldn't find "
                       "any voices to use\\u13Please contact "
                       "Orvanne",
                       "release dx", "release ds", "release Voice", "close"}));
}

TEST_F(GameTest, VoiceDiscoveryEndsAtTheFirstFailingSelection) {
  fake.voices = 3;
  fake.failOn("select 1");
  fake.type(L"42\r");
  fake.key('N');
  playGame();
  EXPECT_EQ(form->voicecount, 1);
  EXPECT_TRUE(Consecutive(fake.timeline, {"select 0", "FAILED select 1",
                                          "buffer /games/wild.wav flags 224"}));
}

TEST_F(GameTest, AnEntryBeyondADoubleKeepsThePreviousValue) {
  fake.type(L"1e999\r");  // nothing before it: 0, too low
  fake.type(L"50\r");
  fake.type(L"1e999\r");  // still 50: too high
  fake.type(L"42\r");
  fake.key('N');
  playGame();
  EXPECT_THAT(fake.entries("speak0  sorry"),
              ElementsAre("speak0  sorry your guess was too low ",
                          "speak0  sorry your guess was too high ",
                          "speak0  sorry your guess was too high "));
  EXPECT_THAT(fake.entries("speak1  it took you"),
              ElementsAre("speak1  it took you  4 guesses"));
}

TEST_F(GameTest, StartUpIsNotGuarded) {
  fake.failOn("open device");
  EXPECT_THROW(form->Form_Load(), Failure);
  EXPECT_THAT(fake.entries("create voice"), IsEmpty());
}

TEST_F(GameTest, ARateThatCannotBeReadLeavesTheNormalRate) {
  fake.initialRate = 3;
  fake.failOn("read rate");
  fake.type(L"42\r");
  fake.key('N');
  playGame();
  EXPECT_TRUE(
      Consecutive(fake.timeline, {"FAILED read rate", "rate 0", "volume 95"}));
}

TEST_F(GameTest, TheRateReadAtStartUpIsKept) {
  fake.initialRate = 3;
  fake.type(L"42\r");
  fake.key('N');
  playGame();
  EXPECT_EQ(form->rate, 3);
  // Echoes are five steps faster than the kept rate.
  EXPECT_TRUE(
      Consecutive(fake.timeline, {"rate 8", "speak2 ", "speak1 4", "rate 3"}));
  EXPECT_THAT(fake.timeline, Not(Contains("rate 0")));
}

}  // namespace
}  // namespace pelliwick::testing
