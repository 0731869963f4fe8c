#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/blocking/blocking_worker.h"
#include "platform/espeak/espeak_library.h"
#include "platform/espeak/voice_list.h"
#include "platform/speech.h"
#include "platform/speech_stream.h"

namespace pelliwick::espeak {

// One text as it was asked for: voice, rate and volume are fixed when it
// is queued, not when it is synthesised.
struct Utterance {
  std::string text;  // UTF-8; empty means silence
  std::string voiceName;
  int wordsPerMinute = 175;
  int volume = 100;
  // A key's echo: its marks are named and its leading silence is cut.
  bool namesCharacter = false;
};

// The texts to speak, kept as texts, and a thread of our own that
// synthesises them one by one just ahead of playback: the stream never
// holds much more than kAhead of samples not yet played, however much is
// queued.
class SpeechSession : private SampleSink {
 public:
  static constexpr std::uint64_t kAhead = kSampleRate;  // one second

  // Starts espeak-ng (see startLibrary) on the session's thread and lists
  // the voices, the one that fits the player's locale first. Throws Failure
  // when espeak-ng cannot start or another session is running.
  SpeechSession(StreamSource streamSource,
                std::optional<std::filesystem::path> dataFolder);
  // Drops whatever is queued, cuts the synthesis short and stops the thread.
  ~SpeechSession() override;

  SpeechSession(const SpeechSession&) = delete;
  SpeechSession& operator=(const SpeechSession&) = delete;

  const std::vector<VoiceInfo>& voices() const { return voices_; }

  // Throws Failure unless espeak-ng can load the voice (see
  // voiceFilesReadable). Takes a few file reads, and never waits for speech.
  void checkVoiceLoads(const VoiceInfo& voice) const;

  // The stream, asked for the first time it is needed: the sound device
  // does not exist yet when the engine is made.
  SpeechStream& stream();

  // Queues an utterance; returns its ticket for waitHeard when `waited`.
  std::uint64_t enqueue(Utterance utterance, bool waited);

  // Blocks until the waited utterance has been played to its end, or was
  // dropped by a purge. Throws Failure when its synthesis failed. Meanwhile
  // `giveUp` (when set) is asked every kGiveUpInterval whether the program
  // is ending; if so, speech is silenced and the wait ends.
  static constexpr std::chrono::milliseconds kGiveUpInterval =
      BlockingWorker::kAskEvery;
  void waitHeard(std::uint64_t ticket, const GiveUp& giveUp);

  // Drops the queue, aborts the synthesis in progress and clears the stream.
  void purge();

 private:
  struct Job {
    std::uint64_t ticket = 0;
    Utterance utterance;
    bool waited = false;
  };
  // What became of a waited utterance.
  struct Heard {
    bool done = false;
    bool dropped = false;
    std::uint64_t end = 0;
    std::string error;
  };

  void speakJob(const Job& job);
  std::string synthesise(const Job& job);
  bool onSamples(const short* samples, int count) override;
  bool deliver(const std::vector<std::int16_t>& samples);
  bool droppedLocked() const;
  void dropEverythingLocked();

  StreamSource streamSource_;
  std::optional<std::filesystem::path> dataFolder_;
  // Fixed once the thread has started.
  std::filesystem::path libraryFolder_;
  std::vector<VoiceInfo> voices_;

  std::mutex streamMutex_;  // serialises asking for the stream

  std::mutex mutex_;  // guards everything below
  SpeechStream* stream_ = nullptr;
  std::map<std::uint64_t, Heard> heard_;  // of waited jobs only
  std::uint64_t lastPosted_ = 0;
  std::uint64_t abortThrough_ = 0;  // tickets up to this one are dropped
  std::uint64_t lastEnd_ = 0;       // stream position after our last sample
  std::string jobError_;            // failure inside the current synthesis
  bool stopping_ = false;

  // Owned by the thread: the job being synthesised.
  std::uint64_t currentTicket_ = 0;
  const Utterance* current_ = nullptr;
  std::vector<std::int16_t> scratch_;
  // Last, so that it is made after what its jobs use.
  BlockingWorker worker_;
};

}  // namespace pelliwick::espeak
