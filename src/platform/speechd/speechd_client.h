#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelliwick::speechd {

// One voice speech-dispatcher offers, found by asking an output module.
struct DaemonVoice {
  std::string module;  // the synthesiser, e.g. "rhvoice"
  std::string name;    // what the voice is set by
  std::string language;
  std::string variant;
  bool operator==(const DaemonVoice&) const = default;
};

// What a message is spoken with, on speech-dispatcher's own scales.
struct MessageSettings {
  int rate = 0;    // -100 to 100
  int volume = 0;  // -100 to 100
  // One of the listed voices; none means the player's default voice.
  std::optional<DaemonVoice> voice;
};

// The voices worth offering, from one module's list: none from the modules
// whose voices the embedded engine has already, and no variants (a voice
// with another sound, listed once per voice and variant).
bool offersOwnVoices(const std::string& module);
std::vector<DaemonVoice> withoutVariants(std::vector<DaemonVoice> voices);

// Told of every message of ours that ended or was cancelled, on one of
// libspeechd's threads.
class MessageEvents {
 public:
  virtual ~MessageEvents() = default;
  virtual void finished(std::size_t messageId, bool cancelled) = 0;
};

// The two libspeechd connections of one link, and the calls made on them.
// The first never has its voice changed, so it always speaks with the
// player's default module and voice; the second lists the other voices and
// speaks with them. Every call waits for the daemon without a limit, so
// only the link's worker thread makes them. Each throws Failure when the
// daemon refuses or is gone.
class SpeechdClient {
 public:
  // Connects both, at the address SPEECHD_ADDRESS names or the default.
  explicit SpeechdClient(std::weak_ptr<MessageEvents> events);
  ~SpeechdClient();
  SpeechdClient(const SpeechdClient&) = delete;
  SpeechdClient& operator=(const SpeechdClient&) = delete;

  int defaultRate();
  // The voices of every module worth offering.
  std::vector<DaemonVoice> listVoices();
  // The sockets, to notice a daemon that hung up.
  std::vector<int> sockets() const;

  // A text the game waits for is queued behind other programs' speech;
  // one it does not wait for is spoken at once (see the priorities).
  std::size_t say(const std::string& text, const MessageSettings& settings,
                  bool waited);
  // One character, spoken as a character (its name for symbols).
  void sayCharacter(const std::string& character,
                    const MessageSettings& settings);
  // Drops everything this program queued, on both connections.
  void cancel();
  // A question that changes nothing, to learn whether the daemon answers.
  void ping();

 private:
  struct Connection;
  std::unique_ptr<Connection> own_;
  std::unique_ptr<Connection> other_;
  Connection& connectionFor(const MessageSettings& settings);
  void apply(Connection& connection, const MessageSettings& settings);
};

}  // namespace pelliwick::speechd
