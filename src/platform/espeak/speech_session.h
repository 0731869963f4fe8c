#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "speech_stream.h"
#include "voice_list.h"

namespace pelliwick::espeak {

// The speech stream's format; espeak-ng must synthesise at this rate.
constexpr int kSampleRate = 22050;

using StreamSource = std::function<SpeechStream&()>;

// One text as it was asked for: voice, rate and volume are fixed when it
// is queued, not when it is synthesised.
struct Utterance {
  std::string text;  // UTF-8; empty means silence
  std::string voiceName;
  int wordsPerMinute = 175;
  int volume = 100;
};

// espeak-ng running on a thread of its own: the thread makes every
// espeak-ng call, synthesises the queued texts one by one and appends their
// samples to the speech stream. espeak-ng keeps its state in globals, so
// only one session can exist in a process at a time.
class SpeechSession {
 public:
  // Starts espeak-ng with `dataFolder`, or its own data (which honours
  // ESPEAK_DATA_PATH) when none is given, and lists the voices, the one
  // that fits the player's locale first. Throws Failure when espeak-ng
  // cannot start or another session is running.
  SpeechSession(StreamSource streamSource,
                std::optional<std::filesystem::path> dataFolder);
  // Drops whatever is queued, cuts the synthesis short and stops the thread.
  ~SpeechSession();

  SpeechSession(const SpeechSession&) = delete;
  SpeechSession& operator=(const SpeechSession&) = delete;

  const std::vector<VoiceInfo>& voices() const { return voices_; }

  // The stream, asked for the first time it is needed: the sound device
  // does not exist yet when the engine is made.
  SpeechStream& stream();

  // Queues an utterance; returns its ticket for waitHeard when `waited`.
  std::uint64_t enqueue(Utterance utterance, bool waited);

  // Blocks until the waited utterance has been played to its end, or was
  // dropped by a purge. Throws Failure when its synthesis failed. While it
  // plays, `giveUp` (when set) is asked every few milliseconds whether the
  // program is ending; if so, speech is silenced and the wait ends.
  void waitHeard(std::uint64_t ticket, const std::function<bool()>& giveUp);

  // Drops the queue, aborts the synthesis in progress and clears the stream.
  void purge();

  // A text queued without waiting can only fail later: the next call
  // reports it, once.
  void throwDeferredFailure();

 private:
  struct Job {
    std::uint64_t ticket = 0;
    Utterance utterance;
    bool waited = false;
  };
  struct Outcome {
    bool done = false;
    bool dropped = false;
    std::uint64_t end = 0;
    std::string error;
  };

  void run(std::vector<std::string> localeOrder, std::promise<void> started);
  void speakJob(const Job& job);
  std::string synthesise(const Job& job);
  void dropEverythingLocked();

 public:
  // Called from espeak-ng's synthesis callback on the session's thread.
  // Returns true to abort the synthesis.
  bool onSamples(const short* samples, int count);

 private:
  StreamSource streamSource_;
  std::optional<std::filesystem::path> dataFolder_;
  std::vector<VoiceInfo> voices_;  // fixed once the thread has started

  std::mutex streamMutex_;  // serialises asking for the stream

  std::mutex mutex_;  // guards everything below
  std::condition_variable workReady_;
  std::condition_variable jobDone_;
  SpeechStream* stream_ = nullptr;
  std::deque<Job> queue_;
  std::map<std::uint64_t, Outcome> outcomes_;  // of waited jobs only
  std::uint64_t nextTicket_ = 1;
  std::uint64_t abortThrough_ = 0;  // tickets up to this one are dropped
  std::uint64_t lastEnd_ = 0;       // stream position after our last sample
  std::string jobError_;            // failure inside the current synthesis
  std::optional<std::string> deferredError_;
  bool stopping_ = false;

  // Owned by the thread: the job being synthesised.
  std::uint64_t currentTicket_ = 0;
  int currentVolume_ = 100;
  std::vector<std::int16_t> scratch_;
  std::thread thread_;
};

}  // namespace pelliwick::espeak
