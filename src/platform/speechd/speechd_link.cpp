// The lifetime of a speech-dispatcher link: every libspeechd call on a
// worker thread, purges and queued texts sent without waiting, a waited
// text waited for with a limit, and the link known as lost as soon as the
// daemon hangs up, stops answering or turns out not to be speech-dispatcher.
// A daemon that answers at the same address later gets a new connection.
#include "platform/speechd/speechd_link.h"

#include "platform/failure.h"
#include "platform/speechd/link_state.h"

namespace pelliwick::speechd {

namespace {

constexpr auto kPingEvery = std::chrono::milliseconds(250);
// How often a waited text looks at its message and the connection.
constexpr auto kLookEvery = std::chrono::milliseconds(10);

}  // namespace

std::shared_ptr<SpeechdLink> SpeechdLink::open(Limits limits) {
  const auto deadline = std::chrono::steady_clock::now() + limits.connect;
  auto state = connectBefore(deadline);
  std::shared_ptr<SpeechdLink> link(new SpeechdLink(limits));
  std::weak_ptr<LinkWatch> watch = link->watch_;
  state->wake = [watch] {
    if (auto alive = watch.lock()) alive->wake.notify_all();
  };
  link->watch_->state = state;
  // Listed while the game opens its window and sound; voices() waits.
  state->setListing(true);
  const auto listing = state->worker.post(
      [state] { state->listed = state->client->listVoices(); });
  link->listing_ = listing;
  link->listingDeadline_ = deadline;
  link->watcher_.post([watch = link->watch_] { watchLink(watch); });
  return link;
}

SpeechdLink::SpeechdLink(Limits limits)
    : limits_(limits), watch_(std::make_shared<LinkWatch>()) {
  watch_->limits = limits;
}

SpeechdLink::~SpeechdLink() {
  std::shared_ptr<LinkState> state;
  {
    std::lock_guard lock(watch_->mutex);
    watch_->stopping = true;
    state = watch_->state;
  }
  watch_->wake.notify_all();
  // A thread stuck in a call to a daemon that stopped answering is left to
  // end with the process.
  state->worker.post([state] { state->client.reset(); });
  state->worker.stop(limits_.close);
  // The watcher may be trying a daemon at the address: it ends on its own.
  watcher_.stop(std::chrono::milliseconds::zero());
}

std::shared_ptr<LinkState> SpeechdLink::current() const {
  std::lock_guard lock(watch_->mutex);
  return watch_->state;
}

int SpeechdLink::defaultRate() const { return current()->defaultRate; }

bool SpeechdLink::lost() const { return current()->isLost(); }

void SpeechdLink::setListener(std::weak_ptr<LinkListener> listener) {
  std::unique_lock lock(watch_->mutex);
  watch_->listener = std::move(listener);
  watch_->callEnded.wait(lock, [this] { return !watch_->calling; });
}

std::vector<Unheard> SpeechdLink::takeUnheard() {
  return current()->takeUnheard();
}

const std::vector<DaemonVoice>& SpeechdLink::voices() {
  if (listing_) {
    const auto ticket = *listing_;
    listing_.reset();
    const auto state = current();
    try {
      const auto rest =
          std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                       listingDeadline_ - std::chrono::steady_clock::now()),
                   std::chrono::milliseconds::zero());
      if (state->worker.wait(ticket, rest) != BlockingWorker::Outcome::Done) {
        throw Failure("speech-dispatcher did not list its voices within " +
                      std::to_string(limits_.connect.count()) + " ms");
      }
      // libspeechd lists nothing, without failing, for a daemon that died.
      if (state->isLost()) {
        throw Failure("speech-dispatcher hung up while listing");
      }
    } catch (const Failure&) {
      state->markLost();
      throw;
    }
    // The job has ended: the list is no longer the worker's.
    voices_ = std::move(state->listed);
    state->setListing(false);
  }
  return voices_;
}

void SpeechdLink::queue(std::function<std::size_t(SpeechdClient&)> request,
                        Unheard what) {
  // A request's limit must not count the listing queued before it.
  if (listing_) voices();
  const auto state = current();
  if (state->isLost()) {
    throw Failure("speech-dispatcher is no longer answering");
  }
  state->post(std::move(request), std::move(what));
  watch_->wake.notify_all();
}

