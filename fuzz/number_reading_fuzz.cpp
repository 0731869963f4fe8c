// The reading of a typed answer against a plain model of its rules, written
// apart from the real one: any difference in value, or in whether the
// reading fails, stops the run.
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "game/number_reading.h"
#include "platform/failure.h"

namespace {

using pelliwick::Failure;
using pelliwick::readNumber;

// Bytes below 0x80 are themselves; the others stand for characters beyond
// ASCII, which can be typed (keys 128 to 255 give Windows-1252 characters).
std::wstring typedText(const std::uint8_t* data, std::size_t size) {
  std::wstring text;
  for (std::size_t i = 0; i < size; ++i) {
    text += data[i] < 0x80 ? static_cast<wchar_t>(data[i])
                           : static_cast<wchar_t>(0x100 + data[i]);
  }
  return text;
}

bool digit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// nullopt stands for "too large to read".
using Reading = std::optional<double>;

Reading radix(const std::wstring& digits, int base) {
  unsigned long long value = 0;
  for (wchar_t c : digits) {
    int d = -1;
    if (digit(c)) d = c - L'0';
    if (base == 16 && c >= L'a' && c <= L'f') d = c - L'a' + 10;
    if (base == 16 && c >= L'A' && c <= L'F') d = c - L'A' + 10;
    if (d < 0 || d >= base) break;
    value = value * base + d;
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  // Sixteen bits when it fits, else thirty-two, both signed.
  if (value <= 0xFFFF) {
    return value >= 0x8000 ? static_cast<double>(value) - 0x10000
                           : static_cast<double>(value);
  }
  return value >= 0x80000000ull ? static_cast<double>(value) - 0x100000000
                                : static_cast<double>(value);
}

Reading model(const std::wstring& typed) {
  std::wstring s;
  for (wchar_t c : typed) {
    if (c != L' ' && c != L'\t' && c != L'\n') s += c;
  }
  if (s.size() >= 2 && s[0] == L'&') {
    if (s[1] == L'h' || s[1] == L'H') return radix(s.substr(2), 16);
    if (s[1] == L'o' || s[1] == L'O') return radix(s.substr(2), 8);
    return 0.0;
  }
  // sign? digits* (. digits*)? with at least one digit, then an optional
  // exponent: e, E, d or D, sign?, digits+.
  std::string ascii;
  std::size_t i = 0;
  if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) ascii += char(s[i++]);
  std::size_t digits = 0;
  while (i < s.size() && digit(s[i])) ascii += char(s[i++]), ++digits;
  if (i < s.size() && s[i] == L'.') {
    ascii += char(s[i++]);
    while (i < s.size() && digit(s[i])) ascii += char(s[i++]), ++digits;
  }
  if (digits == 0) return 0.0;
  if (i < s.size() && std::wstring(L"eEdD").find(s[i]) != std::wstring::npos) {
    std::size_t j = i + 1;
    std::string exponent = "e";
    if (j < s.size() && (s[j] == L'+' || s[j] == L'-'))
      exponent += char(s[j++]);
    if (j < s.size() && digit(s[j])) {
      while (j < s.size() && digit(s[j])) exponent += char(s[j++]);
      ascii += exponent;
    }
  }
  errno = 0;
  const double value = std::strtod(ascii.c_str(), nullptr);
  // Too small is no failure: the nearest double, subnormal or zero.
  if (errno == ERANGE && std::isinf(value)) return std::nullopt;
  return value;
}

std::string shown(const Reading& r) {
  if (!r) return "too large";
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", *r);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::wstring text = typedText(data, size);
  Reading real;
  try {
    real = readNumber(text);
  } catch (const Failure&) {
    real = std::nullopt;
  }
  const Reading expected = model(text);
  // Both are correctly rounded, so the values must be equal; -0 and 0 alike.
  if (real.has_value() != expected.has_value() ||
      (real && *real != *expected)) {
    std::fprintf(stderr, "reading differs from the model: %s instead of %s\n",
                 shown(real).c_str(), shown(expected).c_str());
    std::abort();
  }
  return 0;
}
