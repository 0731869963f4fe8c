#pragma once

#include <memory>

#include "platform/sound.h"

namespace pelliwick {

// DirectSound 8: the root object, the default device and secondary buffers
// made from WAV files.
class DirectSoundSystem : public SoundSystem {
 public:
  std::shared_ptr<SoundRoot> createRoot() override;
};

}  // namespace pelliwick
