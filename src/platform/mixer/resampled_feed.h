#pragma once

#include <cstddef>
#include <vector>

#include "platform/mixer/fade.h"
#include "platform/mixer/resampler.h"

namespace pelliwick {

// The source frames a feed reads: a cue in memory, queued speech, or the
// speech cut off by a purge.
class FeedSource {
 public:
  virtual std::size_t frames() const = 0;
  // Interleaved float frames from `from` on; `count` is cut to what it
  // gives (at least one while `from` is inside the source).
  virtual const float* read(std::size_t from, std::size_t& count) = 0;

 protected:
  ~FeedSource() = default;
};

// Frames already in float, as they lie in memory.
class FloatSource final : public FeedSource {
 public:
  FloatSource(const float* samples, std::size_t frames, int channels)
      : samples_(samples), frames_(frames), channels_(channels) {}
  std::size_t frames() const override { return frames_; }
  const float* read(std::size_t from, std::size_t& count) override;

 private:
  const float* samples_;
  std::size_t frames_;
  int channels_;
};

// One source played through a resampler at the output rate, for cues and
// speech alike: the frame heard next (fractional), the frame the filter
// reads next (ahead of it), silence past the end so that the filter lets
// the last frames out, the output frames until a given source frame, and
// the fade. Never allocates after construction.
class ResampledFeed {
 public:
  // Output frames resampled at a time.
  static constexpr std::size_t kChunkFrames = 256;

  ResampledFeed(int channels, int inputRate, int outputRate);

  int channels() const { return channels_; }
  double position() const { return position_; }   // source frame heard next
  std::size_t cursor() const { return cursor_; }  // next frame fed
  // Source frames the filter must have beyond a frame to let it out.
  std::size_t lookAhead() const { return resampler_.lookAhead(); }

  // Keeps the heard position and the filter's history: the change is
  // seamless. May allocate: not from the audio thread.
  void setInputRate(int hz);
  // Forgets the filter's past and goes on from `frame`.
  void seek(double frame);
  // The source lost its first `frames`: positions move down with it, the
  // filter keeps its past.
  void dropFront(std::size_t frames);

  // Output frames until the heard position reaches source frame `end`; 0
  // when it already has.
  std::size_t framesUntil(double end) const;

  // Resamples the next `frames` (at most kChunkFrames) output frames and
  // moves the heard position on; past the end of the source it reads
  // silence, or the start again when `looping`.
  const float* pull(FeedSource& source, std::size_t frames, bool looping);

  // The fade tail after a cut: adds the source into `out` (interleaved
  // stereo, a mono source centred) while the fade falls to silence. True
  // once it has.
  bool mixFadeOut(FeedSource& source, bool looping, float* out,
                  std::size_t frames, float gainLeft = 1, float gainRight = 1);

  FadeGain fade;

 private:
  const int channels_;
  const int outputRate_;
  Resampler resampler_;
  std::vector<float> chunk_;
  double position_ = 0;
  double step_;  // source frames per output frame
  std::size_t cursor_ = 0;
};

// Adds frame `i` of `in` into the stereo frame `out` with the given gains,
// a mono frame to both sides.
inline void addFrame(float* out, const float* in, int channels, std::size_t i,
                     float left, float right) {
  const float* frame = in + i * static_cast<std::size_t>(channels);
  out[0] += frame[0] * left;
  out[1] += frame[channels - 1] * right;
}

}  // namespace pelliwick
