#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/blocking/blocking_worker.h"
#include "platform/speech.h"
#include "platform/speechd/speechd_client.h"

namespace pelliwick::speechd {

struct LinkState;
struct LinkWatch;

struct Limits {
  // Everything before the game starts: reaching the daemon, learning that it
  // is speech-dispatcher, and listing its voices. A daemon that is absent,
  // stopped or slow costs the start no more than this. A daemon that comes
  // back after the link was lost gets as long to answer again.
  std::chrono::milliseconds connect{400};
  // Any request; a daemon slower than this is taken as gone.
  std::chrono::milliseconds request{500};
  // How long the end of the program waits for the link's thread.
  std::chrono::milliseconds close{100};
  // How often a lost link looks for a daemon at the same address.
  std::chrono::milliseconds retry{1000};
};

// A purge or a queued text the link took without waiting and that
// speech-dispatcher has not been heard to finish: handed back when the link
// is lost (or the daemon refused it), to be said another way, in order.
struct Unheard {
  bool purge = false;  // drops what came before it
  std::wstring text;
  int rateStep = 0;  // an echo's is faster
};

// Told, on the link's own thread, when the link was lost, when the daemon
// refused something queued, and when a daemon answers again.
class LinkListener {
 public:
  virtual ~LinkListener() = default;
  virtual void linkChanged() = 0;
};

// A connection to a speech-dispatcher that is already running (one is never
// started), at the address SPEECHD_ADDRESS names or the default one.
//
// libspeechd waits for every answer without a time limit, so all its calls
// run on a worker thread. Purges and queued texts are posted without
// waiting; only a text the game waits for waits, with a limit. A daemon
// that hangs up, stops answering or was never speech-dispatcher makes the
// link lost: what it had not said is handed back, and every call fails at
// once until a daemon answers at the same address again.
class SpeechdLink {
 public:
  // Connects, reads the player's rate and starts listing the voices.
  // Throws Failure when no daemon answers within the limit.
  static std::shared_ptr<SpeechdLink> open(Limits limits = {});

  ~SpeechdLink();
  SpeechdLink(const SpeechdLink&) = delete;
  SpeechdLink& operator=(const SpeechdLink&) = delete;

  // The rate the player configured, on the -100 to 100 scale.
  int defaultRate() const;

  // The voices besides the default, as listed at start; the first call
  // waits for the listing started by open(), until open()'s limit runs out.
  // Throws Failure, and the link is lost, when the listing failed or did
  // not end in time.
  const std::vector<DaemonVoice>& voices();

  // Also true once the daemon has hung up, noticed without asking it.
  bool lost() const;

  // Told of every change; held weakly. Returns once the one told before,
  // if it was being told, is done and let go of: what it speaks with may
  // then go.
  void setListener(std::weak_ptr<LinkListener> listener);
  // What the listener should now say another way: everything unheard once
  // the link is lost, else what the daemon refused. Each entry once.
  std::vector<Unheard> takeUnheard();

  // Queued without waiting. A text is spoken at once, cutting other
  // programs' current speech; a character is read as a character.
  void say(const std::string& text, const MessageSettings& settings,
           Unheard what);
  void sayCharacter(const std::string& character,
                    const MessageSettings& settings, Unheard what);
  // Drops everything this program queued, without waiting.
  void cancel();

  // Says a text behind other programs' speech and returns once it has
  // ended or was cancelled, or at once when `giveUp` says the program is
  // ending (speech is cancelled, without waiting). Throws Failure when the
  // daemon refuses it, or does not end it within `limit`, hangs up or stops
  // answering (the link is then lost).
  void sayAndWait(const std::string& text, const MessageSettings& settings,
                  std::chrono::milliseconds limit, const GiveUp& giveUp);

 private:
  friend struct LinkInspector;  // tests count the cancelled messages
  explicit SpeechdLink(Limits limits);
  std::shared_ptr<LinkState> current() const;
  // Posts `request`, which returns the message it queued or 0, without
  // waiting; throws Failure at once when the link is lost.
  void queue(std::function<std::size_t(SpeechdClient&)> request, Unheard what);

  Limits limits_;
  std::shared_ptr<LinkWatch> watch_;
  // Runs the watcher (see watchLink), which is never waited for.
  BlockingWorker watcher_;
  // The start's listing, until voices() has waited for it.
  std::optional<std::uint64_t> listing_;
  std::chrono::steady_clock::time_point listingDeadline_;
  std::vector<DaemonVoice> voices_;
};

}  // namespace pelliwick::speechd
