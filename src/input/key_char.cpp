#include "input/key_char.h"

#include <array>

namespace pelliwick {
namespace {

// Windows-1252 from 0x80 to 0x9F; the five unassigned codes map to the C1
// control characters of the same value, as Windows converts them.
constexpr std::array<wchar_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Letters outside Latin-1's regular blocks that have a case partner in the
// same character set.
struct CasePair {
  wchar_t upper;
  wchar_t lower;
};
constexpr std::array<CasePair, 5> kOddPairs = {{{0x0160, 0x0161},
                                                {0x0152, 0x0153},
                                                {0x017D, 0x017E},
                                                {0x0178, 0x00FF},
                                                {0x0191, 0x0192}}};

wchar_t toLower(wchar_t c) {
  if ((c >= L'A' && c <= L'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
    return static_cast<wchar_t>(c + 0x20);
  }
  for (const CasePair& pair : kOddPairs) {
    if (c == pair.upper) return pair.lower;
  }
  return c;
}

wchar_t toUpper(wchar_t c) {
  if ((c >= L'a' && c <= L'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
    return static_cast<wchar_t>(c - 0x20);
  }
  for (const CasePair& pair : kOddPairs) {
    if (c == pair.lower) return pair.upper;
  }
  return c;
}

}  // namespace

std::wstring keyCharFor(int keyCode) {
  if (keyCode < 0 || keyCode > 255) return {};
  wchar_t c = static_cast<wchar_t>(keyCode);
  if (keyCode >= 0x80 && keyCode <= 0x9F) c = kHighControls[keyCode - 0x80];
  return std::wstring(1, toLower(c));
}

std::wstring upperCase(const std::wstring& text) {
  std::wstring result = text;
  for (wchar_t& c : result) c = toUpper(c);
  return result;
}

}  // namespace pelliwick
