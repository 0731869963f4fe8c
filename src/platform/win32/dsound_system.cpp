// Implements DirectSound 8's root object and default device: the device is
// made by DirectSoundCreate8, its cooperative level set for the game's
// window, and buffers made from WAV files. What it ignores: device GUIDs
// (always the default device), capabilities, and the primary buffer, which
// DirectSound manages itself at the priority level.
#include "platform/win32/dsound_system.h"

#include <string>

#include "platform/failure.h"
#include "platform/win32/dsound_api.h"
#include "platform/win32/dsound_buffer.h"
#include "platform/win32/dsound_core.h"
#include "platform/win32/wave_file.h"

namespace pelliwick {

namespace {

// Normal, priority, exclusive and write-primary.
constexpr int kLowestLevel = DSSCL_NORMAL;
constexpr int kHighestLevel = DSSCL_WRITEPRIMARY;

class DirectSoundDevice : public SoundDevice {
 public:
  explicit DirectSoundDevice(std::shared_ptr<win32::DirectSoundCore> core)
      : core_(std::move(core)) {}

  void setCooperativeLevel(WindowHandle window, int level) override {
    const auto hwnd = static_cast<HWND>(window);
    if (hwnd == nullptr || !IsWindow(hwnd)) {
      throw Failure("sound device: cooperative level needs a window handle");
    }
    if (level < kLowestLevel || level > kHighestLevel) {
      throw Failure("sound device: unknown cooperative level " +
                    std::to_string(level));
    }
    core_->setCooperativeLevel(hwnd, level);
  }

  std::shared_ptr<SoundBuffer> createBufferFromFile(
      const std::filesystem::path& wavFile, const BufferDesc& desc) override {
    return std::make_shared<win32::DirectSoundBuffer>(
        core_, win32::loadWaveFile(wavFile), desc.flags);
  }

 private:
  const std::shared_ptr<win32::DirectSoundCore> core_;
};

class DirectSoundRoot : public SoundRoot {
 public:
  std::shared_ptr<SoundDevice> directSoundCreate() override {
    return std::make_shared<DirectSoundDevice>(
        std::make_shared<win32::DirectSoundCore>());
  }
};

}  // namespace

std::shared_ptr<SoundRoot> DirectSoundSystem::createRoot() {
  return std::make_shared<DirectSoundRoot>();
}

}  // namespace pelliwick
