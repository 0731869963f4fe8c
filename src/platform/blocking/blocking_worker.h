#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace pelliwick {

// The one way this program runs a call that may block without a limit (a
// speech library, a daemon's socket, the braille service, the sound
// server): on a thread of its own, jobs one at a time in the order they
// were posted. Whoever waits for a job waits with a limit and can be told
// to stop waiting; a worker whose job never returns is walked away from,
// and its thread ends with the process instead of holding it.
class BlockingWorker {
 public:
  using Job = std::function<void()>;
  using Ticket = std::uint64_t;
  // Asked while waiting: true to stop waiting.
  using GiveUp = std::function<bool()>;
  // Starts `body` on a new thread that nobody joins. A backend whose
  // library keeps state per thread gives one of the library's own.
  using ThreadStarter = std::function<void(std::function<void()> body)>;

  enum class Outcome { Done, TimedOut, GaveUp };
  // How often a wait asks whether to give up: a close is heard well within
  // the program's end, and a long wait costs few wake-ups.
  static constexpr std::chrono::milliseconds kAskEvery{40};
  // A limit that never runs out.
  static constexpr std::chrono::milliseconds kForever =
      std::chrono::milliseconds::max();

  // `start` defaults to a plain std::thread.
  explicit BlockingWorker(const ThreadStarter& start = {});
  // Stops as stop() does, with a limit of 100 ms.
  ~BlockingWorker();
  BlockingWorker(const BlockingWorker&) = delete;
  BlockingWorker& operator=(const BlockingWorker&) = delete;

  // Queues a job; its ticket is what wait() takes.
  Ticket post(Job job);

  // Waits until job `ticket` has run, for at most `limit`, asking `giveUp`
  // (when set) every kAskEvery whether to stop waiting. Done rethrows what the
  // job threw. Each ticket is waited for once at most.
  Outcome wait(Ticket ticket, std::chrono::milliseconds limit,
               const GiveUp& giveUp = {});

  // Whether job `ticket` has run, without waiting.
  bool done(Ticket ticket) const;

  // When the oldest job that has not finished yet was posted; none when
  // every job has run. A job stuck in a library shows here.
  std::optional<std::chrono::steady_clock::time_point> waitingSince() const;

  // Runs what is queued, then ends the thread; waits `limit` for that and
  // leaves a thread still stuck in a job to end with the process. True when
  // the thread ended in time. Later calls do nothing. A limit of zero walks
  // away at once: what is queued still runs, later, on the old thread.
  bool stop(std::chrono::milliseconds limit);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  bool stopped_ = false;
};

// Waits through `waitFor`, which waits at most the slice it is given and
// says whether what is awaited came, until it comes (Done), `limit` runs
// out (TimedOut), or `giveUp`, asked every `every`, says to stop (GaveUp).
// Without `giveUp` the wait is one slice as long as the limit.
BlockingWorker::Outcome waitAsking(
    const std::function<bool(std::chrono::milliseconds slice)>& waitFor,
    std::chrono::milliseconds limit, const BlockingWorker::GiveUp& giveUp,
    std::chrono::milliseconds every = BlockingWorker::kAskEvery);

}  // namespace pelliwick
