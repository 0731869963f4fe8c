// Writes the three cue sounds (wild.wav, dong.wav, ding.wav) into the folder
// given as the only argument. Deterministic: the same program writes the
// same bytes, so the committed files can always be made again.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <string>
#include <vector>

namespace {

// 11025 Hz so that the game's default playback rate of 11026 Hz is the
// natural pitch.
constexpr int kRate = 11025;
constexpr double kPeak = 0.7;  // headroom for speech playing at once
constexpr double kAttackSeconds = 0.004;
constexpr double kReleaseSeconds = 0.04;

struct Partial {
  double ratio;      // of the fundamental
  double amplitude;  // relative
  double decay;      // time constant in seconds
};

using Samples = std::vector<double>;

// Adds one struck note: decaying partials with a short raised-cosine attack
// so the strike does not click.
void addNote(Samples& out, double start, double fundamental,
             const std::vector<Partial>& partials, double level) {
  const auto first = static_cast<std::size_t>(start * kRate);
  const auto attack = static_cast<std::size_t>(kAttackSeconds * kRate);
  for (std::size_t i = first; i < out.size(); ++i) {
    const double t = static_cast<double>(i - first) / kRate;
    double value = 0;
    for (const Partial& p : partials) {
      const double hz = fundamental * p.ratio;
      if (hz >= kRate / 2.0 * 0.9) continue;  // keep clear of aliasing
      value += p.amplitude * std::exp(-t / p.decay) *
               std::sin(2 * std::numbers::pi * hz * t);
    }
    if (i - first < attack) {
      value *= 0.5 - 0.5 * std::cos(std::numbers::pi *
                                    static_cast<double>(i - first) / attack);
    }
    out[i] += level * value;
  }
}

// Scales to the common peak and fades the tail to exactly zero, so the cue
// neither clicks at its end nor differs in loudness from the others.
std::vector<std::int16_t> finish(Samples samples) {
  double peak = 0;
  for (double s : samples) peak = std::max(peak, std::fabs(s));
  const auto release = static_cast<std::size_t>(kReleaseSeconds * kRate);
  const std::size_t n = samples.size();
  std::vector<std::int16_t> pcm(n);
  for (std::size_t i = 0; i < n; ++i) {
    double value = samples[i] * kPeak / peak;
    const std::size_t left = n - 1 - i;
    if (left < release) {
      value *= 0.5 - 0.5 * std::cos(std::numbers::pi *
                                    static_cast<double>(left) / release);
    }
    pcm[i] = static_cast<std::int16_t>(std::lround(value * 32767));
  }
  pcm.front() = 0;
  pcm.back() = 0;
  return pcm;
}

void put16(std::ofstream& out, std::uint16_t v) {
  const char bytes[] = {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
  out.write(bytes, 2);
}

void put32(std::ofstream& out, std::uint32_t v) {
  put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
  put16(out, static_cast<std::uint16_t>(v >> 16));
}

bool writeWav(const std::filesystem::path& file,
              const std::vector<std::int16_t>& pcm) {
  std::ofstream out(file, std::ios::binary);
  const auto dataBytes = static_cast<std::uint32_t>(pcm.size() * 2);
  out.write("RIFF", 4);
  put32(out, 36 + dataBytes);
  out.write("WAVEfmt ", 8);
  put32(out, 16);
  put16(out, 1);  // PCM
  put16(out, 1);  // mono
  put32(out, kRate);
  put32(out, kRate * 2);
  put16(out, 2);
  put16(out, 16);
  out.write("data", 4);
  put32(out, dataBytes);
  for (std::int16_t s : pcm) put16(out, static_cast<std::uint16_t>(s));
  return static_cast<bool>(out);
}

Samples silence(double seconds) {
  return Samples(static_cast<std::size_t>(seconds * kRate), 0.0);
}

// Start jingle: a rising major arpeggio that settles on a chord.
Samples wild() {
  const std::vector<Partial> mallet = {
      {1.0, 1.0, 0.35}, {2.0, 0.25, 0.15}, {3.0, 0.08, 0.08}};
  const double c5 = 523.25, e5 = 659.25, g5 = 783.99, c6 = 1046.5;
  Samples s = silence(1.5);
  const double notes[] = {c5, e5, g5, c6};
  for (int i = 0; i < 4; ++i) addNote(s, 0.13 * i, notes[i], mallet, 1.0);
  const std::vector<Partial> chord = {
      {1.0, 1.0, 0.45}, {2.0, 0.2, 0.2}, {3.0, 0.05, 0.1}};
  for (double hz : {c5, e5, g5, c6}) addNote(s, 0.58, hz, chord, 0.55);
  return s;
}

// Low bell: a struck bell's hum, prime, minor third, fifth and octave.
Samples dong() {
  const std::vector<Partial> bell = {{0.5, 0.35, 0.30},  {1.0, 1.0, 0.22},
                                     {1.19, 0.35, 0.15}, {1.5, 0.25, 0.12},
                                     {2.0, 0.30, 0.10},  {2.74, 0.10, 0.06}};
  Samples s = silence(0.5);
  addNote(s, 0, 220.0, bell, 1.0);
  return s;
}

// High bell: short and bright.
Samples ding() {
  const std::vector<Partial> bell = {
      {1.0, 1.0, 0.12}, {2.0, 0.30, 0.07}, {2.76, 0.18, 0.05}};
  Samples s = silence(0.35);
  addNote(s, 0, 1318.5, bell, 1.0);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : ".";
  bool ok = writeWav(folder / "wild.wav", finish(wild()));
  ok = writeWav(folder / "dong.wav", finish(dong())) && ok;
  ok = writeWav(folder / "ding.wav", finish(ding())) && ok;
  if (!ok) {
    std::fprintf(stderr, "make_cues: cannot write into %s\n",
                 folder.string().c_str());
    return 1;
  }
  return 0;
}
