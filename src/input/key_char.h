#pragma once

#include <string>

namespace pelliwick {

// The character a key code stands for: the Windows-1252 character with that
// code, lower-cased. Letters give "a" to "z" with or without Shift; F1 (112)
// gives "p", the keypad decimal point (110) "n", and so on. Codes outside
// 0 to 255 give an empty text.
std::wstring keyCharFor(int keyCode);

// The upper-case form of a text, as the line entry applies it after Shift.
std::wstring upperCase(const std::wstring& text);

}  // namespace pelliwick
