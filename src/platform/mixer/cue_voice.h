#pragma once

#include <cstddef>
#include <memory>

#include "platform/mixer/pcm_sound.h"
#include "platform/mixer/resampled_feed.h"

namespace pelliwick {

// One sounding of a cue: where it is, how loud, at what rate. The audio
// thread renders it; every other call is made under the board's mutex. A
// voice that is cut off (stopped, or its buffer dropped) fades out on its
// own, so it holds the samples itself.
class CueVoice {
 public:
  CueVoice(std::shared_ptr<const PcmSound> sound, int outputRate);

  // Takes over where `other` stands (position, gains, loop), as the voice
  // that a stopped buffer plays next.
  void continueFrom(const CueVoice& other);

  void setPosition(std::size_t frame);
  void setFrequency(int hz);  // may allocate: not from the audio thread
  void setGains(float left, float right) {
    gainLeft_ = left;
    gainRight_ = right;
  }
  void start(bool looping);
  void setLooping(bool looping) { looping_ = looping; }
  // Status falls to 0 at once; the sound fades out within a few ms.
  void cutOff() {
    playing_ = false;
    fading_ = true;
  }

  bool playing() const { return playing_; }
  bool looping() const { return looping_; }

  enum class Rendered { Sounding, Ended, FadedOut };
  // Adds up to `frames` stereo frames into `out`. Ended: the last sample
  // has been played (status falls to 0). FadedOut: a cut-off voice has
  // reached silence. Never allocates.
  Rendered mixInto(float* interleavedStereo, std::size_t frames);

 private:
  const std::shared_ptr<const PcmSound> sound_;
  FloatSource source_;
  ResampledFeed feed_;
  float gainLeft_ = 1;
  float gainRight_ = 1;
  bool playing_ = false;
  bool looping_ = false;
  bool fading_ = false;
};

}  // namespace pelliwick
