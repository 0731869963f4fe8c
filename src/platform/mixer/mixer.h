#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/mixer/doorbell.h"
#include "platform/mixer/pcm_sound.h"
#include "platform/sound.h"
#include "platform/speech_stream.h"

namespace pelliwick {

class CueBoard;
class SpeechChannel;

// Mixes the cue buffers and the speech stream into one stereo float stream.
// Knows nothing of the audio device: whoever drives it calls render() once
// per period, from its audio thread.
class Mixer {
 public:
  // `onCueEnded` is called from render(), outside every lock, whenever a
  // cue has played its last sample.
  explicit Mixer(int outputRate, std::function<void()> onCueEnded = {});
  ~Mixer();
  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;

  int outputRate() const { return outputRate_; }

  // A buffer over `sound`, at the sound's own rate, full volume, centred.
  // `desc.flags` decides which controls it accepts. The buffer may outlive
  // the mixer.
  std::shared_ptr<SoundBuffer> createBuffer(
      std::shared_ptr<const PcmSound> sound, const BufferDesc& desc);

  // The one speech stream, made on first use; throws if asked again for a
  // different rate.
  SpeechStream& speechStream(int sampleRate);

  // Drops all queued speech (waking its waiters) if the stream was made.
  void clearSpeech();

  // Overwrites `frames` stereo frames with the mix, limited to full scale.
  // Returns false when the period is silent: nothing was playing.
  bool render(float* interleavedStereo, std::size_t frames);

  // For the audio thread, when render() has found nothing to play for a
  // while: sleeps until a cue starts or speech arrives after `seen`, a
  // value of soundsGiven() taken before that render(). Returns at once once
  // stopSleeping() has been called.
  std::uint64_t soundsGiven() const { return doorbell_->rings(); }
  void sleepUntilSound(std::uint64_t seen) { doorbell_->sleepPast(seen); }
  // The same, giving up at `deadline`; true when sound came (or sleeping
  // was stopped) first.
  bool sleepUntilSound(std::uint64_t seen,
                       std::chrono::steady_clock::time_point deadline) {
    return doorbell_->sleepPastUntil(seen, deadline);
  }
  void stopSleeping() { doorbell_->close(); }

 private:
  friend struct MixerProbe;  // the tests count the playing cues

  const int outputRate_;
  const std::function<void()> onCueEnded_;
  const std::shared_ptr<Doorbell> doorbell_;
  const std::shared_ptr<CueBoard> cues_;
  std::mutex speechMutex_;  // guards the making of speech_ only
  std::unique_ptr<SpeechChannel> speech_;
  std::atomic<SpeechChannel*> speechForRender_{nullptr};
};

}  // namespace pelliwick
