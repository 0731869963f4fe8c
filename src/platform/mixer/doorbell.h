#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace pelliwick {

// Lets the audio thread sleep while the mixer has nothing to play: whoever
// gives it something (a cue that starts, speech that arrives) rings, and the
// sleeper wakes. Rings are counted, so one that comes between a look at the
// mixer and the sleep is not missed.
class Doorbell {
 public:
  std::uint64_t rings() const {
    std::lock_guard lock(mutex_);
    return rings_;
  }

  void ring() {
    {
      std::lock_guard lock(mutex_);
      ++rings_;
    }
    rung_.notify_all();
  }

  // Blocks until a ring after the `seen` one, or until closed.
  void sleepPast(std::uint64_t seen) {
    std::unique_lock lock(mutex_);
    rung_.wait(lock, [&] { return closed_ || rings_ != seen; });
  }

  // The same, giving up at `deadline`. True when rung or closed.
  bool sleepPastUntil(std::uint64_t seen,
                      std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(mutex_);
    return rung_.wait_until(lock, deadline,
                            [&] { return closed_ || rings_ != seen; });
  }

  // Nobody sleeps here any more, from now on.
  void close() {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
    }
    rung_.notify_all();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable rung_;
  std::uint64_t rings_ = 0;
  bool closed_ = false;
};

}  // namespace pelliwick
