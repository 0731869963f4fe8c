#include "platform/sdl/key_map.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/key_codes.h"

namespace pelliwick::sdl_window {
namespace {

struct KeyCase {
  const char* name;
  SDL_Keycode key;
  SDL_Scancode scancode;
  int code;
};

void expectCodes(const std::vector<KeyCase>& cases) {
  for (const KeyCase& c : cases) {
    EXPECT_EQ(virtualKeyCode(c.key, c.scancode), c.code) << c.name;
  }
}

TEST(KeyMap, LettersOnAUsLayout) {
  for (int i = 0; i < 26; ++i) {
    const auto scancode = static_cast<SDL_Scancode>(SDL_SCANCODE_A + i);
    EXPECT_EQ(virtualKeyCode(SDLK_a + i, scancode), 'A' + i)
        << static_cast<char>('a' + i);
  }
}

TEST(KeyMap, LettersFollowTheLayoutNotThePosition) {
  expectCodes({
      {"AZERTY a on the Q key", SDLK_a, SDL_SCANCODE_Q, 'A'},
      {"AZERTY q on the A key", SDLK_q, SDL_SCANCODE_A, 'Q'},
      {"AZERTY m on the ; key", SDLK_m, SDL_SCANCODE_SEMICOLON, 'M'},
      {"QWERTZ y on the Z key", SDLK_y, SDL_SCANCODE_Z, 'Y'},
      {"QWERTZ z on the Y key", SDLK_z, SDL_SCANCODE_Y, 'Z'},
      {"Dvorak n on the L key", SDLK_n, SDL_SCANCODE_L, 'N'},
  });
}

TEST(KeyMap, NonLatinLayoutsFallBackToThePosition) {
  expectCodes({
      {"Cyrillic letter on the Y key", 0x43d, SDL_SCANCODE_Y, 'Y'},
      {"Cyrillic letter on the N key", 0x442, SDL_SCANCODE_N, 'N'},
      {"Greek letter on the N key", 0x3bd, SDL_SCANCODE_N, 'N'},
  });
}

TEST(KeyMap, TopRowDigitsByPositionOnEveryLayout) {
  for (int i = 0; i < 9; ++i) {
    const auto scancode = static_cast<SDL_Scancode>(SDL_SCANCODE_1 + i);
    EXPECT_EQ(virtualKeyCode(SDLK_1 + i, scancode), '1' + i);
  }
  expectCodes({
      {"0", SDLK_0, SDL_SCANCODE_0, '0'},
      {"AZERTY & on the 1 key", SDLK_AMPERSAND, SDL_SCANCODE_1, '1'},
      {"AZERTY a-grave on the 0 key", 0xe0, SDL_SCANCODE_0, '0'},
      {"Czech e-caron on the 2 key", 0x11b, SDL_SCANCODE_2, '2'},
  });
}

TEST(KeyMap, FunctionKeysCountUpFromF1) {
  const int f1 = std::stoi(keys::F1);
  EXPECT_EQ(std::stoi(keys::F4), f1 + 3);
  for (int n = 1; n <= 24; ++n) {
    const auto scancode = static_cast<SDL_Scancode>(
        n <= 12 ? SDL_SCANCODE_F1 + n - 1 : SDL_SCANCODE_F13 + n - 13);
    EXPECT_EQ(virtualKeyCode(SDL_SCANCODE_TO_KEYCODE(scancode), scancode),
              f1 + n - 1)
        << "F" << n;
  }
}

TEST(KeyMap, KeypadByPositionWhateverNumLock) {
  for (int i = 0; i < 9; ++i) {
    const auto scancode = static_cast<SDL_Scancode>(SDL_SCANCODE_KP_1 + i);
    EXPECT_EQ(virtualKeyCode(SDLK_KP_1 + i, scancode), 97 + i);
  }
  expectCodes({
      {"keypad 0", SDLK_KP_0, SDL_SCANCODE_KP_0, 96},
      {"keypad 1, Num Lock off", SDLK_END, SDL_SCANCODE_KP_1, 97},
      {"keypad 8, Num Lock off", SDLK_UP, SDL_SCANCODE_KP_8, 104},
      {"keypad 0, Num Lock off", SDLK_INSERT, SDL_SCANCODE_KP_0, 96},
      {"keypad *", SDLK_KP_MULTIPLY, SDL_SCANCODE_KP_MULTIPLY, 106},
      {"keypad +", SDLK_KP_PLUS, SDL_SCANCODE_KP_PLUS, 107},
      {"keypad -", SDLK_KP_MINUS, SDL_SCANCODE_KP_MINUS, 109},
      {"keypad .", SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD, 110},
      {"keypad ., Num Lock off", SDLK_DELETE, SDL_SCANCODE_KP_PERIOD, 110},
      {"keypad /", SDLK_KP_DIVIDE, SDL_SCANCODE_KP_DIVIDE, 111},
      {"keypad Enter", SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, 13},
      {"Num Lock", SDLK_NUMLOCKCLEAR, SDL_SCANCODE_NUMLOCKCLEAR, 144},
  });
}

// The codes the game compares, from both keys where a keyboard has two.
TEST(KeyMap, TheGamesKeysOnEitherSide) {
  const struct {
    const wchar_t* code;
    std::vector<SDL_Scancode> keys;
  } cases[] = {
      {keys::Backspace, {SDL_SCANCODE_BACKSPACE}},
      {keys::Enter, {SDL_SCANCODE_RETURN, SDL_SCANCODE_KP_ENTER}},
      {keys::Shift, {SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RSHIFT}},
      {keys::Ctrl, {SDL_SCANCODE_LCTRL, SDL_SCANCODE_RCTRL}},
      {keys::Up, {SDL_SCANCODE_UP}},
      {keys::Down, {SDL_SCANCODE_DOWN}},
  };
  for (const auto& c : cases) {
    for (SDL_Scancode scancode : c.keys) {
      EXPECT_EQ(virtualKeyCode(SDL_SCANCODE_TO_KEYCODE(scancode), scancode),
                std::stoi(c.code))
          << SDL_GetScancodeName(scancode);
    }
  }
}

// Only a letter or a punctuation character moves a key off the code of
// its position: whatever else the layout sends, the position decides.
TEST(KeyMap, OtherKeysymsLeaveTheCodeToThePosition) {
  const SDL_Keycode others[] = {SDLK_UNKNOWN, SDLK_DOLLAR, SDLK_F5, 0x43d,
                                0x20ac};
  for (int i = 0; i < SDL_NUM_SCANCODES; ++i) {
    const auto scancode = static_cast<SDL_Scancode>(i);
    const int code =
        virtualKeyCode(SDL_SCANCODE_TO_KEYCODE(scancode), scancode);
    for (SDL_Keycode key : others) {
      EXPECT_EQ(virtualKeyCode(key, scancode), code)
          << "scancode " << i << ", keysym " << key;
    }
  }
}

// Two keys share a code only where one key stands on both sides of the
// keyboard or has a twin on the keypad; a slip in the map shows as another
// pair.
TEST(KeyMap, NoTwoPositionsShareACodeButTwins) {
  const std::set<std::set<int>> twins = {
      {SDL_SCANCODE_LSHIFT, SDL_SCANCODE_RSHIFT},
      {SDL_SCANCODE_LCTRL, SDL_SCANCODE_RCTRL},
      {SDL_SCANCODE_LALT, SDL_SCANCODE_RALT},
      {SDL_SCANCODE_RETURN, SDL_SCANCODE_KP_ENTER},
      {SDL_SCANCODE_APPLICATION, SDL_SCANCODE_MENU},
  };
  std::map<int, std::set<int>> positions;
  for (int i = 0; i < SDL_NUM_SCANCODES; ++i) {
    const auto scancode = static_cast<SDL_Scancode>(i);
    const int code = virtualKeyCode(SDLK_UNKNOWN, scancode);
    if (code != 0) positions[code].insert(i);
  }
  for (const auto& [code, scancodes] : positions) {
    if (scancodes.size() > 1) {
      EXPECT_TRUE(twins.contains(scancodes)) << "code " << code;
    }
  }
  EXPECT_GT(positions.size(), 100u);
}

TEST(KeyMap, PunctuationByUsPosition) {
  expectCodes({
      {";", SDLK_SEMICOLON, SDL_SCANCODE_SEMICOLON, 186},
      {"=", SDLK_EQUALS, SDL_SCANCODE_EQUALS, 187},
      {",", SDLK_COMMA, SDL_SCANCODE_COMMA, 188},
      {"-", SDLK_MINUS, SDL_SCANCODE_MINUS, 189},
      {".", SDLK_PERIOD, SDL_SCANCODE_PERIOD, 190},
      {"/", SDLK_SLASH, SDL_SCANCODE_SLASH, 191},
      {"`", SDLK_BACKQUOTE, SDL_SCANCODE_GRAVE, 192},
      {"[", SDLK_LEFTBRACKET, SDL_SCANCODE_LEFTBRACKET, 219},
      {"\\", SDLK_BACKSLASH, SDL_SCANCODE_BACKSLASH, 220},
      {"]", SDLK_RIGHTBRACKET, SDL_SCANCODE_RIGHTBRACKET, 221},
      {"'", SDLK_QUOTE, SDL_SCANCODE_APOSTROPHE, 222},
      {"German o-umlaut on the ; key", 0xf6, SDL_SCANCODE_SEMICOLON, 186},
      {"German sharp s on the - key", 0xdf, SDL_SCANCODE_MINUS, 189},
  });
}

TEST(KeyMap, PunctuationByTheCharacterItGivesOnTheLayout) {
  expectCodes({
      {"Dvorak ' on the Q key", SDLK_QUOTE, SDL_SCANCODE_Q, 222},
      {"Dvorak , on the W key", SDLK_COMMA, SDL_SCANCODE_W, 188},
      {"Dvorak . on the E key", SDLK_PERIOD, SDL_SCANCODE_E, 190},
      {"Dvorak ; on the Z key", SDLK_SEMICOLON, SDL_SCANCODE_Z, 186},
      {"Dvorak [ on the - key", SDLK_LEFTBRACKET, SDL_SCANCODE_MINUS, 219},
      {"Dvorak / on the [ key", SDLK_SLASH, SDL_SCANCODE_LEFTBRACKET, 191},
      {"Dvorak - on the ' key", SDLK_MINUS, SDL_SCANCODE_APOSTROPHE, 189},
      {"AZERTY , on the M key", SDLK_COMMA, SDL_SCANCODE_M, 188},
      {"AZERTY ; on the , key", SDLK_SEMICOLON, SDL_SCANCODE_COMMA, 186},
      {"German + on the ] key", SDLK_PLUS, SDL_SCANCODE_RIGHTBRACKET, 187},
      {"German - on the / key", SDLK_MINUS, SDL_SCANCODE_SLASH, 189},
  });
}

TEST(KeyMap, OtherCharactersFallBackToTheUsPosition) {
  expectCodes({
      {"AZERTY : on the . key", SDLK_COLON, SDL_SCANCODE_PERIOD, 190},
      {"AZERTY ! on the / key", SDLK_EXCLAIM, SDL_SCANCODE_SLASH, 191},
      {"AZERTY ) on the - key", SDLK_RIGHTPAREN, SDL_SCANCODE_MINUS, 189},
      {"AZERTY u-grave on the ' key", 0xf9, SDL_SCANCODE_APOSTROPHE, 222},
      {"a symbol on a letter key", SDLK_DOLLAR, SDL_SCANCODE_P, 'P'},
      {"a letter-less keysym on a letter key", SDLK_UNKNOWN, SDL_SCANCODE_K,
       'K'},
      {"ISO key left of Z, German <", SDLK_LESS, SDL_SCANCODE_NONUSBACKSLASH,
       226},
      {"ISO key left of Z, US layout", SDLK_BACKSLASH,
       SDL_SCANCODE_NONUSBACKSLASH, 220},
      {"non-Latin symbol on the ISO key", 0x20ac, SDL_SCANCODE_NONUSBACKSLASH,
       226},
      {"keypad =", SDLK_KP_EQUALS, SDL_SCANCODE_KP_EQUALS, 146},
      {"keypad * whatever its keysym", SDLK_ASTERISK, SDL_SCANCODE_KP_MULTIPLY,
       106},
  });
}

TEST(KeyMap, KeysWithoutACodeAreDropped) {
  expectCodes({
      {"unknown", SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN, 0},
      {"volume up", SDLK_VOLUMEUP, SDL_SCANCODE_VOLUMEUP, 0},
      {"a symbol on a key without a position", SDLK_DOLLAR,
       SDL_SCANCODE_UNKNOWN, 0},
  });
}

}  // namespace
}  // namespace pelliwick::sdl_window
