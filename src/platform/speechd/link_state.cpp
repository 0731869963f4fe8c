// One speech-dispatcher connection and the link's watcher: what the daemon
// took without the game waiting, when it is taken as gone, and the new
// connection made when a daemon answers at the same address again.
// Deliberately ignored: a daemon that comes back with other voices keeps
// the list of the first (a voice it lacks is refused and said by the
// embedded engine).
#include "platform/speechd/link_state.h"

#include <algorithm>

#include "platform/failure.h"
#include "platform/speechd/ssip_probe.h"

namespace pelliwick::speechd {

namespace {

constexpr std::size_t kMaxRemembered = 4096;
// Texts queued behind each other with no purge between them, at most.
constexpr std::size_t kMostUnheard = 64;
// How often the watcher looks while requests are on their way, and while
// none is (a daemon that died is known from its socket).
constexpr auto kLookBusy = std::chrono::milliseconds(50);
constexpr auto kLookIdle = std::chrono::milliseconds(250);

std::chrono::milliseconds left(std::chrono::steady_clock::time_point end) {
  const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(
      end - std::chrono::steady_clock::now());
  return std::max(rest, std::chrono::milliseconds::zero());
}

}  // namespace

void LinkState::connect() {
  client = std::make_unique<SpeechdClient>(weak_from_this());
  defaultRate = client->defaultRate();
  const std::vector<int> found = client->sockets();
  for (std::size_t i = 0; i < found.size() && i < 2; ++i) {
    sockets[i] = found[i];
  }
}

BlockingWorker::Ticket LinkState::post(Request request,
                                       std::optional<Unheard> what) {
  // The entry exists before its job can end.
  std::lock_guard lock(mutex_);
  std::uint64_t entry = 0;
  if (what) {
    entry = ++lastEntry_;
    journal_.push_back({entry, std::move(*what), 0});
    if (journal_.size() > kMostUnheard) journal_.pop_front();
  }
  return worker.post([self = shared_from_this(), request = std::move(request),
                      entry] { self->run(request, entry); });
}

void LinkState::run(const Request& request, std::uint64_t entry) {
  // Once given up, nothing queued reaches this daemon any more, should it
  // wake: the embedded engine, or a new connection, has taken over.
  if (isLost()) throw Failure("speech-dispatcher is no longer answering");
  if (!client) throw Failure("not connected to speech-dispatcher");
  std::size_t message = 0;
  try {
    message = request(*client);
  } catch (const Failure&) {
    // libspeechd tells a refusal from a broken connection by nothing: a
    // harmless question does.
    bool refused = false;
    if (!hungUp()) {
      try {
        client->ping();
        refused = true;
      } catch (const Failure&) {
      }
    }
    std::lock_guard lock(mutex_);
    if (!refused) lost_ = true;
    auto found =
        std::find_if(journal_.begin(), journal_.end(),
                     [&](const Entry& e) { return e.number == entry; });
    if (refused && found != journal_.end()) {
      refused_.push_back(found->what);
      journal_.erase(found);
    }
    eventArrived_.notify_all();
    if (wake) wake();
    throw;
  }
  std::lock_guard lock(mutex_);
  settleLocked(entry, message);
}

void LinkState::settleLocked(std::uint64_t entry, std::size_t message) {
  auto found = std::find_if(journal_.begin(), journal_.end(),
                            [&](const Entry& e) { return e.number == entry; });
  if (found == journal_.end()) return;
  if (found->what.purge) {
    // Everything before the purge is silenced.
    journal_.erase(journal_.begin(), found + 1);
  } else if (message != 0 && ended_.count(message) != 0) {
    journal_.erase(found);
  } else {
    found->message = message;
  }
}

void LinkState::finished(std::size_t id, bool wasCancelled) {
  std::lock_guard lock(mutex_);
  ended_.insert(id);
  if (wasCancelled) ++cancelled_;
  if (ended_.size() > kMaxRemembered) ended_.erase(ended_.begin());
  std::erase_if(journal_, [id](const Entry& e) { return e.message == id; });
  eventArrived_.notify_all();
}

bool LinkState::waitEnded(std::size_t id, std::chrono::milliseconds slice) {
  std::unique_lock lock(mutex_);
  if (!eventArrived_.wait_for(lock, slice,
                              [&] { return ended_.count(id) != 0; })) {
    return false;
  }
  // Messages end in order: the earlier ones are of no more use.
  ended_.erase(ended_.begin(), ended_.upper_bound(id));
  return true;
}

bool LinkState::hungUp() const {
  for (const auto& socket : sockets) {
    const int fd = socket.load();
    if (fd >= 0 && peerClosed(fd)) return true;
  }
  return false;
}

bool LinkState::lostLocked() {
  if (!lost_ && hungUp()) lost_ = true;
  return lost_;
}

bool LinkState::isLost() {
  std::lock_guard lock(mutex_);
  return lostLocked();
}

void LinkState::markLost() {
  std::lock_guard lock(mutex_);
  lost_ = true;
  eventArrived_.notify_all();
}

void LinkState::setListing(bool listing) {
  std::lock_guard lock(mutex_);
  listing_ = listing;
}

bool LinkState::stuckLongerThan(std::chrono::milliseconds limit) {
  {
    std::lock_guard lock(mutex_);
    if (listing_) return false;
  }
  const auto since = worker.waitingSince();
  return since && std::chrono::steady_clock::now() - *since > limit;
}

bool LinkState::hasRefused() {
  std::lock_guard lock(mutex_);
  return !refused_.empty();
}

std::vector<Unheard> LinkState::takeUnheard() {
  std::lock_guard lock(mutex_);
  std::vector<Unheard> taken = std::move(refused_);
  refused_.clear();
  if (lostLocked()) {
    for (Entry& entry : journal_) taken.push_back(std::move(entry.what));
    journal_.clear();
  }
  return taken;
}

std::shared_ptr<LinkState> connectBefore(
    std::chrono::steady_clock::time_point deadline) {
  // libspeechd ends the program when what answers is not speech-dispatcher.
  probe(defaultAddress(), deadline);
  auto state = std::make_shared<LinkState>();
  const auto connected = state->worker.post([state] { state->connect(); });
  try {
    if (state->worker.wait(connected, left(deadline)) ==
        BlockingWorker::Outcome::Done) {
      return state;
    }
  } catch (const Failure&) {
    state->markLost();
    throw;
  }
  state->markLost();
  throw Failure("speech-dispatcher did not answer within the start's limit");
}

namespace {

// Calls the listener, if there still is one, unlocked; the link's
// setListener() waits until it is done and the listener let go of.
void tellListener(LinkWatch& watch, std::unique_lock<std::mutex>& lock) {
  auto listener = watch.listener.lock();
  if (!listener) return;
  watch.calling = true;
  lock.unlock();
  listener->linkChanged();
  listener.reset();
  lock.lock();
  watch.calling = false;
  watch.callEnded.notify_all();
}

}  // namespace

namespace {

// The watcher's own view of the link: whether the listener knows the
// connection in use is lost, when to try a new one, and when to look next.
class Watcher {
  using Clock = std::chrono::steady_clock;

