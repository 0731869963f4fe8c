#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "speech_stream.h"

namespace pelliwick {

// The speech stream as the mixer plays it: queued mono samples, resampled
// with linear interpolation to the output rate.
class SpeechChannel : public SpeechStream {
 public:
  SpeechChannel(int sampleRate, int outputRate);

  int sampleRate() const { return sampleRate_; }

  std::uint64_t append(const std::int16_t* samples, std::size_t count) override;
  void clear() override;
  std::uint64_t playedPosition() const override;
  void waitPlayed(std::uint64_t position) override;
  bool waitPlayedFor(std::uint64_t position,
                     std::chrono::milliseconds atMost) override;

  // Adds the queued speech into `out`, centred. Runs in the audio thread and
  // never allocates.
  void mixInto(float* interleavedStereo, std::size_t frames);

 private:
  const int sampleRate_;
  const double step_;  // input samples per output frame
  mutable std::mutex mutex_;
  std::condition_variable played_;
  std::vector<std::int16_t> queue_;
  std::size_t readIndex_ = 0;  // next sample of queue_ to play
  double fraction_ = 0;        // how far between readIndex_ and the next
  std::uint64_t appendedPosition_ = 0;
  std::uint64_t playedPosition_ = 0;
};

}  // namespace pelliwick
