// The part of a DirectSound secondary buffer that the audio thread plays:
// position, frequency, volume and pan, once or looping. A cut-off voice
// outlives its buffer for the few milliseconds of its fade-out.
#include "mixer/cue_voice.h"

#include <algorithm>
#include <cmath>

namespace pelliwick {

namespace {
// Frames resampled at a time into the voice's own scratch buffer.
constexpr std::size_t kChunkFrames = 256;
// Past the end of a one-shot cue the resampler is fed silence, so that its
// look-ahead lets the last samples out.
constexpr std::size_t kSilenceFrames = 1 << 20;
}  // namespace

CueVoice::CueVoice(std::shared_ptr<const PcmSound> sound, int outputRate)
    : sound_(std::move(sound)),
      outputRate_(outputRate),
      length_(sound_->frames()),
      resampler_(sound_->channels, sound_->sampleRate, outputRate),
      scratch_(kChunkFrames * static_cast<std::size_t>(sound_->channels)),
      step_(static_cast<double>(sound_->sampleRate) / outputRate) {
  fade_.step = 1.0f / static_cast<float>(fadeFrames(outputRate));
}

void CueVoice::continueFrom(const CueVoice& other) {
  position_ = other.position_;
  feed_ = static_cast<std::size_t>(position_);
  gainLeft_ = other.gainLeft_;
  gainRight_ = other.gainRight_;
  looping_ = other.looping_;
}

void CueVoice::setPosition(std::size_t frame) {
  position_ = static_cast<double>(frame);
  feed_ = frame;
  resampler_.restart();
}

void CueVoice::setFrequency(int hz) {
  const bool passedThrough = resampler_.passesThrough();
  resampler_.setInputRate(hz);
  step_ = static_cast<double>(hz) / outputRate_;
  // Frames copied as they are are read at the heard position; through the
  // filter the feed runs ahead of it.
  if (passedThrough != resampler_.passesThrough()) {
    feed_ = static_cast<std::size_t>(position_);
  }
}

void CueVoice::start(bool looping) {
  looping_ = looping;
  playing_ = true;
  fading_ = false;
  resampler_.restart();
  feed_ = static_cast<std::size_t>(position_);
  // From the top the cue's own start is heard as it is; resumed in the
  // middle of a waveform it fades in.
  fade_.value = position_ == 0 ? 1.0f : 0.0f;
}

std::size_t CueVoice::framesUntilEnd() const {
  const double left = static_cast<double>(length_) - position_;
  auto frames =
      static_cast<std::size_t>(std::max(1.0, std::ceil(left / step_)));
  // The frame that reaches the end is the last one heard, whatever the
  // rounding above.
  while (frames > 1 && position_ + static_cast<double>(frames - 1) * step_ >=
                           static_cast<double>(length_)) {
    --frames;
  }
  while (position_ + static_cast<double>(frames) * step_ <
         static_cast<double>(length_)) {
    ++frames;
  }
  return frames;
}

void CueVoice::resample(float* out, std::size_t frames) {
  const auto channels = static_cast<std::size_t>(sound_->channels);
  std::size_t produced = 0;
  while (produced < frames) {
    if (feed_ >= length_ && looping_) feed_ = 0;
    const float* in = nullptr;
    std::size_t inFrames = kSilenceFrames;
    if (feed_ < length_) {
      in = sound_->samples.data() + feed_ * channels;
      inFrames = length_ - feed_;
    }
    std::size_t outFrames = frames - produced;
    resampler_.process(in, inFrames, out + produced * channels, outFrames);
    if (in != nullptr) feed_ += inFrames;
    produced += outFrames;
    if (inFrames == 0 && outFrames == 0) {  // cannot happen; never hang
      std::fill(out + produced * channels, out + frames * channels, 0.0f);
      return;
    }
  }
}

CueVoice::Rendered CueVoice::mixInto(float* out, std::size_t frames) {
  const bool stereo = sound_->channels == 2;
  const float target = fading_ ? 0.0f : 1.0f;
  std::size_t done = 0;
  while (done < frames) {
    std::size_t chunk = std::min(frames - done, kChunkFrames);
    bool reachesEnd = false;
    if (!looping_ && !fading_) {
      const std::size_t left = framesUntilEnd();
      if (left <= chunk) {
        chunk = left;
        reachesEnd = true;
      }
    }
    resample(scratch_.data(), chunk);
    float* frame = out + 2 * done;
    for (std::size_t i = 0; i < chunk; ++i, frame += 2) {
      const float gain = fade_.next(target);
      const float left = stereo ? scratch_[2 * i] : scratch_[i];
      const float right = stereo ? scratch_[2 * i + 1] : scratch_[i];
      frame[0] += left * gainLeft_ * gain;
      frame[1] += right * gainRight_ * gain;
      if (fading_ && gain == 0.0f) return Rendered::FadedOut;
    }
    done += chunk;
    position_ += static_cast<double>(chunk) * step_;
    if (reachesEnd ||
        (fading_ && position_ >= static_cast<double>(length_) && !looping_)) {
      position_ = 0;
      feed_ = 0;
      resampler_.restart();
      playing_ = false;
      return fading_ ? Rendered::FadedOut : Rendered::Ended;
    }
    if (looping_)
      position_ = std::fmod(position_, static_cast<double>(length_));
  }
  return Rendered::Sounding;
}

}  // namespace pelliwick
