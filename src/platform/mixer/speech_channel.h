#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "mixer/doorbell.h"
#include "mixer/fade.h"
#include "mixer/resampler.h"
#include "speech_stream.h"

namespace pelliwick {

// The speech stream as the mixer plays it: queued mono samples, resampled to
// the output rate. Speech fades in when it starts from silence, fades out
// when the queue runs dry, and a clear fades the cut-off speech out while
// whatever comes next already starts.
class SpeechChannel : public SpeechStream {
 public:
  // `doorbell`, when given, is rung whenever speech arrives.
  SpeechChannel(int sampleRate, int outputRate,
                std::shared_ptr<Doorbell> doorbell = {});

  int sampleRate() const { return sampleRate_; }

  std::uint64_t append(const std::int16_t* samples, std::size_t count) override;
  void clear() override;
  std::uint64_t playedPosition() const override;
  void waitPlayed(std::uint64_t position) override;
  bool waitPlayedFor(std::uint64_t position,
                     std::chrono::milliseconds atMost) override;

  // Adds the queued speech into `out`, centred. Returns false when nothing
  // sounded. Runs in the audio thread and never allocates.
  bool mixInto(float* interleavedStereo, std::size_t frames);

 private:
  std::uint64_t queueSamples(const std::int16_t* samples, std::size_t count);
  // All of these run with mutex_ held.
  Resampler& lane() { return *lanes_[current_]; }
  std::size_t framesUntilDry();
  void resampleQueue(float* out, std::size_t frames);
  void mixTail(float* out, std::size_t frames);

  const int sampleRate_;
  const std::shared_ptr<Doorbell> doorbell_;
  const double step_;  // input samples per output frame
  const std::size_t fadeFrames_;
  mutable std::mutex mutex_;
  std::condition_variable played_;
  std::vector<std::int16_t> queue_;
  std::uint64_t queueStart_ = 0;  // stream position of queue_[0]
  std::size_t feed_ = 0;          // next sample of queue_ the filter reads
  double heard_ = 0;              // sample of queue_ heard next, fractional
  bool atRest_ = true;            // nothing sounding; the next start fades in
  FadeGain gain_;
  std::uint64_t appendedPosition_ = 0;
  std::uint64_t playedPosition_ = 0;
  // Two filters: after a clear one plays the cut-off speech's fade-out from
  // tail_ while the other starts on what is queued next.
  std::unique_ptr<Resampler> lanes_[2];
  int current_ = 0;
  bool tailPending_ = false;
  std::vector<float> tail_;
  std::size_t tailFed_ = 0;
  FadeGain tailGain_;
  std::vector<float> input_;   // queued samples as float, one chunk
  std::vector<float> output_;  // resampled, one chunk
};

}  // namespace pelliwick
