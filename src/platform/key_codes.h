#pragma once

namespace pelliwick::keys {

// The Windows virtual-key codes every window delivers (window.h) and the
// game compares, written as `keycode` holds them: decimal text.
inline constexpr const wchar_t* Backspace = L"8";
inline constexpr const wchar_t* Enter = L"13";
inline constexpr const wchar_t* Shift = L"16";
inline constexpr const wchar_t* Ctrl = L"17";
inline constexpr const wchar_t* Up = L"38";
inline constexpr const wchar_t* Down = L"40";
// Also the mark a hot-key dialog leaves: "say your prompt again".
inline constexpr const wchar_t* F1 = L"112";
inline constexpr const wchar_t* F4 = L"115";

}  // namespace pelliwick::keys
