#pragma once

#include <memory>

#include "platform/win32/com_ref.h"
#include "platform/win32/dsound_api.h"
#include "platform/win32/dsound_core.h"
#include "platform/win32/wave_data.h"

namespace pelliwick::win32 {

// A secondary buffer made from a cue's sound. A stop, or dropping the
// buffer while it plays, fades the sound out over a few milliseconds; the
// status reads 0 at once all the same.
class DirectSoundBuffer : public SoundBuffer {
 public:
  DirectSoundBuffer(std::shared_ptr<DirectSoundCore> core, WaveData wave,
                    std::uint32_t flags);
  ~DirectSoundBuffer() override;
  DirectSoundBuffer(const DirectSoundBuffer&) = delete;
  DirectSoundBuffer& operator=(const DirectSoundBuffer&) = delete;

  void setCurrentPosition(std::uint32_t byteOffset) override;
  void setVolume(int hundredthsOfDb) override;
  void setPan(int hundredthsOfDb) override;
  void setFrequency(int hz) override;
  void play(std::uint32_t flags) override;
  int getStatus() override;
  void stop() override;

 private:
  void fillFromSound();
  // Writes a fade from the write cursor on and has the watcher stop the
  // buffer once it has sounded.
  void fadeOut(DWORD status);
  // Waits for a fade's stop, then puts the sound back as it was.
  void settle();

  const std::shared_ptr<DirectSoundCore> core_;
  const WaveData wave_;
  DWORD bytes_ = 0;
  int frequency_;
  ComRef<IDirectSoundBuffer8> buffer_;
  const std::shared_ptr<CueEnd> end_ = std::make_shared<CueEnd>();
  bool fading_ = false;
  DWORD fadeFrom_ = 0;
  DWORD fadeLength_ = 0;
};

}  // namespace pelliwick::win32
