#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "speech.h"

namespace pelliwick {

// A thread of its own that runs jobs one at a time, in the order they were
// posted. A job may block in a library without a limit; whoever waits for
// it waits with one, and can be told to stop waiting. A worker whose job
// never returns is left behind at the end instead of holding the program.
class SpeechWorker {
 public:
  using Job = std::function<void()>;
  using Ticket = std::uint64_t;

  enum class Outcome { Done, TimedOut, GaveUp };
  // How often a wait asks whether to give up: a close is heard well within
  // the program's end, and a long wait costs few wake-ups.
  static constexpr std::chrono::milliseconds kAskEvery{40};
  // A limit that never runs out.
  static constexpr std::chrono::milliseconds kForever =
      std::chrono::milliseconds::max();

  SpeechWorker();
  // Stops as stop() does, with a limit of 100 ms.
  ~SpeechWorker();
  SpeechWorker(const SpeechWorker&) = delete;
  SpeechWorker& operator=(const SpeechWorker&) = delete;

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
  // the thread ended in time. Later calls do nothing.
  bool stop(std::chrono::milliseconds limit);

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  bool stopped_ = false;
};

}  // namespace pelliwick
