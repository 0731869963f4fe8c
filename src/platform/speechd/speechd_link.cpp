// Implements, over libspeechd, what the game asks of a speech engine's
// connection: queued texts, characters, cancelling, and the end of a text.
// Deliberately ignored: pausing, index marks, SSML, priorities other than
// "message", and the other clients' messages.
#include "speechd_link.h"

#include <libspeechd.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <set>

#include "failure.h"

namespace pelliwick::speechd {

namespace {

constexpr auto kPingEvery = std::chrono::milliseconds(500);
constexpr std::size_t kMaxRemembered = 4096;
// Messages of this priority are spoken in order; a "text" one would cancel
// the texts queued before it.
constexpr SPDPriority kPriority = SPD_MESSAGE;

// What was last sent on a connection, so that unchanged settings cost
// nothing.
struct Sent {
  std::optional<int> rate;
  std::optional<int> volume;
  std::optional<std::size_t> voice;
};

std::string takeError(char* error) {
  std::string text = error != nullptr ? error : "no reason given";
  std::free(error);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  return text;
}

}  // namespace

struct SpeechdLink::State {
  // The worker's queue.
  std::mutex jobMutex;
  std::condition_variable jobReady;
  std::deque<std::function<void()>> jobs;
  bool stopping = false;

  // Owned by the worker.
  SPDConnection* own = nullptr;    // the player's default voice
  SPDConnection* other = nullptr;  // every other voice
  Sent ownSent;
  Sent otherSent;
  std::vector<DaemonVoice> voices;  // for the worker's voice changes
  // Asked for once: libspeechd's getters crash once the daemon has died.
  std::vector<std::size_t> clients;

  // Filled by libspeechd's event threads.
  std::mutex eventMutex;
  std::condition_variable eventArrived;
  std::set<std::size_t> finished;  // messages that ended or were cancelled
  std::size_t cancelled = 0;
  bool lost = false;

