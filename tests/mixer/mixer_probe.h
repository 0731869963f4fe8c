#pragma once

#include <cstddef>

#include "platform/mixer/cue_buffer.h"
#include "platform/mixer/mixer.h"

namespace pelliwick {

// What the tests see of a mixer beyond its contract.
struct MixerProbe {
  static std::size_t playingCues(const Mixer& mixer) {
    return mixer.cues_->playingCount();
  }
};

}  // namespace pelliwick
