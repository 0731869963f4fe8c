#include "game/number_reading.h"

#include <charconv>
#include <cstdint>
#include <string>

#include "platform/failure.h"

namespace pelliwick {
namespace {

bool isIgnored(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n'; }

bool isDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

int digitValue(wchar_t c, int radix) {
  int value = -1;
  if (isDigit(c)) value = c - L'0';
  if (c >= L'a' && c <= L'f') value = c - L'a' + 10;
  if (c >= L'A' && c <= L'F') value = c - L'A' + 10;
  return value < radix ? value : -1;
}

[[noreturn]] void overflow() {
  throw Failure("the number is too large to read");
}

// "&h..." and "&o...": whole numbers that wrap into 16 or 32 bits.
double readRadixNumber(const std::wstring& text, int radix) {
  std::uint64_t value = 0;
  for (wchar_t c : text) {
    const int digit = digitValue(c, radix);
    if (digit < 0) break;
    value = value * static_cast<std::uint64_t>(radix) +
            static_cast<std::uint64_t>(digit);
    if (value > 0xFFFFFFFFu) overflow();
  }
  if (value <= 0xFFFFu) return static_cast<std::int16_t>(value);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

}  // namespace

double readNumber(const std::wstring& typed) {
  std::wstring text;
  for (wchar_t c : typed) {
    if (!isIgnored(c)) text += c;
  }

  if (text.size() >= 2 && text[0] == L'&') {
    if (text[1] == L'h' || text[1] == L'H')
      return readRadixNumber(text.substr(2), 16);
    if (text[1] == L'o' || text[1] == L'O')
      return readRadixNumber(text.substr(2), 8);
    return 0;
  }

  // Gather the longest prefix that forms a number, in plain ASCII.
  std::string number;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    if (text[i] == L'-') number += '-';
    ++i;
  }
  bool anyDigit = false;
  // The power of ten of the first significant digit, plus one: 2 for "42",
  // 0 for "0.5", -2 for "0.005". Tells a number too large from one too
  // small when the conversion is out of range.
  long long magnitude = 0;
  bool significant = false;
  for (; i < text.size() && isDigit(text[i]); ++i) {
    anyDigit = true;
    significant = significant || text[i] != L'0';
    if (significant) ++magnitude;
    number += static_cast<char>(text[i]);
  }
  if (i < text.size() && text[i] == L'.') {
    number += '.';
    for (++i; i < text.size() && isDigit(text[i]); ++i) {
      anyDigit = true;
      if (!significant && text[i] == L'0') --magnitude;
      significant = significant || text[i] != L'0';
      number += static_cast<char>(text[i]);
    }
  }
  if (!anyDigit) return 0;

  long long exponent = 0;
  if (i < text.size() &&
      std::wstring(L"eEdD").find(text[i]) != std::wstring::npos) {
    std::size_t j = i + 1;
    bool negative = false;
    if (j < text.size() && (text[j] == L'+' || text[j] == L'-')) {
      negative = text[j] == L'-';
      ++j;
    }
    if (j < text.size() && isDigit(text[j])) {
      for (; j < text.size() && isDigit(text[j]); ++j) {
        // Saturate: an exponent this long is out of range either way.
        if (exponent < 100000) exponent = exponent * 10 + (text[j] - L'0');
      }
      if (negative) exponent = -exponent;
      number += 'e' + std::to_string(exponent);
    }
  }

  double value = 0;
  const auto [end, error] =
      std::from_chars(number.data(), number.data() + number.size(), value);
  (void)end;
  if (error == std::errc::result_out_of_range) {
    // Either too large, or so small that it reads as zero.
    if (magnitude + exponent > 0) overflow();
    return 0;
  }
  return value;
}

}  // namespace pelliwick