 public:
  explicit Watcher(std::shared_ptr<LinkWatch> watch)
      : watch_(std::move(watch)), nextTry_(Clock::now()) {}

  // Looks at the connection in use, and at once again at a new one. True
  // once the link is closing.
  bool look() {
    std::unique_lock lock(watch_->mutex);
    while (!watch_->stopping) {
      if (!lookOnce(lock)) return false;
    }
    return true;
  }

  // Sleeps until woken, until the next look is due, or for `slice`. True
  // once the link is closing.
  bool sleep(std::chrono::milliseconds slice) {
    std::unique_lock lock(watch_->mutex);
    if (!watch_->stopping) watch_->wake.wait_for(lock, std::min(slice, next_));
    return watch_->stopping;
  }

 private:
  // True when a new connection took over.
  bool lookOnce(std::unique_lock<std::mutex>& lock) {
    const auto state = watch_->state;
    const auto limits = watch_->limits;
    lock.unlock();
    if (!state->isLost() && state->stuckLongerThan(limits.request)) {
      state->markLost();
    }
    const bool lost = state->isLost();
    lock.lock();
    if ((lost && !told_) || state->hasRefused()) {
      told_ = told_ || lost;
      tellListener(*watch_, lock);
      // Unheard and unwanted once nobody listens.
      if (watch_->listener.expired()) state->takeUnheard();
    }
    std::shared_ptr<LinkState> fresh;
    if (lost && Clock::now() >= nextTry_) {
      lock.unlock();
      try {
        fresh = connectBefore(Clock::now() + limits.connect);
        fresh->wake = state->wake;
      } catch (const Failure&) {
        // Nobody answers there yet.
      }
      nextTry_ = Clock::now() + limits.retry;
      lock.lock();
    }
    if (fresh && !watch_->stopping) {
      watch_->state = fresh;
      told_ = false;
      // The old client goes on its own thread, whenever that is free.
      state->worker.post([state] { state->client.reset(); });
      tellListener(*watch_, lock);
      return true;
    }
    next_ = lost            ? std::max(left(nextTry_), kLookBusy)
            : state->busy() ? kLookBusy
                            : kLookIdle;
    return false;
  }

  std::shared_ptr<LinkWatch> watch_;
  bool told_ = false;  // the listener knows the connection in use is lost
  Clock::time_point nextTry_;
  std::chrono::milliseconds next_ = kLookIdle;
};

}  // namespace

void watchLink(std::shared_ptr<LinkWatch> watch) {
  Watcher watcher(std::move(watch));
  if (watcher.look()) return;
  // Every sleep, however it ends, is followed by a look.
  waitAsking(
      [&](std::chrono::milliseconds slice) { return watcher.sleep(slice); },
      BlockingWorker::kForever, [&] { return watcher.look(); },
      BlockingWorker::kForever);
}

}  // namespace pelliwick::speechd
