#include "platform/espeak/speech_text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/utf8.h"

namespace pelliwick::espeak {

std::string spokenForm(const std::wstring& text) {
  if (text == L" ") {
    return "space";
  }
  std::wstring spoken = text;
  std::replace(spoken.begin(), spoken.end(), L'\0', L' ');
  return toUtf8(spoken);
}

namespace {

// About -50 dBFS: below what is heard over a room's noise.
constexpr int kAudible = 100;

auto firstAudible(const std::vector<std::int16_t>& samples) {
  return std::find_if(samples.begin(), samples.end(),
                      [](auto s) { return std::abs(int{s}) >= kAudible; });
}

}  // namespace

bool anyAudible(const std::vector<std::int16_t>& samples) {
  return firstAudible(samples) != samples.end();
}

void trimLeadingSilence(std::vector<std::int16_t>& samples, std::size_t keep) {
  const auto loud = firstAudible(samples);
  const auto silent = static_cast<std::size_t>(loud - samples.begin());
  if (loud == samples.end() || silent <= keep) {
    return;
  }
  samples.erase(samples.begin(),
                samples.begin() + static_cast<std::ptrdiff_t>(silent - keep));
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
