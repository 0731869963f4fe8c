// The part of a DirectSound secondary buffer that the audio thread plays:
// position, frequency, volume and pan, once or looping. A cut-off voice
// outlives its buffer for the few milliseconds of its fade-out.
#include "platform/mixer/cue_voice.h"

#include <algorithm>

namespace pelliwick {

CueVoice::CueVoice(std::shared_ptr<const PcmSound> sound, int outputRate)
    : sound_(std::move(sound)),
      source_(sound_->samples.data(), sound_->frames(), sound_->channels),
      feed_(sound_->channels, sound_->sampleRate, outputRate) {}

void CueVoice::continueFrom(const CueVoice& other) {
  feed_.seek(other.feed_.position());
  gainLeft_ = other.gainLeft_;
  gainRight_ = other.gainRight_;
  looping_ = other.looping_;
}

void CueVoice::setPosition(std::size_t frame) {
  feed_.seek(static_cast<double>(frame));
}

void CueVoice::setFrequency(int hz) { feed_.setInputRate(hz); }

void CueVoice::start(bool looping) {
  looping_ = looping;
  playing_ = true;
  fading_ = false;
  feed_.seek(feed_.position());
  // From the top the cue's own start is heard as it is; resumed in the
  // middle of a waveform it fades in.
  feed_.fade.value = feed_.position() == 0 ? 1.0f : 0.0f;
}

CueVoice::Rendered CueVoice::mixInto(float* out, std::size_t frames) {
  if (fading_) {
    return feed_.mixFadeOut(source_, looping_, out, frames, gainLeft_,
                            gainRight_)
               ? Rendered::FadedOut
               : Rendered::Sounding;
  }
  const auto length = static_cast<double>(source_.frames());
  std::size_t done = 0;
  while (done < frames) {
    std::size_t chunk = std::min(frames - done, ResampledFeed::kChunkFrames);
    bool reachesEnd = false;
    if (!looping_) {
      // At least one frame: a cue set to its last frame still sounds it.
      const std::size_t left =
          std::max<std::size_t>(1, feed_.framesUntil(length));
      if (left <= chunk) {
        chunk = left;
        reachesEnd = true;
      }
    }
    const float* samples = feed_.pull(source_, chunk, looping_);
    for (std::size_t i = 0; i < chunk; ++i) {
      const float gain = feed_.fade.next(1.0f);
      addFrame(out + 2 * (done + i), samples, sound_->channels, i,
               gainLeft_ * gain, gainRight_ * gain);
    }
    done += chunk;
    if (reachesEnd) {
      feed_.seek(0);
      playing_ = false;
      return Rendered::Ended;
    }
  }
  return Rendered::Sounding;
}

}  // namespace pelliwick
