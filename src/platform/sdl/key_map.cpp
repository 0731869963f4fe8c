#include "platform/sdl/key_map.h"

namespace pelliwick::sdl_window {

namespace {

bool isLetterScancode(SDL_Scancode scancode) {
  return scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z;
}

// Keys whose code depends on the position only.
int codeForNamedKey(SDL_Scancode scancode) {
  if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12) {
    return 112 + (scancode - SDL_SCANCODE_F1);
  }
  if (scancode >= SDL_SCANCODE_F13 && scancode <= SDL_SCANCODE_F24) {
    return 124 + (scancode - SDL_SCANCODE_F13);
  }
  if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_9) {
    return 97 + (scancode - SDL_SCANCODE_KP_1);
  }
  switch (scancode) {
    case SDL_SCANCODE_BACKSPACE:
      return 8;
    case SDL_SCANCODE_TAB:
      return 9;
    case SDL_SCANCODE_RETURN:
    case SDL_SCANCODE_KP_ENTER:
      return 13;
    case SDL_SCANCODE_LSHIFT:
    case SDL_SCANCODE_RSHIFT:
      return 16;
    case SDL_SCANCODE_LCTRL:
    case SDL_SCANCODE_RCTRL:
      return 17;
    case SDL_SCANCODE_LALT:
    case SDL_SCANCODE_RALT:
      return 18;
    case SDL_SCANCODE_PAUSE:
      return 19;
    case SDL_SCANCODE_CAPSLOCK:
      return 20;
    case SDL_SCANCODE_ESCAPE:
      return 27;
    case SDL_SCANCODE_SPACE:
      return 32;
    case SDL_SCANCODE_PAGEUP:
      return 33;
    case SDL_SCANCODE_PAGEDOWN:
      return 34;
    case SDL_SCANCODE_END:
      return 35;
    case SDL_SCANCODE_HOME:
      return 36;
    case SDL_SCANCODE_LEFT:
      return 37;
    case SDL_SCANCODE_UP:
      return 38;
    case SDL_SCANCODE_RIGHT:
      return 39;
    case SDL_SCANCODE_DOWN:
      return 40;
    case SDL_SCANCODE_PRINTSCREEN:
      return 44;
    case SDL_SCANCODE_INSERT:
      return 45;
    case SDL_SCANCODE_DELETE:
      return 46;
    case SDL_SCANCODE_LGUI:
      return 91;
    case SDL_SCANCODE_RGUI:
      return 92;
    case SDL_SCANCODE_APPLICATION:
    case SDL_SCANCODE_MENU:
      return 93;
    case SDL_SCANCODE_KP_0:
      return 96;
    case SDL_SCANCODE_KP_MULTIPLY:
      return 106;
    case SDL_SCANCODE_KP_PLUS:
      return 107;
    case SDL_SCANCODE_KP_MINUS:
      return 109;
    case SDL_SCANCODE_KP_PERIOD:
      return 110;
    case SDL_SCANCODE_KP_DIVIDE:
      return 111;
    case SDL_SCANCODE_NUMLOCKCLEAR:
      return 144;
    case SDL_SCANCODE_SCROLLLOCK:
      return 145;
    case SDL_SCANCODE_KP_EQUALS:
      return 146;
    default:
      return 0;
  }
}

// The punctuation keys where the US layout has them.
int codeForUsPunctuationPosition(SDL_Scancode scancode) {
  switch (scancode) {
    case SDL_SCANCODE_SEMICOLON:
      return 186;
    case SDL_SCANCODE_EQUALS:
      return 187;
    case SDL_SCANCODE_COMMA:
      return 188;
    case SDL_SCANCODE_MINUS:
      return 189;
    case SDL_SCANCODE_PERIOD:
      return 190;
    case SDL_SCANCODE_SLASH:
      return 191;
    case SDL_SCANCODE_GRAVE:
      return 192;
    case SDL_SCANCODE_LEFTBRACKET:
      return 219;
    case SDL_SCANCODE_BACKSLASH:
      return 220;
    case SDL_SCANCODE_RIGHTBRACKET:
      return 221;
    case SDL_SCANCODE_APOSTROPHE:
      return 222;
    // The extra key beside the left Shift of European keyboards.
    case SDL_SCANCODE_NONUSBACKSLASH:
      return 226;
    default:
      return 0;
  }
}

// A punctuation key is named by the character it gives on the current
// layout, where a code stands for that character on every layout (+ , - .)
// or on the US one; other characters leave the key to its position.
int codeForPunctuation(SDL_Keycode key) {
  switch (key) {
    case SDLK_SEMICOLON:
      return 186;
    case SDLK_EQUALS:
    case SDLK_PLUS:
      return 187;
    case SDLK_COMMA:
      return 188;
    case SDLK_MINUS:
      return 189;
    case SDLK_PERIOD:
      return 190;
    case SDLK_SLASH:
      return 191;
    case SDLK_BACKQUOTE:
      return 192;
    case SDLK_LEFTBRACKET:
      return 219;
    case SDLK_BACKSLASH:
      return 220;
    case SDLK_RIGHTBRACKET:
      return 221;
    case SDLK_QUOTE:
      return 222;
    default:
      return 0;
  }
}

}  // namespace

int virtualKeyCode(SDL_Keycode key, SDL_Scancode scancode) {
  // The top row gives digits on every layout (AZERTY needs Shift for them,
  // but the game only wants to know which key it was).
  if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9) {
    return '1' + (scancode - SDL_SCANCODE_1);
  }
  if (scancode == SDL_SCANCODE_0) return '0';
  if (key >= SDLK_a && key <= SDLK_z) return 'A' + (key - SDLK_a);
  if (const int code = codeForNamedKey(scancode); code != 0) return code;
  if (const int code = codeForPunctuation(key); code != 0) return code;
  if (const int code = codeForUsPunctuationPosition(scancode); code != 0) {
    return code;
  }
  // The US position names the rest: a punctuation key where the US layout
  // has a letter, or a layout's own letter (Cyrillic, Greek), so that y and
  // n keep working there.
  if (isLetterScancode(scancode)) return 'A' + (scancode - SDL_SCANCODE_A);
  return 0;
}

}  // namespace pelliwick::sdl_window