void SpeechdLink::say(const std::string& text, const MessageSettings& settings,
                      Unheard what) {
  queue(
      [text, settings](SpeechdClient& client) {
        return client.say(text, settings, false);
      },
      std::move(what));
}

void SpeechdLink::sayCharacter(const std::string& character,
                               const MessageSettings& settings, Unheard what) {
  queue(
      [character, settings](SpeechdClient& client) -> std::size_t {
        client.sayCharacter(character, settings);
        return 0;
      },
      std::move(what));
}

void SpeechdLink::cancel() {
  Unheard purge;
  purge.purge = true;
  queue(
      [](SpeechdClient& client) -> std::size_t {
        client.cancel();
        return 0;
      },
      std::move(purge));
}

void SpeechdLink::sayAndWait(const std::string& text,
                             const MessageSettings& settings,
                             std::chrono::milliseconds limit,
                             const GiveUp& giveUp) {
  using Clock = std::chrono::steady_clock;
  if (listing_) voices();
  const auto state = current();
  if (state->isLost()) {
    throw Failure("speech-dispatcher is no longer answering");
  }
  auto id = std::make_shared<std::size_t>(0);
  const auto said = state->post(
      [text, settings, id](SpeechdClient& client) {
        *id = client.say(text, settings, true);
        return *id;
      },
      std::nullopt);
  watch_->wake.notify_all();
  const auto closing = [&giveUp] { return giveUp && giveUp(); };
  auto stopWaiting = [&] {
    // Not waited for: the program is ending and must not hang on a daemon
    // that stopped answering.
    state->post(
        [](SpeechdClient& client) -> std::size_t {
          client.cancel();
          return 0;
        },
        std::nullopt);
  };
  const auto outcome = state->worker.wait(
      said, limits_.request, [&] { return closing() || state->isLost(); });
  if (outcome == BlockingWorker::Outcome::TimedOut) {
    state->markLost();
    throw Failure("speech-dispatcher did not answer within " +
                  std::to_string(limits_.request.count()) + " ms");
  }
  if (outcome == BlockingWorker::Outcome::GaveUp) {
    if (state->isLost()) {
      throw Failure("speech-dispatcher stopped answering before a text");
    }
    stopWaiting();
    return;
  }

  auto fail = [&state](const std::string& why) {
    state->markLost();
    throw Failure(why);
  };
  auto nextPing = Clock::now() + kPingEvery;
  BlockingWorker::Ticket ping = 0;  // none asked
  auto pingSent = Clock::now();
  // A daemon that stopped sends no event and keeps its socket: ask it
  // something, without waiting, and see that it answers in time.
  const auto checkAnswers = [&] {
    const auto now = Clock::now();
    if (ping == 0 && now >= nextPing) {
      ping = state->post(
          [](SpeechdClient& client) -> std::size_t {
            client.ping();
            return 0;
          },
          std::nullopt);
      pingSent = now;
    } else if (ping != 0 && state->worker.done(ping)) {
      try {
        state->worker.wait(ping, std::chrono::milliseconds::zero());
      } catch (const Failure& failure) {
        fail(std::string("speech-dispatcher stopped answering: ") +
             failure.what());
      }
      ping = 0;
      nextPing = now + kPingEvery;
    } else if (ping != 0 && now - pingSent >= limits_.request) {
      fail("speech-dispatcher stopped answering");
    }
  };
  const auto ended = waitAsking(
      [&](std::chrono::milliseconds slice) {
        return state->waitEnded(*id, slice);
      },
      limit,
      [&] {
        if (state->isLost() || closing()) return true;
        checkAnswers();
        return false;
      },
      kLookEvery);
  if (ended == BlockingWorker::Outcome::Done) return;
  if (state->isLost()) {
    throw Failure("speech-dispatcher hung up before a text ended");
  }
  if (ended == BlockingWorker::Outcome::TimedOut) {
    fail("speech-dispatcher did not finish a text within " +
         std::to_string(limit.count()) + " ms");
  }
  stopWaiting();
}

}  // namespace pelliwick::speechd
