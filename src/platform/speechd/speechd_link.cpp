// The lifetime of a speech-dispatcher connection: every libspeechd call on
// the worker thread with a limit, and the link known as lost as soon as the
// daemon hangs up, stops answering or turns out not to be speech-dispatcher.
// Deliberately ignored: a daemon that comes back; the game goes on with its
// embedded engine.
#include "speechd_link.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <set>

#include "failure.h"
#include "speech_worker.h"
#include "ssip_probe.h"

namespace pelliwick::speechd {

namespace {

constexpr auto kPingEvery = std::chrono::milliseconds(250);
constexpr std::size_t kMaxRemembered = 4096;

std::chrono::milliseconds left(Deadline deadline) {
  const auto rest = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return std::max(rest, std::chrono::milliseconds::zero());
}

}  // namespace

struct SpeechdLink::State : MessageEvents {
  SpeechWorker worker;
  // Owned by the worker's jobs.
  std::unique_ptr<SpeechdClient> client;
  std::vector<DaemonVoice> listed;

  std::atomic<int> sockets[2] = {-1, -1};

  // Filled by libspeechd's event threads.
  std::mutex eventMutex;
  std::condition_variable eventArrived;
  std::set<std::size_t> ended;  // messages that ended or were cancelled
  std::size_t cancelled = 0;
  bool lost = false;

  // The link's own, kept here so that the worker can outlive the link.
  std::optional<SpeechWorker::Ticket> listing;
  Deadline listingDeadline;
  std::vector<DaemonVoice> voices;

  void finished(std::size_t id, bool wasCancelled) override {
    std::lock_guard lock(eventMutex);
    ended.insert(id);
    if (wasCancelled) ++cancelled;
    if (ended.size() > kMaxRemembered) ended.erase(ended.begin());
    eventArrived.notify_all();
  }

