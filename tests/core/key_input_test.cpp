// The key record, clk's two pumps and the spoken line entry.
#include "game_test_support.h"
#include "input/key_char.h"

namespace pelliwick::testing {
namespace {

using ::testing::ElementsAre;

TEST(KeyChar, IsTheCharacterOfTheCodeLowerCased) {
  EXPECT_EQ(keyCharFor('A'), L"a");
  EXPECT_EQ(keyCharFor('Z'), L"z");
  EXPECT_EQ(keyCharFor('5'), L"5");
  EXPECT_EQ(keyCharFor(32), L" ");
  EXPECT_EQ(keyCharFor(13), L"\r");
  EXPECT_EQ(keyCharFor(112), L"p");  // F1
  EXPECT_EQ(keyCharFor(115), L"s");  // F4
  EXPECT_EQ(keyCharFor(121), L"y");  // F10
  EXPECT_EQ(keyCharFor(38), L"&");   // Up
  EXPECT_EQ(keyCharFor(40), L"(");   // Down
  EXPECT_EQ(keyCharFor(45), L"-");   // Insert
  EXPECT_EQ(keyCharFor(46), L".");   // Delete
  EXPECT_EQ(keyCharFor(96), L"`");   // keypad 0
  EXPECT_EQ(keyCharFor(99), L"c");   // keypad 3
  EXPECT_EQ(keyCharFor(105), L"i");  // keypad 9
  EXPECT_EQ(keyCharFor(110), L"n");  // keypad decimal point
  EXPECT_EQ(keyCharFor(-1), L"");
  EXPECT_EQ(keyCharFor(256), L"");
}

TEST(KeyChar, CodesAbove127GiveWindows1252CharactersOutsideAscii) {
  EXPECT_EQ(keyCharFor(128), L"\u20AC");  // euro sign
  EXPECT_EQ(keyCharFor(138), L"\u0161");  // S caron, lower-cased
  EXPECT_EQ(keyCharFor(159), L"\u00FF");  // Y diaeresis, lower-cased
  EXPECT_EQ(keyCharFor(189), L"\u00BD");  // main-keyboard minus: one half
  EXPECT_EQ(keyCharFor(190), L"\u00BE");  // main-keyboard period
  EXPECT_EQ(keyCharFor(192), L"\u00E0");  // A grave, lower-cased
  EXPECT_EQ(keyCharFor(215), L"\u00D7");  // the multiplication sign stays
  EXPECT_EQ(keyCharFor(223), L"\u00DF");
  for (int code = 128; code <= 255; ++code) {
    const std::wstring c = keyCharFor(code);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_GE(static_cast<unsigned>(c[0]), 128u) << code;
    EXPECT_EQ(upperCase(c).size(), 1u);
  }
  EXPECT_EQ(upperCase(L"a\u00E0\u0161\u00FF5&"), L"A\u00C0\u0160\u01785&");
}

TEST_F(GameTest, ClkForgetsTheKeyCharOfAKeyArrivingInItsFirstPump) {
  startDevices();
  fake.key('A', When::AfterPumps, 1);
  form->clk();
  EXPECT_EQ(form->keycode, L"65");
  EXPECT_EQ(form->keychar, L"");

  fake.key('B', When::AfterPumps, 2);
  form->clk();
  EXPECT_EQ(form->keycode, L"66");
  EXPECT_EQ(form->keychar, L"b");
}

class LineEntryTest : public GameTest {
 protected:
  void SetUp() override { startDevices(); }

