#include "speech_text.h"

#include <algorithm>
#include <cmath>

namespace pelliwick::espeak {

std::string toUtf8(const std::wstring& text) {
  std::string result;
  result.reserve(text.size());
  for (wchar_t wide : text) {
    auto code = static_cast<std::uint32_t>(wide);
    if (code == 0) {
      code = ' ';
    } else if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      result += static_cast<char>(code);
    } else if (code < 0x800) {
      result += static_cast<char>(0xC0 | (code >> 6));
      result += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      result += static_cast<char>(0xE0 | (code >> 12));
      result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      result += static_cast<char>(0xF0 | (code >> 18));
      result += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      result += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      result += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return result;
}

int wordsPerMinute(int rateStep) {
  const double wpm = 175.0 * std::pow(3.0, rateStep / 10.0);
  // Clamp before rounding: far steps overflow to infinity or underflow to 0.
  const double clamped =
      std::clamp(wpm, double{kMinWordsPerMinute}, double{kMaxWordsPerMinute});
  return static_cast<int>(std::lround(clamped));
}

void applyVolume(std::int16_t* samples, std::size_t count, int volume) {
  if (volume == 100) {
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const std::int32_t scaled = std::int32_t{samples[i]} * volume;
    // Round to nearest rather than toward zero.
    samples[i] =
        static_cast<std::int16_t>((scaled + (scaled < 0 ? -50 : 50)) / 100);
  }
}

}  // namespace pelliwick::espeak
