// Placeholder until the DirectSound buffers land.
#include "dsound_system.h"

#include "failure.h"

namespace pelliwick {

std::shared_ptr<SoundRoot> DirectSoundSystem::createRoot() {
  throw Failure("no DirectSound yet");
}

}  // namespace pelliwick
