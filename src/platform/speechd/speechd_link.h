#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pelliwick::speechd {

// One voice speech-dispatcher offers, found by asking each output module.
struct DaemonVoice {
  std::string module;  // the synthesiser, e.g. "espeak-ng"
  std::string name;    // what the voice is set by
  std::string language;
  std::string variant;
};

// What a message is spoken with, on speech-dispatcher's own scales.
struct MessageSettings {
  int rate = 0;    // -100 to 100
  int volume = 0;  // -100 to 100
  // An index into voices(); none means the player's default voice.
  std::optional<std::size_t> voice;
};

struct Limits {
  // Connecting, for a daemon that is absent, stopped or slow.
  std::chrono::milliseconds connect{400};
  // Any other request; a daemon slower than this is taken as gone.
  std::chrono::milliseconds request{1500};
  // Asking every output module for its voices (thousands with espeak-ng).
  std::chrono::milliseconds listing{15000};
};

// A connection to a speech-dispatcher that is already running (one is never
// started), at the address SPEECHD_ADDRESS names or the default one.
//
// libspeechd waits for every answer without a time limit, so all its calls
// run on a thread of this link and each is waited for with a limit: a daemon
// that goes away or stops answering makes the link lost, and from then on
// every call fails at once.
//
// Two client connections: the first never has its voice changed, so it
// always speaks with the player's default output module and voice; the
// second lists the other voices and speaks with them.
class SpeechdLink {
 public:
  // Connects, reads the player's rate and starts listing the voices.
  // Throws Failure when no daemon answers within the limit.
  static std::shared_ptr<SpeechdLink> open(Limits limits = {});

  ~SpeechdLink();
  SpeechdLink(const SpeechdLink&) = delete;
  SpeechdLink& operator=(const SpeechdLink&) = delete;

  // The rate the player configured, on the -100 to 100 scale.
  int defaultRate() const { return defaultRate_; }

  // The voices besides the default, module by module; the first call waits
  // for the listing started by open(). Throws Failure when it failed.
  const std::vector<DaemonVoice>& voices();

  bool lost() const;
  // How many of this program's messages were cancelled so far.
  std::size_t cancelled() const;

  // Queues a text; returns speech-dispatcher's message number.
  std::size_t say(const std::string& text, const MessageSettings& settings);
  // Queues one character, spoken as a character (its name for symbols).
  void sayCharacter(const std::string& character,
                    const MessageSettings& settings);
  // Drops everything this program queued, on both connections.
  void cancel();

  // Returns when message `id` has ended or was cancelled, or at once when
  // `giveUp` says the program is ending (speech is cancelled first). A
  // daemon that does not end it within `limit`, or stops answering, makes
  // the link lost and the call throws Failure.
  void waitHeard(std::size_t id, std::chrono::milliseconds limit,
                 const std::function<bool()>& giveUp);

  struct State;

 private:
  SpeechdLink(std::shared_ptr<State> state, std::thread worker, Limits limits);

  // Runs `job` on the link's thread; throws Failure at once when the link
  // is lost, and marks it lost when the job takes longer than `limit`.
  // A failed job other than a ping is followed by a ping, so that a broken
  // connection is known as lost.
  void run(std::function<void(State&)> job, std::chrono::milliseconds limit,
           bool isPing = false);
  void ping();
  void markLost();

  std::shared_ptr<State> state_;
  std::thread worker_;
  std::future<void> workerEnded_;
  Limits limits_;
  int defaultRate_ = 0;
  std::future<void> listing_;  // valid until the listing is waited for
};

}  // namespace pelliwick::speechd
