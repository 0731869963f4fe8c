#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "mixer/pcm_sound.h"
#include "sound.h"

namespace pelliwick {

// DirectSound-style play flag and status bit for a looping buffer.
constexpr std::uint32_t DSBPLAY_LOOPING = 1;
constexpr int DSBSTATUS_LOOPING = 4;

class CueBuffer;

// The cues currently sounding. Shared between the mixer and every buffer so
// that a buffer can outlive the mixer (and the other way round) safely.
class CueBoard {
 public:
  explicit CueBoard(int outputRate);

  int outputRate() const { return outputRate_; }

  // Adds every playing cue into `out`. Returns how many cues reached their
  // end during this call. Runs in the audio thread.
  int mixInto(float* interleavedStereo, std::size_t frames);

  std::size_t playingCount() const;

 private:
  friend class CueBuffer;
  const int outputRate_;
  mutable std::mutex mutex_;
  // Raw pointers: a buffer takes itself off this list, under the mutex,
  // before it is destroyed, so the audio thread never sees a dead one and
  // never frees anything.
  std::vector<CueBuffer*> playing_;
};

class CueBuffer : public SoundBuffer {
 public:
  CueBuffer(std::shared_ptr<CueBoard> board,
            std::shared_ptr<const PcmSound> sound, std::uint32_t flags);
  ~CueBuffer() override;
  CueBuffer(const CueBuffer&) = delete;
  CueBuffer& operator=(const CueBuffer&) = delete;

  void setCurrentPosition(std::uint32_t byteOffset) override;
  void setVolume(int hundredthsOfDb) override;
  void setPan(int hundredthsOfDb) override;
  void setFrequency(int hz) override;
  void play(std::uint32_t flags) override;
  int getStatus() override;
  void stop() override;

 private:
  friend class CueBoard;
  void requireControl(std::uint32_t flag, const char* what) const;
  void updateGains();
  void removeFromBoard();  // caller holds the board's mutex
  // Renders into `out`; returns false once the last sample has been used.
  bool mixInto(float* out, std::size_t frames);

  const std::shared_ptr<CueBoard> board_;
  const std::shared_ptr<const PcmSound> sound_;
  const std::uint32_t flags_;
  // Everything below is guarded by the board's mutex.
  double position_ = 0;  // in source frames, fractional while resampling
  double step_ = 1;      // source frames per output frame
  int volume_ = 0;
  int pan_ = 0;
  float gainLeft_ = 1;
  float gainRight_ = 1;
  bool playing_ = false;
  bool looping_ = false;
};

}  // namespace pelliwick
