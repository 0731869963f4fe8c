// Implements, over libspeechd, what the game asks of a speech engine's
// connection: queued texts, characters, cancelling, the end of a text, and
// the list of voices. Deliberately ignored: pausing, index marks, SSML, the
// other clients' messages, and the voices the embedded engine has already.
#include "platform/speechd/speechd_client.h"

#include <libspeechd.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "platform/failure.h"

namespace pelliwick::speechd {

namespace {

// What the game queues without waiting (a key's echo, a prompt) starts at
// once, within 20 to 50 ms, even while another program (a screen reader) is
// speaking, at the cost of that program's current message; "message" would
// wait behind everything the other program queued, seconds at a time.
// Important messages queue in order among themselves and our purge cancels
// them. A text the game waits for is a message: it does not cut the other
// program, and its wait also ends when another program's important message
// cancels it. "text" would cancel the game's own queued texts, a
// "notification" is dropped whenever anything speaks, and "progress" cannot
// be cancelled.
constexpr SPDPriority kQueuedPriority = SPD_IMPORTANT;
constexpr SPDPriority kWaitedPriority = SPD_MESSAGE;

std::string takeError(char* error) {
  std::string text = error != nullptr ? error : "no reason given";
  std::free(error);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  return text;
}

void check(int status, const char* what) {
  if (status != 0) {
    throw Failure(std::string("speech-dispatcher refused ") + what);
  }
}

// libspeechd's callbacks carry no user data, only the client number.
struct Registry {
  std::mutex mutex;
  std::map<std::size_t, std::weak_ptr<MessageEvents>> clients;
};

// Never destroyed: a link's thread left behind on a hung daemon may still
// use it while the program exits.
Registry& registry() {
  static auto* instance = new Registry;
  return *instance;
}

void onFinished(std::size_t msgId, std::size_t clientId,
                SPDNotificationType type) {
  std::shared_ptr<MessageEvents> events;
  {
    std::lock_guard lock(registry().mutex);
    auto found = registry().clients.find(clientId);
    if (found != registry().clients.end()) events = found->second.lock();
  }
  if (events) events->finished(msgId, type == SPD_EVENT_CANCEL);
}

}  // namespace

bool offersOwnVoices(const std::string& module) {
  // The embedded engine is espeak-ng with the same voices; speech-dispatcher
  // lists them once per variant, thirteen thousand in all.
  return module != "espeak-ng";
}

std::vector<DaemonVoice> withoutVariants(std::vector<DaemonVoice> voices) {
  std::set<std::pair<std::string, std::string>> seen;
  std::vector<DaemonVoice> kept;
  for (DaemonVoice& voice : voices) {
    const bool variant = !voice.variant.empty() && voice.variant != "none";
    if (variant || !seen.insert({voice.module, voice.name}).second) continue;
    kept.push_back(std::move(voice));
  }
  return kept;
}

// What was last sent on a connection, so that unchanged settings cost
// nothing.
struct SpeechdClient::Connection {
  SPDConnection* spd = nullptr;
  std::size_t clientId = 0;
  std::optional<int> rate;
  std::optional<int> volume;
  std::optional<DaemonVoice> voice;
  std::weak_ptr<MessageEvents> events;

  Connection(const char* name, const std::weak_ptr<MessageEvents>& told)
      : events(told) {
    char* error = nullptr;
    SPDConnectionAddress* address = spd_get_default_address(&error);
    if (address == nullptr) {
      throw Failure("speech-dispatcher's address: " + takeError(error));
    }
    // Never autospawn: a player who uses speech-dispatcher has it running.
    spd = spd_open2("pelliwick", name, nullptr, SPD_MODE_THREADED, address, 0,
                    &error);
    SPDConnectionAddress__free(address);
    if (spd == nullptr) {
      throw Failure("cannot reach speech-dispatcher: " + takeError(error));
    }
    spd->callback_end = onFinished;
    spd->callback_cancel = onFinished;
    const int id = spd_set_notification_on(spd, SPD_END) == 0 &&
                           spd_set_notification_on(spd, SPD_CANCEL) == 0
                       ? spd_get_client_id(spd)
                       : -1;
    if (id < 0) {
      spd_close(spd);
      throw Failure("speech-dispatcher refused to report the end of speech");
    }
    clientId = static_cast<std::size_t>(id);
    std::lock_guard lock(registry().mutex);
    registry().clients[clientId] = events;
  }

