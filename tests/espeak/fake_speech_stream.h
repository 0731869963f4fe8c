#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/speech_stream.h"

namespace pelliwick::espeak::test {

// Records what the engine appends and plays it back in simulation.
class FakeSpeechStream : public SpeechStream {
 public:
  enum class Playback {
    RealTime,  // plays 22050 samples a second (times `speed`) while it has any
    Instant,   // everything appended counts as played at once
  };

  explicit FakeSpeechStream(Playback playback) : playback_(playback) {}

  std::uint64_t append(const std::int16_t* samples, std::size_t count) override;
  void clear() override;
  std::uint64_t playedPosition() const override;
  void waitPlayed(std::uint64_t position) override;
  bool waitPlayedFor(std::uint64_t position,
                     std::chrono::milliseconds atMost) override;

  // Everything ever appended, cleared or not.
  std::vector<std::int16_t> samples() const;
  std::uint64_t appended() const;
  int clears() const;
  // Samples appended since the last clear.
  std::uint64_t appendedSinceClear() const;
  // The most samples ever held appended but not yet played.
  std::uint64_t maxBacklog() const;

  // Each append takes this long, to keep a synthesis going for a while.
  std::atomic<std::chrono::milliseconds> appendDelay{};
  // How many times faster than real time RealTime plays.
  std::atomic<double> speed{1.0};

 private:
  void advanceLocked() const;

  const Playback playback_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::int16_t> samples_;
  std::uint64_t sinceClear_ = 0;
  int clears_ = 0;
  std::uint64_t maxBacklog_ = 0;
  // Real-time playback: `playedFrom_` was played at `playingSince_`.
  mutable std::uint64_t played_ = 0;
  mutable std::uint64_t playedFrom_ = 0;
  mutable std::chrono::steady_clock::time_point playingSince_;
};

}  // namespace pelliwick::espeak::test