  bool lostLocked() {
    if (lost) return true;
    for (const auto& socket : sockets) {
      const int fd = socket.load();
      if (fd >= 0 && peerClosed(fd)) lost = true;
    }
    return lost;
  }
};

std::shared_ptr<SpeechdLink> SpeechdLink::open(Limits limits) {
  const Deadline deadline = std::chrono::steady_clock::now() + limits.connect;
  probe(defaultAddress(), deadline);
  std::shared_ptr<SpeechdLink> link(new SpeechdLink(limits));
  auto state = link->state_;
  auto rate = std::make_shared<int>(0);
  const auto connected = state->worker.post([state, rate] {
    state->client = std::make_unique<SpeechdClient>(state);
    *rate = state->client->defaultRate();
    const std::vector<int> sockets = state->client->sockets();
    for (std::size_t i = 0; i < sockets.size() && i < 2; ++i) {
      state->sockets[i] = sockets[i];
    }
  });
  try {
    if (state->worker.wait(connected, left(deadline)) !=
        SpeechWorker::Outcome::Done) {
      throw Failure("speech-dispatcher did not answer within " +
                    std::to_string(limits.connect.count()) + " ms");
    }
  } catch (const Failure&) {
    link->markLost();
    throw;
  }
  link->defaultRate_ = *rate;
  // Listed while the game opens its window and sound; voices() waits.
  state->listing = state->worker.post(
      [state] { state->listed = state->client->listVoices(); });
  state->listingDeadline = deadline;
  return link;
}

SpeechdLink::SpeechdLink(Limits limits)
    : limits_(limits), state_(std::make_shared<State>()) {}

SpeechdLink::~SpeechdLink() {
  // A thread stuck in a call to a daemon that stopped answering is left to
  // end with the process.
  state_->worker.post([state = state_] { state->client.reset(); });
  state_->worker.stop(limits_.close);
}

std::size_t SpeechdLink::cancelled() const {
  std::lock_guard lock(state_->eventMutex);
  return state_->cancelled;
}

bool SpeechdLink::lost() const {
  std::lock_guard lock(state_->eventMutex);
  return state_->lostLocked();
}

void SpeechdLink::markLost() const {
  std::lock_guard lock(state_->eventMutex);
  state_->lost = true;
}

const std::vector<DaemonVoice>& SpeechdLink::voices() {
  if (state_->listing) {
    const auto ticket = *state_->listing;
    state_->listing.reset();
    try {
      if (state_->worker.wait(ticket, left(state_->listingDeadline)) !=
          SpeechWorker::Outcome::Done) {
        throw Failure("speech-dispatcher did not list its voices within " +
                      std::to_string(limits_.connect.count()) + " ms");
      }
      // libspeechd lists nothing, without failing, for a daemon that died.
      if (lost()) throw Failure("speech-dispatcher hung up while listing");
    } catch (const Failure&) {
      markLost();
      throw;
    }
    // The job has ended: the list is no longer the worker's.
    state_->voices = std::move(state_->listed);
  }
  return state_->voices;
}

std::uint64_t SpeechdLink::post(std::function<void(SpeechdClient&)> job) {
  return state_->worker.post([state = state_, job = std::move(job)] {
    if (!state->client) throw Failure("not connected to speech-dispatcher");
    job(*state->client);
  });
}

void SpeechdLink::run(std::function<void(SpeechdClient&)> job) {
  if (lost()) throw Failure("speech-dispatcher is no longer answering");
  // A request's limit must not count the listing queued before it.
  if (state_->listing) voices();
  const auto ticket = post(std::move(job));
  try {
    if (state_->worker.wait(ticket, limits_.request) ==
        SpeechWorker::Outcome::Done) {
      return;
    }
  } catch (const Failure&) {
    // libspeechd tells a refusal from a broken connection by nothing: a
    // harmless question marks the link lost when it is broken; the first
    // failure is the one reported.
    const auto ping = post([](SpeechdClient& client) { client.ping(); });
    try {
      if (state_->worker.wait(ping, limits_.request) !=
          SpeechWorker::Outcome::Done) {
        markLost();
      }
    } catch (const Failure&) {
      markLost();
    }
    throw;
  }
  markLost();
  throw Failure("speech-dispatcher did not answer within " +
                std::to_string(limits_.request.count()) + " ms");
}

std::size_t SpeechdLink::say(const std::string& text,
                             const MessageSettings& settings, bool waited) {
  auto id = std::make_shared<std::size_t>(0);
  run([text, settings, waited, id](SpeechdClient& client) {
    *id = client.say(text, settings, waited);
  });
  return *id;
}

void SpeechdLink::sayCharacter(const std::string& character,
                               const MessageSettings& settings) {
  run([character, settings](SpeechdClient& client) {
    client.sayCharacter(character, settings);
  });
}

void SpeechdLink::cancel() {
  run([](SpeechdClient& client) { client.cancel(); });
}

void SpeechdLink::waitHeard(std::size_t id, std::chrono::milliseconds limit,
                            const GiveUp& giveUp) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + limit;
  auto nextPing = Clock::now() + kPingEvery;
  SpeechWorker::Ticket ping = 0;  // none asked
  auto pingSent = Clock::now();
  auto fail = [this](const std::string& why) {
    markLost();
    throw Failure(why);
  };
  for (;;) {
    {
      std::unique_lock lock(state_->eventMutex);
      const bool ended = state_->eventArrived.wait_for(
          lock, std::chrono::milliseconds(10),
          [&] { return state_->ended.count(id) != 0; });
      if (ended) {
        // Messages end in order: the earlier ones are of no more use.
        state_->ended.erase(state_->ended.begin(),
                            state_->ended.upper_bound(id));
        return;
      }
      if (state_->lostLocked()) {
        throw Failure("speech-dispatcher hung up before a text ended");
      }
    }
    const auto now = Clock::now();
    if (now >= deadline) {
      fail("speech-dispatcher did not finish a text within " +
           std::to_string(limit.count()) + " ms");
    }
    if (giveUp && giveUp()) {
      // Not waited for: the program is ending and must not hang on a
      // daemon that stopped answering.
      post([](SpeechdClient& client) { client.cancel(); });
      return;
    }
    // A daemon that stopped sends no event and keeps its socket: ask it
    // something, without waiting, and see that it answers in time.
    if (ping == 0 && now >= nextPing) {
      ping = post([](SpeechdClient& client) { client.ping(); });
      pingSent = now;
    } else if (ping != 0 && state_->worker.done(ping)) {
      try {
        state_->worker.wait(ping, std::chrono::milliseconds::zero());
      } catch (const Failure& failure) {
        fail(std::string("speech-dispatcher stopped answering: ") +
             failure.what());
      }
      ping = 0;
      nextPing = now + kPingEvery;
    } else if (ping != 0 && now - pingSent >= limits_.request) {
      fail("speech-dispatcher stopped answering");
    }
  }
}

}  // namespace pelliwick::speechd
