#pragma once

#include <memory>

#include "platform/sdl_audio/sdl_audio_output.h"
#include "platform/sound.h"

namespace pelliwick {

class Mixer;

// The cue side of the game's sound: root object, device and buffers, all
// playing through the shared SdlAudioOutput.
class SdlSoundSystem : public SoundSystem {
 public:
  // `output` must outlive the roots made here. Devices and buffers may
  // outlive it safely, though nothing renders any more then.
  explicit SdlSoundSystem(SdlAudioOutput& output) : output_(output) {}
  std::shared_ptr<SoundRoot> createRoot() override;

 private:
  SdlAudioOutput& output_;
};

class SdlSoundRoot : public SoundRoot {
 public:
  explicit SdlSoundRoot(SdlAudioOutput& output) : output_(output) {}
  // Opens the audio device if nothing has yet.
  std::shared_ptr<SoundDevice> directSoundCreate() override;

 private:
  SdlAudioOutput& output_;
};

class SdlSoundDevice : public SoundDevice {
 public:
  explicit SdlSoundDevice(std::shared_ptr<Mixer> mixer)
      : mixer_(std::move(mixer)) {}
  void setCooperativeLevel(WindowHandle window, int level) override;
  std::shared_ptr<SoundBuffer> createBufferFromFile(
      const std::filesystem::path& wavFile, const BufferDesc& desc) override;

 private:
  const std::shared_ptr<Mixer> mixer_;
};

}  // namespace pelliwick