  std::vector<std::wstring> echoes() const {
    std::vector<std::wstring> found;
    for (const std::wstring& text : texts(SVSFlagsAsync)) {
      if (text != kPrompt) found.push_back(text);
    }
    return found;
  }
  int prompts() const {
    int count = 0;
    for (const std::wstring& text : texts(SVSFlagsAsync)) {
      count += text == kPrompt;
    }
    return count;
  }
};

TEST_F(LineEntryTest, EnterAtOnceLeavesTheAnswerEmpty) {
  form->answer = L"old";
  fake.key(13);
  form->getter(kPrompt);
  EXPECT_EQ(form->answer, L"");
  EXPECT_THAT(echoes(), ::testing::IsEmpty());
}

TEST_F(LineEntryTest, BackspaceSpeaksTheCharacterItRemoves) {
  fake.keys({8, '4', '2', 8, 13});  // the first Backspace finds nothing
  form->getter(kPrompt);
  EXPECT_THAT(echoes(), ElementsAre(L"4", L"2", L"2"));
  EXPECT_EQ(form->answer, L"4");
}

TEST_F(LineEntryTest, BackspaceRemovesAWholeWideCharacter) {
  fake.keys({'4', 233, 8, 13});
  form->getter(kPrompt);
  EXPECT_THAT(echoes(), ElementsAre(L"4", L"\u00E9", L"\u00E9"));
  EXPECT_EQ(form->answer, L"4");
}

TEST_F(LineEntryTest, ShiftUpperCasesTheNextKeyOnly) {
  fake.keys({16, 'A', 'B', 16, '5', 16, 16, 'C', 13});
  form->getter(kPrompt);
  EXPECT_THAT(echoes(), ElementsAre(L"A", L"b", L"5", L"C"));
  EXPECT_EQ(form->answer, L"Ab5C");
}

TEST_F(LineEntryTest, ShiftBeforeF1StillStandsAfterTheRestart) {
  fake.keys({'X', 16, 112, 'A', 13});
  form->getter(kPrompt);
  EXPECT_EQ(prompts(), 2);
  EXPECT_EQ(form->answer, L"A");
}

TEST_F(LineEntryTest, F1SpeaksThePromptAgainAndThrowsTheTextAway) {
  fake.keys({'4', '2', 112, '7', 13});
  form->getter(kPrompt);
  EXPECT_EQ(prompts(), 2);
  EXPECT_EQ(form->answer, L"7");
  // F1's own character is never echoed.
  EXPECT_THAT(echoes(), ElementsAre(L"4", L"2", L"7"));
}

TEST_F(LineEntryTest, EveryOtherKeyIsTypedAsItsCharacter) {
  fake.keys({38, 99, 45, '5', '4', 46, '5', 9, 27, 32, 13});
  form->getter(kPrompt);
  EXPECT_EQ(form->answer, L"&c-54.5\t\x1b ");
}

TEST_F(LineEntryTest, AKeyCutsThePromptOffBeforeItIsEchoed) {
  fake.keys({'4', 13});
  form->getter(kPrompt);
  EXPECT_TRUE(Consecutive(fake.timeline,
                          {"speak1 " + narrow(kPrompt), "key 52", "speak2 ",
                           "rate 5", "speak2 ", "speak1 4", "rate 0"}));
}

TEST_F(LineEntryTest, KeysPressedBeforeTheEntryStartedAreForgotten) {
  fake.key('9', When::AfterPumps, 1);  // lands in the entry's first clk
  fake.keys({'4', 13});
  form->getter(kPrompt);
  EXPECT_EQ(form->answer, L"4");
}

TEST_F(LineEntryTest, AHotKeyWithNoDialogComesBackAsItself) {
  form->hotKeys[0].dialog = nullptr;
  form->hotKeys[1].dialog = nullptr;
  fake.keys({17, 115, 13});
  form->getter(kPrompt);
  EXPECT_EQ(form->answer, L"\u0011s");
  EXPECT_EQ(prompts(), 1);
}

TEST_F(GameTest, APauseEndsOnceItsTimeHasPassed) {
  startDevices();
  const double start = fake.now();
  form->dy(0.3);
  EXPECT_GT(fake.now(), start + 0.3);
  EXPECT_LT(fake.now(), start + 0.3 + 0.011);
}

}  // namespace
}  // namespace pelliwick::testing
