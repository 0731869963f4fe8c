#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/speech.h"
#include "platform/speechd/speechd_link.h"

namespace pelliwick::speechd {

// One voice over two engines, as one list: the primary's voice 0 (the
// player's default speech-dispatcher voice), then every embedded voice, then
// the primary's other voices. Rate and volume go to both, so a switch keeps
// them. While the primary is lost, the embedded engine's first voice takes
// over, says what the primary had not said, and the primary's voices are
// not available; once the primary answers again, the voice chosen last
// returns at the next purge.
class JoinedVoice : public SpeechVoice, public LinkListener {
 public:
  struct Primary {
    std::shared_ptr<SpeechVoice> voice;
    int count = 0;  // 1 or more
    std::function<bool()> lost;
    // What the primary took and did not say (see SpeechdLink::takeUnheard);
    // none when unset.
    std::function<std::vector<Unheard>()> unheard;
  };

  JoinedVoice(Primary primary, std::shared_ptr<SpeechVoice> embedded,
              int embeddedCount);

  void selectVoice(int index) override;
  bool voiceAvailable(int index) override;
  int rate() override;
  void setRate(int rate) override;
  void setVolume(int volume) override;
  void speak(const std::wstring& text, unsigned flags) override;
  // On the link's thread.
  void linkChanged() override;

 private:
  bool onPrimarySlot(int index) const;
  std::vector<Unheard> takeUnheard();
  void fallBack();
  void sayElsewhere(const std::vector<Unheard>& entries);

  std::mutex mutex_;  // the game's thread and the link's
  Primary primary_;
  std::shared_ptr<SpeechVoice> embedded_;
  int embeddedCount_;
  int chosen_ = 0;  // the index selected last
  bool onPrimary_ = true;
};

// The engine the game sees: the embedded engine alone when no
// speech-dispatcher answered (`link` is null), else both joined.
class JoinedEngine : public SpeechEngine {
 public:
  JoinedEngine(SpeechEngine& embedded, std::shared_ptr<SpeechdLink> link,
               GiveUp giveUp = {});
  // The link's thread speaks on the embedded engine no more.
  ~JoinedEngine() override;

  std::shared_ptr<SpeechVoice> createVoice() override;

 private:
  SpeechEngine& embedded_;
  std::shared_ptr<SpeechdLink> link_;
  GiveUp giveUp_;
};

// The link to the running speech-dispatcher, or null when none answers:
// its absence is the usual case, not a failure.
std::shared_ptr<SpeechdLink> openLinkIfRunning(Limits limits = {});

}  // namespace pelliwick::speechd
