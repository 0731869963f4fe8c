#pragma once

#include <cstddef>
#include <vector>

struct SpeexResamplerState_;

namespace pelliwick {

// Converts interleaved float frames from one rate to another, for cues and
// speech alike, with speexdsp's windowed-sinc resampler. Equal rates pass
// through untouched. The first output frame lines up with the first input
// frame (no added delay), but the filter reads a few frames ahead: feed it
// on past the end (a null input counts as silence) to hear the last ones.
class Resampler {
 public:
  // Throws Failure when speexdsp refuses the rates.
  Resampler(int channels, int inputRate, int outputRate);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  // Keeps the filter's history, so a change mid-stream is seamless. May
  // allocate: call it outside the audio thread.
  void setInputRate(int hz);

  // Forgets the past: the next input is heard as if after silence. Never
  // allocates.
  void restart();

  // Consumes up to `inFrames` (null `in`: that many frames of silence) and
  // writes up to `outFrames`; both are set to what was done. Never
  // allocates.
  void process(const float* in, std::size_t& inFrames, float* out,
               std::size_t& outFrames);

  // Input frames the filter must have beyond a frame to let it out.
  std::size_t lookAhead() const;

  // True while the rates are equal and frames are copied as they are.
  bool passesThrough() const { return inputRate_ == outputRate_; }

 private:
  void remember(const float* in, std::size_t frames);
  void primeFromHistory();

  SpeexResamplerState_* state_ = nullptr;
  const int channels_;
  int inputRate_;
  const int outputRate_;
  // The last frames copied through, oldest first: when the rates part, the
  // filter starts from them instead of from silence.
  std::vector<float> history_;
  // Output frames still to drop: they replay the history.
  std::size_t discard_ = 0;
};

}  // namespace pelliwick
