#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/mixer/cue_voice.h"
#include "platform/mixer/doorbell.h"
#include "platform/mixer/pcm_sound.h"
#include "platform/sound.h"

namespace pelliwick {

// The voices currently sounding, cut-off ones fading out among them. Shared
// between the mixer and every buffer so that a buffer can outlive the mixer
// (and the other way round) safely.
class CueBoard {
 public:
  // `doorbell`, when given, is rung whenever a cue starts.
  explicit CueBoard(int outputRate, std::shared_ptr<Doorbell> doorbell = {});

  int outputRate() const { return outputRate_; }

  // Adds every sounding voice into `out`. Returns how many cues reached
  // their end during this call, or -1 when nothing sounded at all. Runs in
  // the audio thread and frees nothing there.
  int mixInto(float* interleavedStereo, std::size_t frames);

  // Cues playing, not counting the ones fading out after a cut.
  std::size_t playingCount() const;

 private:
  friend class CueBuffer;
  // Caller holds the mutex. Hands back the voices the audio thread is done
  // with, to be freed once the lock is released.
  std::vector<std::shared_ptr<CueVoice>> takeRetiredLocked();

  const int outputRate_;
  const std::shared_ptr<Doorbell> doorbell_;
  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<CueVoice>> sounding_;
  std::vector<std::shared_ptr<CueVoice>> retired_;
};

// A sound buffer as DirectSound offers it: a sound in memory with volume,
// pan, frequency, a current position, play (once or looping), status and
// stop. Every cut is faded by the mixer, not by the buffer: the status is 0
// at once after a stop.
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
  void requireControl(std::uint32_t flag, const char* what) const;
  void updateGainsLocked();
  std::shared_ptr<CueVoice> makeVoice() const;

  const std::shared_ptr<CueBoard> board_;
  const std::shared_ptr<const PcmSound> sound_;
  const std::uint32_t flags_;
  // Changed on the caller's thread only; the voice copies them.
  int volume_ = 0;
  int pan_ = 0;
  int frequency_;
  // Guarded by the board's mutex: the audio thread renders it.
  std::shared_ptr<CueVoice> voice_;
};

}  // namespace pelliwick
