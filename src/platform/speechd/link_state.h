#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "platform/blocking/blocking_worker.h"
#include "platform/speechd/speechd_client.h"
#include "platform/speechd/speechd_link.h"

namespace pelliwick::speechd {

// A request made on the worker; returns the message number it queued, or 0.
using Request = std::function<std::size_t(SpeechdClient&)>;

// One connection to one daemon: its worker, its client, the events of its
// messages, and the journal of what it took without waiting and has not
// been heard to finish. A connection once lost stays lost; a daemon that
// comes back gets a new one.
struct LinkState : MessageEvents, std::enable_shared_from_this<LinkState> {
  BlockingWorker worker;
  // Owned by the worker's jobs.
  std::unique_ptr<SpeechdClient> client;
  std::vector<DaemonVoice> listed;
  std::atomic<int> defaultRate{0};
  std::atomic<int> sockets[2] = {-1, -1};

  // Connects; on the worker.
  void connect();
  // Queues `request` on the worker, with `what` in the journal.
  BlockingWorker::Ticket post(Request request, std::optional<Unheard> what);

  // Filled by libspeechd's event threads.
  void finished(std::size_t id, bool wasCancelled) override;
  // Waits until message `id` has ended, for at most `slice`; true if it did.
  bool waitEnded(std::size_t id, std::chrono::milliseconds slice);

  bool isLost();
  void markLost();
  // The start's listing is judged by its own limit, not the request limit.
  void setListing(bool listing);
  // A job has waited longer than `limit`.
  bool stuckLongerThan(std::chrono::milliseconds limit);
  bool busy() const { return worker.waitingSince().has_value(); }
  bool hasRefused();
  // See SpeechdLink::takeUnheard.
  std::vector<Unheard> takeUnheard();

  // Makes the link's watcher look again; set before the first post.
  std::function<void()> wake;

 private:
  friend struct LinkInspector;  // tests count the cancelled messages
  struct Entry {
    std::uint64_t number = 0;
    Unheard what;
    std::size_t message = 0;  // once speech-dispatcher took it
  };
  void run(const Request& request, std::uint64_t entry);
  bool hungUp() const;
  bool lostLocked();
  void settleLocked(std::uint64_t entry, std::size_t message);

  std::mutex mutex_;  // guards everything below
  std::condition_variable eventArrived_;
  std::set<std::size_t> ended_;  // messages that ended or were cancelled
  std::size_t cancelled_ = 0;
  bool lost_ = false;
  bool listing_ = false;
  std::deque<Entry> journal_;
  std::vector<Unheard> refused_;
  std::uint64_t lastEntry_ = 0;
};

// What the link shares with its watcher thread, which may outlive it.
struct LinkWatch {
  Limits limits;
  std::mutex mutex;  // guards everything below
  std::condition_variable wake;
  std::shared_ptr<LinkState> state;  // the connection in use
  std::weak_ptr<LinkListener> listener;
  bool calling = false;  // the listener is being told
  std::condition_variable callEnded;
  bool stopping = false;
};

// The watcher: gives up on a connection whose request takes longer than the
// limit, tells the listener, and once lost, connects again every
// limits.retry to whatever answers at the address. Runs until stopping.
void watchLink(std::shared_ptr<LinkWatch> watch);

// A connected LinkState. Throws Failure when no speech-dispatcher answers at
// the address before `deadline`.
std::shared_ptr<LinkState> connectBefore(
    std::chrono::steady_clock::time_point deadline);

}  // namespace pelliwick::speechd
