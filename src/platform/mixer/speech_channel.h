#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/mixer/doorbell.h"
#include "platform/mixer/resampled_feed.h"
#include "platform/speech_stream.h"

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
  ResampledFeed& lane() { return *lanes_[current_]; }
  std::size_t framesUntilDry();

  // The queue as the feed reads it: converted to float a chunk at a time.
  class QueueSource final : public FeedSource {
   public:
    explicit QueueSource(const std::vector<std::int16_t>& queue);
    std::size_t frames() const override { return queue_.size(); }
    const float* read(std::size_t from, std::size_t& count) override;

   private:
    const std::vector<std::int16_t>& queue_;
    std::vector<float> converted_;
  };

  const int sampleRate_;
  const std::shared_ptr<Doorbell> doorbell_;
  const std::size_t fadeFrames_;
  mutable std::mutex mutex_;
  std::condition_variable played_;
  std::vector<std::int16_t> queue_;
  QueueSource queueSource_{queue_};
  std::uint64_t queueStart_ = 0;  // stream position of queue_[0]
  bool atRest_ = true;            // nothing sounding; the next start fades in
  std::uint64_t appendedPosition_ = 0;
  std::uint64_t playedPosition_ = 0;
  // Two feeds: after a clear one plays the cut-off speech's fade-out from
  // tail_ while the other starts on what is queued next.
  std::unique_ptr<ResampledFeed> lanes_[2];
  int current_ = 0;
  bool tailPending_ = false;
  std::vector<float> tail_;
  FloatSource tailSource_{nullptr, 0, 1};
};

}  // namespace pelliwick
