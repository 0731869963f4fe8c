// What this implements of the mixer: the read side that every buffer and the
// speech share, each sound run through the resampler at its own frequency,
// with silence past its end, a loop back to its start, and the fade-out
// after a cut. What it ignores: sample formats; a source hands over float
// frames, converting as it is read.
#include "platform/mixer/resampled_feed.h"

#include <algorithm>
#include <cmath>

namespace pelliwick {

namespace {
// Past the end of the source the filter is fed silence, so that its
// look-ahead lets the last frames out.
constexpr std::size_t kSilenceFrames = 1 << 20;
}  // namespace

const float* FloatSource::read(std::size_t from, std::size_t& count) {
  count = std::min(count, frames_ - from);
  return samples_ + from * static_cast<std::size_t>(channels_);
}

ResampledFeed::ResampledFeed(int channels, int inputRate, int outputRate)
    : channels_(channels),
      outputRate_(outputRate),
      resampler_(channels, inputRate, outputRate),
      chunk_(kChunkFrames * static_cast<std::size_t>(channels)),
      step_(static_cast<double>(inputRate) / outputRate) {
  fade.step = 1.0f / static_cast<float>(fadeFrames(outputRate));
}

void ResampledFeed::setInputRate(int hz) {
  const bool passedThrough = resampler_.passesThrough();
  resampler_.setInputRate(hz);
  step_ = static_cast<double>(hz) / outputRate_;
  // Frames copied as they are are read at the heard position; through the
  // filter the cursor runs ahead of it.
  if (passedThrough != resampler_.passesThrough()) {
    cursor_ = static_cast<std::size_t>(position_);
  }
}

void ResampledFeed::seek(double frame) {
  position_ = frame;
  cursor_ = static_cast<std::size_t>(frame);
  resampler_.restart();
}

void ResampledFeed::dropFront(std::size_t frames) {
  position_ -= static_cast<double>(frames);
  cursor_ -= frames;
}

std::size_t ResampledFeed::framesUntil(double end) const {
  if (position_ >= end) return 0;
  auto frames = static_cast<std::size_t>(
      std::max(1.0, std::ceil((end - position_) / step_)));
  // The frame that reaches the end is the last one heard, whatever the
  // rounding above.
  while (frames > 1 &&
         position_ + static_cast<double>(frames - 1) * step_ >= end) {
    --frames;
  }
  while (position_ + static_cast<double>(frames) * step_ < end) ++frames;
  return frames;
}

const float* ResampledFeed::pull(FeedSource& source, std::size_t frames,
                                 bool looping) {
  const auto channels = static_cast<std::size_t>(channels_);
  const std::size_t length = source.frames();
  frames = std::min(frames, kChunkFrames);
  std::size_t produced = 0;
  while (produced < frames) {
    if (cursor_ >= length && looping) cursor_ = 0;
    const float* in = nullptr;
    std::size_t inFrames = kSilenceFrames;
    if (cursor_ < length) {
      inFrames = length - cursor_;
      in = source.read(cursor_, inFrames);
    }
    std::size_t outFrames = frames - produced;
    resampler_.process(in, inFrames, chunk_.data() + produced * channels,
                       outFrames);
    if (in != nullptr) cursor_ += inFrames;
    produced += outFrames;
    if (inFrames == 0 && outFrames == 0) {  // cannot happen; never hang
      std::fill(
          chunk_.begin() + static_cast<std::ptrdiff_t>(produced * channels),
          chunk_.end(), 0.0f);
      break;
    }
  }
  position_ += static_cast<double>(frames) * step_;
  if (looping && length > 0) {
    position_ = std::fmod(position_, static_cast<double>(length));
  }
  return chunk_.data();
}

bool ResampledFeed::mixFadeOut(FeedSource& source, bool looping, float* out,
                               std::size_t frames, float gainLeft,
                               float gainRight) {
  for (std::size_t done = 0; done < frames;) {
    const std::size_t chunk = std::min(frames - done, kChunkFrames);
    const float* samples = pull(source, chunk, looping);
    for (std::size_t i = 0; i < chunk; ++i) {
      const float gain = fade.next(0.0f);
      addFrame(out + 2 * (done + i), samples, channels_, i, gainLeft * gain,
               gainRight * gain);
      if (gain == 0.0f) return true;
    }
    done += chunk;
  }
  return fade.value == 0.0f;
}

}  // namespace pelliwick
