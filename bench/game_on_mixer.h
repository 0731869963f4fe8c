// The game's own speech and cue backends over a mixer that the benchmark
// drives itself, so that it sees every sample leave the mixer.
#pragma once

#include <memory>

#include "bench_support.h"
#include "platform/espeak/espeak_engine.h"
#include "platform/mixer/mixer.h"
#include "platform/platform.h"

namespace pelliwick::bench {

class MixerSound : public SoundSystem {
 public:
  explicit MixerSound(std::shared_ptr<Mixer> mixer)
      : mixer_(std::move(mixer)) {}
  std::shared_ptr<SoundRoot> createRoot() override;

 private:
  std::shared_ptr<Mixer> mixer_;
};

// Members in the order the game's main makes them: the mixer outlives the
// speech engine that appends to it.
struct GameOnMixer {
  GameOnMixer(WindowSystem& window, Clock& clock, RandomSource& random,
              bool realTime);

  std::shared_ptr<Mixer> mixer;
  MixerSound sound;
  espeak::EspeakEngine speech;
  Platform platform;
  MixerDriver driver;
};

}  // namespace pelliwick::bench
