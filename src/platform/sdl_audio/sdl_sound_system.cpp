// What this implements of DirectSound's objects: the root object, the
// default device (DirectSoundCreate) and secondary buffers made from WAV
// files. What it ignores: the cooperative level, which is checked (a window
// and a known level) and then has no effect, since one shared SDL device
// serves every level; device GUIDs, capabilities and buffer descriptions
// beyond their control flags.
#include "platform/sdl_audio/sdl_sound_system.h"

#include <string>

#include "platform/failure.h"
#include "platform/mixer/mixer.h"
#include "platform/sdl_audio/wav_file.h"

namespace pelliwick {

namespace {
// Normal, priority, exclusive and write-primary.
constexpr int kLowestLevel = 1;
constexpr int kHighestLevel = 4;
}  // namespace

std::shared_ptr<SoundRoot> SdlSoundSystem::createRoot() {
  return std::make_shared<SdlSoundRoot>(output_);
}

std::shared_ptr<SoundDevice> SdlSoundRoot::directSoundCreate() {
  return std::make_shared<SdlSoundDevice>(output_.mixer());
}

void SdlSoundDevice::setCooperativeLevel(WindowHandle window, int level) {
  if (window == nullptr) {
    throw Failure("sound device: cooperative level needs a window handle");
  }
  if (level < kLowestLevel || level > kHighestLevel) {
    throw Failure("sound device: unknown cooperative level " +
                  std::to_string(level));
  }
  // One shared SDL device: every level behaves the same.
}

std::shared_ptr<SoundBuffer> SdlSoundDevice::createBufferFromFile(
    const std::filesystem::path& wavFile, const BufferDesc& desc) {
  return mixer_->createBuffer(loadWavFile(wavFile), desc);
}

}  // namespace pelliwick