  void finish(std::size_t id, bool wasCancelled) {
    std::lock_guard lock(eventMutex);
    finished.insert(id);
    if (wasCancelled) ++cancelled;
    if (finished.size() > kMaxRemembered) finished.erase(finished.begin());
    eventArrived.notify_all();
  }
};

namespace {

// libspeechd's callbacks carry no user data, only the client number.
struct Registry {
  std::mutex mutex;
  std::map<std::size_t, std::weak_ptr<SpeechdLink::State>> states;
};

// Never destroyed: a link's thread left behind on a hung daemon may still
// use it while the program exits.
Registry& registry() {
  static auto* instance = new Registry;
  return *instance;
}

void onFinished(std::size_t msgId, std::size_t clientId,
                SPDNotificationType type) {
  std::shared_ptr<SpeechdLink::State> state;
  {
    std::lock_guard lock(registry().mutex);
    auto found = registry().states.find(clientId);
    if (found != registry().states.end()) state = found->second.lock();
  }
  if (state) state->finish(msgId, type == SPD_EVENT_CANCEL);
}

SPDConnection* connect(const std::shared_ptr<SpeechdLink::State>& state,
                       const char* name) {
  char* error = nullptr;
  SPDConnectionAddress* address = spd_get_default_address(&error);
  if (address == nullptr) {
    throw Failure("speech-dispatcher's address: " + takeError(error));
  }
  // No socket, no daemon: said at once, without asking libspeechd (which
  // also leaks a little on every connection that fails).
  if (address->method == SPD_METHOD_UNIX_SOCKET &&
      (address->unix_socket_name == nullptr ||
       access(address->unix_socket_name, F_OK) != 0)) {
    const std::string socket =
        address->unix_socket_name != nullptr ? address->unix_socket_name : "";
    SPDConnectionAddress__free(address);
    throw Failure("cannot reach speech-dispatcher: no socket at " + socket);
  }
  // Never autospawn: a player who uses speech-dispatcher has it running.
  SPDConnection* connection = spd_open2("pelliwick", name, nullptr,
                                        SPD_MODE_THREADED, address, 0, &error);
  SPDConnectionAddress__free(address);
  if (connection == nullptr) {
    throw Failure("cannot reach speech-dispatcher: " + takeError(error));
  }
  connection->callback_end = onFinished;
  connection->callback_cancel = onFinished;
  if (spd_set_notification_on(connection, SPD_END) != 0 ||
      spd_set_notification_on(connection, SPD_CANCEL) != 0) {
    spd_close(connection);
    throw Failure("speech-dispatcher refused to report the end of speech");
  }
  const int id = spd_get_client_id(connection);
  if (id < 0) {
    spd_close(connection);
    throw Failure("speech-dispatcher did not give its client number");
  }
  std::lock_guard lock(registry().mutex);
  registry().states[static_cast<std::size_t>(id)] = state;
  state->clients.push_back(static_cast<std::size_t>(id));
  return connection;
}

void disconnect(SPDConnection*& connection) {
  if (connection != nullptr) spd_close(connection);
  connection = nullptr;
}

std::vector<DaemonVoice> listVoices(SPDConnection* connection) {
  std::vector<DaemonVoice> result;
  char** modules = spd_list_modules(connection);
  if (modules == nullptr) {
    throw Failure("speech-dispatcher did not list its output modules");
  }
  for (char** module = modules; *module != nullptr; ++module) {
    if (spd_set_output_module(connection, *module) != 0) continue;
    SPDVoice** voices = spd_list_synthesis_voices(connection);
    // A module that cannot list its voices offers none.
    if (voices == nullptr) continue;
    for (SPDVoice** voice = voices; *voice != nullptr; ++voice) {
      auto text = [](const char* value) {
        return std::string(value != nullptr ? value : "");
      };
      result.push_back({*module, text((*voice)->name), text((*voice)->language),
                        text((*voice)->variant)});
    }
    free_spd_voices(voices);
  }
  free_spd_modules(modules);
  return result;
}

void check(int status, const char* what) {
  if (status != 0) {
    throw Failure(std::string("speech-dispatcher refused ") + what);
  }
}

// Sends the settings that differ from the last ones sent on `connection`.
void apply(SpeechdLink::State& state, SPDConnection* connection, Sent& sent,
           const MessageSettings& settings) {
  if (settings.voice && sent.voice != settings.voice) {
    const DaemonVoice& voice = state.voices.at(*settings.voice);
    sent.voice.reset();
    check(spd_set_output_module(connection, voice.module.c_str()),
          "the output module");
    check(spd_set_synthesis_voice(connection, voice.name.c_str()), "the voice");
    sent.voice = settings.voice;
  }
  if (sent.rate != settings.rate) {
    sent.rate.reset();
    check(spd_set_voice_rate(connection, settings.rate), "the rate");
    sent.rate = settings.rate;
  }
  if (sent.volume != settings.volume) {
    sent.volume.reset();
    check(spd_set_volume(connection, settings.volume), "the volume");
    sent.volume = settings.volume;
  }
}

SPDConnection* connectionFor(SpeechdLink::State& state,
                             const MessageSettings& settings, Sent*& sent) {
  if (settings.voice) {
    sent = &state.otherSent;
    return state.other;
  }
  sent = &state.ownSent;
  return state.own;
}

void work(std::shared_ptr<SpeechdLink::State> state, std::promise<void> done) {
  for (;;) {
    std::function<void()> job;
    {
      std::unique_lock lock(state->jobMutex);
      state->jobReady.wait(
          lock, [&] { return state->stopping || !state->jobs.empty(); });
      if (state->jobs.empty()) break;
      job = std::move(state->jobs.front());
      state->jobs.pop_front();
    }
    job();
  }
  disconnect(state->own);
  disconnect(state->other);
  {
    std::lock_guard lock(registry().mutex);
    for (std::size_t id : state->clients) registry().states.erase(id);
  }
  done.set_value();
}

}  // namespace

std::shared_ptr<SpeechdLink> SpeechdLink::open(Limits limits) {
  // libspeechd writes to its socket with write(): a daemon that went away
  // would end the program with SIGPIPE instead of failing the call.
  if (std::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
    throw Failure("cannot ignore SIGPIPE");
  }
  auto state = std::make_shared<State>();
  std::promise<void> workerDone;
  auto workerEnded = workerDone.get_future();
  std::shared_ptr<SpeechdLink> link(new SpeechdLink(
      state, std::thread(work, state, std::move(workerDone)), limits));
  link->workerEnded_ = std::move(workerEnded);
  auto rate = std::make_shared<int>(0);
  link->run(
      [state, rate](State& s) {
        s.own = connect(state, "main");
        s.other = connect(state, "voices");
        *rate = spd_get_voice_rate(s.own);
      },
      limits.connect);
  link->defaultRate_ = *rate;
  // Listed while the game opens its window and sound; voices() waits.
  auto listing = std::make_shared<std::promise<void>>();
  auto listed = listing->get_future();
  link->run(
      [listing](State& s) {
        try {
          s.voices = listVoices(s.other);
          listing->set_value();
        } catch (...) {
          listing->set_exception(std::current_exception());
        }
      },
      std::chrono::milliseconds::zero());
  link->listing_ = std::move(listed);
  return link;
}

SpeechdLink::SpeechdLink(std::shared_ptr<State> state, std::thread worker,
                         Limits limits)
    : state_(std::move(state)), worker_(std::move(worker)), limits_(limits) {}

SpeechdLink::~SpeechdLink() {
  {
    std::lock_guard lock(state_->jobMutex);
    state_->stopping = true;
  }
  state_->jobReady.notify_all();
  // A thread stuck in a call to a daemon that stopped answering would never
  // be joined: it is left to end with the process.
  if (!lost() &&
      workerEnded_.wait_for(limits_.request) == std::future_status::ready) {
    worker_.join();
  } else {
    worker_.detach();
  }
}

std::size_t SpeechdLink::cancelled() const {
  std::lock_guard lock(state_->eventMutex);
  return state_->cancelled;
}

bool SpeechdLink::lost() const {
  std::lock_guard lock(state_->eventMutex);
  return state_->lost;
}

void SpeechdLink::markLost() {
  std::lock_guard lock(state_->eventMutex);
  state_->lost = true;
}

void SpeechdLink::run(std::function<void(State&)> job,
                      std::chrono::milliseconds limit, bool isPing) {
  if (lost()) throw Failure("speech-dispatcher is no longer answering");
  // A request's limit must not count the listing queued before it.
  if (listing_.valid()) voices();
  auto done = std::make_shared<std::promise<void>>();
  auto result = done->get_future();
  {
    std::lock_guard lock(state_->jobMutex);
    state_->jobs.push_back([state = state_, job = std::move(job), done] {
      try {
        job(*state);
        done->set_value();
      } catch (...) {
        done->set_exception(std::current_exception());
      }
    });
  }
  state_->jobReady.notify_all();
  if (limit == std::chrono::milliseconds::zero()) return;
  if (result.wait_for(limit) != std::future_status::ready) {
    markLost();
    throw Failure("speech-dispatcher did not answer within " +
                  std::to_string(limit.count()) + " ms");
  }
  try {
    result.get();
  } catch (const Failure&) {
    if (isPing) {
      markLost();
      throw;
    }
    // libspeechd tells a refusal from a broken connection by nothing: a
    // harmless question marks the link lost when it is broken; the first
    // failure is the one reported.
    try {
      ping();
    } catch (const Failure&) {
    }
    throw;
  }
}

const std::vector<DaemonVoice>& SpeechdLink::voices() {
  if (listing_.valid()) {
    if (listing_.wait_for(limits_.listing) != std::future_status::ready) {
      markLost();
      throw Failure("speech-dispatcher did not list its voices in time");
    }
    // Reported once; afterwards the list is what was found, maybe nothing.
    // The worker wrote it before it fulfilled the promise and only reads it
    // from then on.
    listing_.get();
  }
  return state_->voices;
}

std::size_t SpeechdLink::say(const std::string& text,
                             const MessageSettings& settings) {
  auto id = std::make_shared<int>(-1);
  run(
      [text, settings, id](State& s) {
        Sent* sent = nullptr;
        SPDConnection* connection = connectionFor(s, settings, sent);
        apply(s, connection, *sent, settings);
        *id = spd_say(connection, kPriority, text.c_str());
        if (*id <= 0) throw Failure("speech-dispatcher refused a text");
      },
      limits_.request);
  return static_cast<std::size_t>(*id);
}

void SpeechdLink::sayCharacter(const std::string& character,
                               const MessageSettings& settings) {
  run(
      [character, settings](State& s) {
        Sent* sent = nullptr;
        SPDConnection* connection = connectionFor(s, settings, sent);
        apply(s, connection, *sent, settings);
        check(spd_char(connection, kPriority, character.c_str()),
              "a character");
      },
      limits_.request);
}

void SpeechdLink::cancel() {
  run(
      [](State& s) {
        check(spd_cancel(s.own), "to cancel speech");
        check(spd_cancel(s.other), "to cancel speech");
      },
      limits_.request);
}

void SpeechdLink::ping() {
  run(
      [](State& s) {
        if (s.own == nullptr) throw Failure("not connected");
        // A setting that changes nothing: libspeechd's getters read a
        // missing answer and crash when the daemon has died.
        check(spd_set_notification_on(s.own, SPD_END), "to answer; it stopped");
      },
      limits_.request, true);
}

void SpeechdLink::waitHeard(std::size_t id, std::chrono::milliseconds limit,
                            const std::function<bool()>& giveUp) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + limit;
  auto nextPing = Clock::now() + kPingEvery;
  for (;;) {
    {
      std::unique_lock lock(state_->eventMutex);
      const bool ended = state_->eventArrived.wait_for(
          lock, std::chrono::milliseconds(10),
          [&] { return state_->finished.count(id) != 0; });
      if (ended) {
        // Messages end in order: the earlier ones are of no more use.
        state_->finished.erase(state_->finished.begin(),
                               state_->finished.upper_bound(id));
        return;
      }
      if (Clock::now() >= deadline) {
        state_->lost = true;
        throw Failure("speech-dispatcher did not finish a text within " +
                      std::to_string(limit.count()) + " ms");
      }
    }
    if (giveUp && giveUp()) {
      // Not waited for: the program is ending and must not hang on a
      // daemon that stopped answering.
      run(
          [](State& s) {
            spd_cancel(s.own);
            spd_cancel(s.other);
          },
          std::chrono::milliseconds::zero());
      return;
    }
    if (Clock::now() >= nextPing) {
      // A daemon that died or stopped sends no event: ask it something;
      // a ping that fails or times out marks the link lost.
      ping();
      nextPing = Clock::now() + kPingEvery;
    }
  }
}

}  // namespace pelliwick::speechd
