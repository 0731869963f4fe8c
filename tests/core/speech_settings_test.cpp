// F4, the voice chooser, and Ctrl, the speech-rate adjuster.
#include "game_test_support.h"
#include "platform/failure.h"

namespace pelliwick::testing {
namespace {

using ::testing::ElementsAre;

constexpr const wchar_t* kQuestion = L"do you want to use this voice";
constexpr const wchar_t* kInstructions =
    L"to adjust the speech rate, use the arrow keys and then press enter";
constexpr int kUp = 38, kDown = 40, kEnter = 13, kCtrl = 17, kF4 = 115,
              kShift = 16;

class VoiceChooserTest : public GameTest {
 protected:
  void SetUp() override {
    fake.voices = 3;
    startDevices();
  }
  // The voices the question was asked in, in order.
  std::vector<int> questionVoices() const {
    std::vector<int> voices;
    for (const Utterance& u : fake.utterances) {
      if (u.text == kQuestion) voices.push_back(u.voice);
    }
    return voices;
  }
  void expectFinished() {
    EXPECT_EQ(form->keycode, L"112");
    EXPECT_EQ(form->keychar, L"");
  }
};

TEST_F(VoiceChooserTest, NWalksThroughTheVoicesAndWrapsToTheFirst) {
  fake.keys({'N', 'N', 'N', 'Y'});
  form->changevoice();
  EXPECT_THAT(questionVoices(), ElementsAre(0, 1, 2, 0));
  EXPECT_EQ(form->voicenum, 0);
  EXPECT_THAT(fake.entries("select"),
              ElementsAre("select 1", "select 2", "select 0"));
  expectFinished();
}

TEST_F(VoiceChooserTest, TheWalkPassesOverVoicesThatAreGone) {
  // A speech server's voices, the one in use included, while it is gone:
  // each would sound as another voice of the walk.
  // The one in use too: it sounds as the next one there is.
  fake.unavailableVoices = {0};
  fake.keys({'N', 'N', 'N', 'Y'});
  form->changevoice();
  EXPECT_THAT(questionVoices(), ElementsAre(1, 2, 1, 2));
  EXPECT_EQ(form->voicenum, 2);
  expectFinished();
}

TEST_F(VoiceChooserTest, UpThenEnterKeepsTheVoiceAndEnterAloneMovesOn) {
  fake.keys({kEnter, kUp, kEnter});
  form->changevoice();
  EXPECT_EQ(form->voicenum, 1);
  EXPECT_EQ(fake.selectedVoice, 1);
  EXPECT_THAT(texts(SVSFlagsAsync),
              ElementsAre(kQuestion, L" no ", kQuestion, L" no ", L" yes "));
  expectFinished();
}

TEST_F(VoiceChooserTest, UpOrDownFlipTheChoice) {
  fake.keys({kUp, kDown, kUp, 'Y'});
  form->changevoice();
  EXPECT_THAT(texts(SVSFlagsAsync),
              ElementsAre(kQuestion, L" no ", L" yes ", L" no ", L" yes "));
  EXPECT_EQ(form->voicenum, 0);
}

TEST_F(VoiceChooserTest, AnyOtherKeyAsksAgainWithTheChoiceBackAtNo) {
  // Shift first asks again; the Y that follows is still a "y".
  fake.keys({kUp, kShift, kEnter, kShift, 'Y'});
  form->changevoice();
  EXPECT_THAT(texts(SVSFlagsAsync),
              ElementsAre(kQuestion, L" no ", L" yes ", kQuestion, L" no ",
                          kQuestion, L" no ", kQuestion, L" no "));
  EXPECT_EQ(form->voicenum, 1);
  expectFinished();
}

TEST_F(VoiceChooserTest, ANestedChooserLeavesTheOuterOneAskingInTheNewVoice) {
  fake.keys({kF4, 'N', 'Y', 'Y'});
  form->changevoice();
  EXPECT_THAT(questionVoices(), ElementsAre(0, 0, 1, 1));
  EXPECT_EQ(form->voicenum, 1);
  expectFinished();
}

TEST_F(VoiceChooserTest, HoldingF4NestsNoDeeperThanEightChoosers) {
  // 21 key-downs of F4: seven open nested choosers, the other fourteen only
  // ask again. One y per chooser then leads back out.
  fake.hold(kF4, 20);
  for (int chooser = 0; chooser < 8; ++chooser) fake.key('Y');
  EXPECT_NO_THROW(form->changevoice());
  EXPECT_TRUE(fake.scriptDone());
  EXPECT_FALSE(fake.ranOutOfKeys());
  expectFinished();
  // One question per chooser opened, per F4 refused and per return.
  EXPECT_EQ(questionVoices().size(), 8u + 14u + 7u);
}

TEST_F(VoiceChooserTest, ChangingTheVoiceLeavesTheRateAlone) {
  form->rate = 4;
  fake.keys({'N', 'Y'});
  form->changevoice();
  EXPECT_EQ(form->rate, 4);
  EXPECT_THAT(fake.entries("rate"), ::testing::IsEmpty());
}

TEST_F(GameTest, WithOneVoiceTheChooserSaysNothingAndTheCallerAsksAgain) {
  startDevices();
  fake.keys({'4', kF4, '7', kEnter});
  form->getter(kPrompt);
  EXPECT_THAT(texts(SVSFlagsAsync), ElementsAre(kPrompt, L"4", kPrompt, L"7"));
  EXPECT_EQ(form->answer, L"7");
}

TEST_F(VoiceChooserTest, AVoiceThatCannotBeSelectedAbandonsTheChooser) {
  fake.failOn("select 1");
  fake.keys({'N'});
  EXPECT_THROW(form->changevoice(), Failure);
  EXPECT_EQ(form->voicenum, 1);
  EXPECT_EQ(fake.selectedVoice, 0);
}

TEST_F(GameTest, AFailingDialogAbandonsTheEntryAndTheGameGoesOn) {
  fake.voices = 2;
  fake.failOn("select 1", 1, 1);  // not at discovery, but in the chooser
  fake.type(L"5");
  fake.key(kF4);
  fake.key('N');       // the chooser fails here: "5" is judged
  fake.type(L"42\r");  // the next prompt
  fake.key('N');
  playGame();
  EXPECT_EQ(form->voicecount, 2);
  EXPECT_EQ(form->voicenum, 1);
  EXPECT_EQ(fake.selectedVoice, 0);
  EXPECT_THAT(fake.entries("speak0  sorry"),
              ElementsAre("speak0  sorry your guess was too low "));
}

TEST_F(GameTest, BothDialogsWorkAtThePlayAgainQuestion) {
  fake.voices = 2;
  fake.type(L"42\r");
  fake.keys({kF4, 'N', 'Y'});       // the second voice
  fake.keys({kCtrl, kUp, kEnter});  // one step faster
  fake.key('N');
  playGame();
  EXPECT_EQ(fake.entries("speak1  do you want to play again? ").size(), 3u);
  EXPECT_EQ(fake.utterances.back().voice, 1);
  EXPECT_EQ(fake.utterances.back().rate, 1);
  EXPECT_EQ(fake.utterances.back().text, L"Exiting program");
}

class RateAdjusterTest : public GameTest {
 protected:
  void SetUp() override { startDevices(); }
};

TEST_F(RateAdjusterTest, EachUpSilencesAndSaysTheNewRate) {
  fake.keys({kUp, kUp, kEnter});
  form->adjrate();
  EXPECT_EQ(form->rate, 2);
  EXPECT_THAT(fake.timeline,
              ElementsAre("rate 0", "speak1 " + narrow(kInstructions),
                          "speak1 0", "key 38", "rate 1", "speak2 ", "speak1 1",
                          "key 38", "rate 2", "speak2 ", "speak1 2", "key 13"));
  EXPECT_EQ(form->keycode, L"112");
  EXPECT_EQ(form->keychar, L"");
}

TEST_F(RateAdjusterTest, TheRateIsSpokenAsPlainDecimalText) {
  fake.keys({kDown, kDown, kEnter});
  form->adjrate();
  EXPECT_THAT(texts(SVSFlagsAsync),
              ElementsAre(kInstructions, L"0", L"-1", L"-2"));
}

TEST_F(RateAdjusterTest, AnyOtherKeyQueuesTheInstructionsAgain) {
  fake.keys({kF4, kCtrl, kEnter});
  form->adjrate();
  EXPECT_THAT(texts(SVSFlagsAsync),
              ElementsAre(kInstructions, L"0", kInstructions, L"0",
                          kInstructions, L"0"));
  EXPECT_THAT(texts(SVSFPurgeBeforeSpeak), ::testing::IsEmpty());
}

TEST_F(GameTest, PromptsAndEchoesFollowTheAdjustedRate) {
  startDevices();
  fake.keys({'9', kCtrl, kUp, kUp, kEnter, '4', kEnter});
  form->getter(kPrompt);
  EXPECT_EQ(form->answer, L"4");
  // The typed "9" is gone; the repeated prompt is spoken at rate 2 and
  // the echo at rate 7.
  std::vector<std::pair<std::wstring, int>> said;
  for (const Utterance& u : fake.utterances) {
    if (u.flags == SVSFlagsAsync) said.emplace_back(u.text, u.rate);
  }
  EXPECT_THAT(said, ElementsAre(std::pair{std::wstring(kPrompt), 0},
                                std::pair{std::wstring(L"9"), 5},
                                std::pair{std::wstring(kInstructions), 0},
                                std::pair{std::wstring(L"0"), 0},
                                std::pair{std::wstring(L"1"), 1},
                                std::pair{std::wstring(L"2"), 2},
                                std::pair{std::wstring(kPrompt), 2},
                                std::pair{std::wstring(L"4"), 7}));
  EXPECT_EQ(fake.currentRate, 2);
}

TEST_F(GameTest, CtrlThenEnterQueuesThePromptBehindTheInstructions) {
  startDevices();
  fake.keys({kCtrl, kEnter, '4', kEnter});
  form->getter(kPrompt);
  EXPECT_EQ(form->rate, 0);
  // No purge between the instructions and the repeated prompt.
  EXPECT_TRUE(Consecutive(
      fake.timeline, {"speak1 " + narrow(kInstructions), "speak1 0", "key 13",
                      "speak1 " + narrow(kPrompt), "key 52", "speak2 "}));
}

TEST_F(GameTest, AHeldCtrlQueuesTheInstructionsOnEveryRepeat) {
  startDevices();
  fake.hold(kCtrl, 3);
  fake.keys({kEnter, kEnter});
  form->getter(kPrompt);
  int instructions = 0;
  for (const std::wstring& text : texts(SVSFlagsAsync)) {
    instructions += text == kInstructions;
  }
  EXPECT_EQ(instructions, 4);
}

TEST_F(GameTest, AnEngineRefusingARateAbandonsTheAdjusterWithTheValueKept) {
  startDevices();
  fake.failOn("rate 1");
  fake.keys({kUp});
  EXPECT_THROW(form->adjrate(), Failure);
  EXPECT_EQ(form->rate, 1);
}

}  // namespace
}  // namespace pelliwick::testing
