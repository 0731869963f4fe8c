// What the game hands to the braille display, over the test doubles.
#include "game_test_support.h"

namespace pelliwick::testing {
namespace {

using ::testing::ElementsAre;

TEST_F(GameTest, TheDisplayShowsEachSpokenTextAndTheAnswerAsTyped) {
  fake.draws = {0.41};
  fake.type(L"50");
  fake.key(8);  // Backspace
  fake.key(8);
  fake.key(8);  // on an empty answer: nothing changes
  fake.type(L"7\r");
  fake.type(L"42\r");
  fake.key('N');
  playGame();

  const std::wstring prompt = kPrompt;
  EXPECT_THAT(
      fake.braille,
      ElementsAre(L" Pelliwick By Orvanne ", prompt, prompt + L"[5]",
                  prompt + L"[50]", prompt + L"[5]", prompt + L"[]",
                  prompt + L"[7]", L" sorry your guess was too low ", prompt,
                  prompt + L"[4]", prompt + L"[42]", L" Yes! you got it ",
                  L" the number was  42", L" it took you  2 guesses",
                  // Queued behind it without a purge: shown together.
                  L" it took you  2 guesses  do you want to play again? ",
                  L" it took you  2 guesses  do you want to play again?   "
                  L"press y or n ",
                  L"Thank you for playing Pelliwick By Orvanne",
                  L"Exiting program"));
}

TEST_F(GameTest, DialogTextsJoinUntilAKeyPurgesThem) {
  startDevices();
  fake.keys({17, 38, 13});  // Ctrl, Up, Enter
  fake.key(13);             // ends the entry
  form->getter(kPrompt);

  const std::wstring instructions =
      L"to adjust the speech rate, use the arrow keys and then press enter";
  EXPECT_THAT(fake.braille,
              ElementsAre(kPrompt, instructions, instructions + L" 0", L"1",
                          // The prompt asked again queues behind the rate.
                          L"1 " + std::wstring(kPrompt)));
}

}  // namespace
}  // namespace pelliwick::testing
