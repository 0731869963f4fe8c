#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pelliwick::espeak {

// What espeak-ng is given to read `text`: its UTF-8 (see toUtf8), with a
// NUL read as a space so that it cannot cut the text, except for a lone
// blank, which espeak-ng would pass over in silence.
std::string spokenForm(const std::wstring& text);

// Whether anything in `samples` is loud enough to be heard.
bool anyAudible(const std::vector<std::int16_t>& samples);

// Drops the silence before the first audible sample, keeping `keep`
// samples of it so that the onset is not clipped.
void trimLeadingSilence(std::vector<std::int16_t>& samples, std::size_t keep);

// Words per minute for a rate step: 0 is espeak-ng's normal 175, each step
// a factor of 3^(1/10); clamped to what still sounds like speech.
int wordsPerMinute(int rateStep);

constexpr int kMinWordsPerMinute = 80;
constexpr int kMaxWordsPerMinute = 900;

// Scales samples in place by volume/100 (volume 0 to 100).
void applyVolume(std::int16_t* samples, std::size_t count, int volume);

}  // namespace pelliwick::espeak