  ~Connection() {
    spd_close(spd);
    // A new daemon numbers its clients afresh: the number may be another
    // connection's by now.
    std::lock_guard lock(registry().mutex);
    auto found = registry().clients.find(clientId);
    if (found != registry().clients.end() &&
        !found->second.owner_before(events) &&
        !events.owner_before(found->second)) {
      registry().clients.erase(found);
    }
  }
};

SpeechdClient::SpeechdClient(std::weak_ptr<MessageEvents> events)
    : own_(std::make_unique<Connection>("main", events)),
      other_(std::make_unique<Connection>("voices", events)) {}

SpeechdClient::~SpeechdClient() = default;

int SpeechdClient::defaultRate() { return spd_get_voice_rate(own_->spd); }

std::vector<DaemonVoice> SpeechdClient::listVoices() {
  std::vector<DaemonVoice> found;
  char** modules = spd_list_modules(other_->spd);
  if (modules == nullptr) {
    throw Failure("speech-dispatcher did not list its output modules");
  }
  auto text = [](const char* value) {
    return std::string(value != nullptr ? value : "");
  };
  for (char** module = modules; *module != nullptr; ++module) {
    if (!offersOwnVoices(*module)) continue;
    if (spd_set_output_module(other_->spd, *module) != 0) continue;
    SPDVoice** voices = spd_list_synthesis_voices(other_->spd);
    // A module that cannot list its voices offers none.
    if (voices == nullptr) continue;
    for (SPDVoice** voice = voices; *voice != nullptr; ++voice) {
      found.push_back({*module, text((*voice)->name), text((*voice)->language),
                       text((*voice)->variant)});
    }
    free_spd_voices(voices);
  }
  free_spd_modules(modules);
  // The listing left some module set: the next voice sets its own.
  other_->voice.reset();
  return withoutVariants(std::move(found));
}

std::vector<int> SpeechdClient::sockets() const {
  return {own_->spd->socket, other_->spd->socket};
}

SpeechdClient::Connection& SpeechdClient::connectionFor(
    const MessageSettings& settings) {
  return settings.voice ? *other_ : *own_;
}

void SpeechdClient::apply(Connection& connection,
                          const MessageSettings& settings) {
  if (settings.voice && connection.voice != settings.voice) {
    const DaemonVoice& voice = *settings.voice;
    connection.voice.reset();
    check(spd_set_output_module(connection.spd, voice.module.c_str()),
          "the output module");
    check(spd_set_synthesis_voice(connection.spd, voice.name.c_str()),
          "the voice");
    connection.voice = settings.voice;
  }
  if (connection.rate != settings.rate) {
    connection.rate.reset();
    check(spd_set_voice_rate(connection.spd, settings.rate), "the rate");
    connection.rate = settings.rate;
  }
  if (connection.volume != settings.volume) {
    connection.volume.reset();
    check(spd_set_volume(connection.spd, settings.volume), "the volume");
    connection.volume = settings.volume;
  }
}

std::size_t SpeechdClient::say(const std::string& text,
                               const MessageSettings& settings, bool waited) {
  Connection& connection = connectionFor(settings);
  apply(connection, settings);
  const int id = spd_say(
      connection.spd, waited ? kWaitedPriority : kQueuedPriority, text.c_str());
  if (id <= 0) throw Failure("speech-dispatcher refused a text");
  return static_cast<std::size_t>(id);
}

void SpeechdClient::sayCharacter(const std::string& character,
                                 const MessageSettings& settings) {
  Connection& connection = connectionFor(settings);
  apply(connection, settings);
  check(spd_char(connection.spd, kQueuedPriority, character.c_str()),
        "a character");
}

void SpeechdClient::cancel() {
  // Each cancel reaches its own connection only: back to back, so that what
  // the other one queued cannot start in between.
  check(spd_cancel(own_->spd), "to cancel speech");
  check(spd_cancel(other_->spd), "to cancel speech");
}

void SpeechdClient::ping() {
  // A setting that changes nothing: libspeechd's getters read a missing
  // answer and crash when the daemon has died.
  check(spd_set_notification_on(own_->spd, SPD_END), "to answer; it stopped");
}

}  // namespace pelliwick::speechd
