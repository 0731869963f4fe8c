#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "speech.h"
#include "speechd_client.h"

namespace pelliwick::speechd {

struct Limits {
  // Everything before the game starts: reaching the daemon, learning that it
  // is speech-dispatcher, and listing its voices. A daemon that is absent,
  // stopped or slow costs the start no more than this.
  std::chrono::milliseconds connect{400};
  // Any other request; a daemon slower than this is taken as gone.
  std::chrono::milliseconds request{500};
  // How long the end of the program waits for the link's thread.
  std::chrono::milliseconds close{100};
};

// A connection to a speech-dispatcher that is already running (one is never
// started), at the address SPEECHD_ADDRESS names or the default one.
//
// libspeechd waits for every answer without a time limit, so all its calls
// run on the link's worker thread and each is waited for with a limit. A
// daemon that hangs up, stops answering or was never speech-dispatcher
// makes the link lost, and from then on every call fails at once.
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

  // The voices besides the default; the first call waits for the listing
  // started by open(), until open()'s limit runs out. Throws Failure, and
  // the link is lost, when the listing failed or did not end in time.
  const std::vector<DaemonVoice>& voices();

  // Also true once the daemon has hung up, noticed without asking it.
  bool lost() const;
  // How many of this program's messages were cancelled so far.
  std::size_t cancelled() const;

  // Queues a text; returns speech-dispatcher's message number. One that is
  // `waited` for does not cut other programs' speech.
  std::size_t say(const std::string& text, const MessageSettings& settings,
                  bool waited);
  // Queues one character, spoken as a character (its name for symbols).
  void sayCharacter(const std::string& character,
                    const MessageSettings& settings);
  // Drops everything this program queued.
  void cancel();

  // Returns when message `id` has ended or was cancelled, or at once when
  // `giveUp` says the program is ending (speech is cancelled first, without
  // waiting). A daemon that does not end it within `limit`, hangs up or
  // stops answering makes the link lost and the call throws Failure.
  void waitHeard(std::size_t id, std::chrono::milliseconds limit,
                 const GiveUp& giveUp);

  struct State;

 private:
  explicit SpeechdLink(Limits limits);

  // Runs `job` on the worker; throws Failure at once when the link is lost,
  // and marks it lost when the job takes longer than the request limit. A
  // failed job is followed by a ping, so that a broken connection is known
  // as lost.
  void run(std::function<void(SpeechdClient&)> job);
  // Queues `job` on the worker, without waiting; it fails when the
  // connection was never made.
  std::uint64_t post(std::function<void(SpeechdClient&)> job);
  void markLost() const;

  Limits limits_;
  std::shared_ptr<State> state_;
  int defaultRate_ = 0;
};

}  // namespace pelliwick::speechd
