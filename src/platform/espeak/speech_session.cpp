// The speech queue of the espeak-ng engine: what a SAPI voice does between
// Speak and the audio device. Texts wait as texts; a thread of our own
// synthesises them in order, no faster than they are played, into the
// speech stream. Bookmarks, events and audio formats other than the
// stream's are left out.
#include "speech_session.h"

#include <cstdlib>
#include <exception>

#include "failure.h"
#include "speech_text.h"

namespace pelliwick::espeak {

namespace {

// How much of espeak-ng's lead-in a key's echo keeps: 1.5 ms, enough not to
// clip the onset.
constexpr std::size_t kKeptLeadIn = kSampleRate * 3 / 2000;

// How long the synthesis sleeps at a time while it is ahead of playback; a
// purge wakes it sooner.
constexpr std::chrono::milliseconds kThrottleSlice{20};

// The voice that names a key its own voice says nothing for.
constexpr char kNamingVoice[] = "en";

}  // namespace

SpeechSession::SpeechSession(StreamSource streamSource,
                             std::optional<std::filesystem::path> dataFolder)
    : streamSource_(std::move(streamSource)),
      dataFolder_(std::move(dataFolder)) {
  claimLibrary();
  std::vector<std::string> localeOrder = localeLanguages(
      std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
  std::promise<void> started;
  std::future<void> startResult = started.get_future();
  try {
    thread_ = std::thread(&SpeechSession::run, this, std::move(localeOrder),
                          std::move(started));
  } catch (const std::system_error& error) {
    stopLibrary();
    throw Failure(std::string("could not start the speech thread: ") +
                  error.what());
  }
  try {
    startResult.get();
  } catch (...) {
    thread_.join();
    throw;
  }
}

SpeechSession::~SpeechSession() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    dropEverythingLocked();
  }
  workReady_.notify_all();
  thread_.join();
}

void SpeechSession::run(std::vector<std::string> localeOrder,
                        std::promise<void> started) {
  try {
    LibraryData library = startLibrary(dataFolder_);
    libraryFolder_ = std::move(library.folder);
    voices_ = std::move(library.voices);
    putLocaleVoiceFirst(voices_, localeOrder);
  } catch (...) {
    started.set_exception(std::current_exception());
    stopLibrary();
    return;
  }
  started.set_value();

  std::unique_lock lock(mutex_);
  for (;;) {
    workReady_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (stopping_) {
      break;
    }
    Job job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    speakJob(job);
    lock.lock();
  }
  lock.unlock();
  stopLibrary();
}

void SpeechSession::speakJob(const Job& job) {
  std::string error;
  if (!job.utterance.text.empty()) {
    error = synthesise(job);
  }
  if (!job.waited) {
    return;  // nobody asks: a text that failed is simply not heard
  }
  {
    std::lock_guard lock(mutex_);
    if (job.ticket <= abortThrough_) {
      return;  // the purge already settled its outcome
    }
    outcomes_[job.ticket] = {true, false, lastEnd_, error};
  }
  jobDone_.notify_all();
}

std::string SpeechSession::synthesise(const Job& job) {
  const Utterance& utterance = job.utterance;
  currentTicket_ = job.ticket;
  current_ = &utterance;
  scratch_.clear();
  {
    std::lock_guard lock(mutex_);
    jobError_.clear();
  }
  const std::string error =
      espeak::synthesise({utterance.text, utterance.voiceName,
                          utterance.wordsPerMinute, utterance.namesCharacter},
                         *this);
  if (utterance.namesCharacter && error.empty() && !anyAudible(scratch_)) {
    // Many voices have no name for some marks ("\u00be", which the period
    // key types, is silent in most non-English ones): the key is named in
    // English rather than not at all. Should English fail too, the key
    // stays as silent as its own voice left it.
    scratch_.clear();
    espeak::synthesise(
        {utterance.text, kNamingVoice, utterance.wordsPerMinute, true}, *this);
  }
  if (utterance.namesCharacter && error.empty()) {
    // An echo is heard sooner without espeak-ng's lead-in, which is up to
    // 30 ms before a key's name.
    trimLeadingSilence(scratch_, kKeptLeadIn);
    applyVolume(scratch_.data(), scratch_.size(), utterance.volume);
    deliver(scratch_);
  }
  current_ = nullptr;
  std::lock_guard lock(mutex_);
  if (!jobError_.empty()) {
    return jobError_;
  }
  if (!error.empty() && !droppedLocked()) {
    return error;
  }
  return "";
}

bool SpeechSession::onSamples(const short* samples, int count) {
  if (samples == nullptr || count <= 0) {
    std::lock_guard lock(mutex_);
    return droppedLocked();
  }
  if (current_->namesCharacter) {
    // A key's name is short: it is kept whole until its lead-in is cut.
    scratch_.insert(scratch_.end(), samples, samples + count);
    std::lock_guard lock(mutex_);
    return droppedLocked();
  }
  scratch_.assign(samples, samples + count);
  applyVolume(scratch_.data(), scratch_.size(), current_->volume);
  return !deliver(scratch_);
}

// Appends the samples, then holds the synthesis while the stream has more
// than kAhead of them still to play. False when the text was purged meanwhile
// (or the session is stopping): the synthesis is then aborted.
bool SpeechSession::deliver(const std::vector<std::int16_t>& samples) {
  SpeechStream* stream = nullptr;
  std::uint64_t end = 0;
  {
    // Checked and appended under one lock, so that nothing of a purged text
    // reaches the stream after the purge has cleared it.
    std::lock_guard lock(mutex_);
    if (droppedLocked()) {
      return false;
    }
    if (!samples.empty()) {
      try {
        lastEnd_ = stream_->append(samples.data(), samples.size());
      } catch (const std::exception& error) {
        jobError_ =
            std::string("the speech stream refused samples: ") + error.what();
        return false;
      }
    }
    stream = stream_;
    end = lastEnd_;
  }
  // A purge counts what it drops as played, so this wakes at once.
  while (end > kAhead && !stream->waitPlayedFor(end - kAhead, kThrottleSlice)) {
    std::lock_guard lock(mutex_);
    if (droppedLocked()) {
      return false;
    }
  }
  std::lock_guard lock(mutex_);
  return !droppedLocked();
}

bool SpeechSession::droppedLocked() const {
  return stopping_ || currentTicket_ <= abortThrough_;
}

void SpeechSession::checkVoiceLoads(const VoiceInfo& voice) const {
  if (!voiceFilesReadable(libraryFolder_, voice.identifier)) {
    throw Failure("espeak-ng cannot load the voice " + voice.name +
                  ": its file or dictionary is missing from " +
                  libraryFolder_.string());
  }
}

SpeechStream& SpeechSession::stream() {
  std::lock_guard resolving(streamMutex_);
  {
    std::lock_guard lock(mutex_);
    if (stream_ != nullptr) {
      return *stream_;
    }
  }
  SpeechStream& resolved = streamSource_();
  std::lock_guard lock(mutex_);
  stream_ = &resolved;
  return resolved;
}

std::uint64_t SpeechSession::enqueue(Utterance utterance, bool waited) {
  std::uint64_t ticket = 0;
  {
    std::lock_guard lock(mutex_);
    ticket = nextTicket_++;
    if (waited) {
      outcomes_[ticket] = Outcome{};
    }
    queue_.push_back({ticket, std::move(utterance), waited});
  }
  workReady_.notify_one();
  return ticket;
}

void SpeechSession::waitHeard(std::uint64_t ticket,
                              const std::function<bool()>& giveUp) {
  const auto programEnding = [&] {
    if (giveUp && giveUp()) {
      purge();  // settles the outcome as dropped
      return true;
    }
    return false;
  };
  Outcome outcome;
  SpeechStream* stream = nullptr;
  {
    // Texts queued before it are synthesised only as fast as they are
    // played, so this can last as long as hearing them.
    std::unique_lock lock(mutex_);
    while (!jobDone_.wait_for(lock, kGiveUpInterval,
                              [&] { return outcomes_[ticket].done; })) {
      lock.unlock();
      programEnding();
      lock.lock();
    }
    outcome = std::move(outcomes_[ticket]);
    outcomes_.erase(ticket);
    stream = stream_;
  }
  if (!outcome.error.empty()) {
    throw Failure(outcome.error);
  }
  if (outcome.dropped || stream == nullptr) {
    return;
  }
  if (!giveUp) {
    stream->waitPlayed(outcome.end);
    return;
  }
  // The wait ends as soon as the text has been heard or purged; in between
  // it wakes only to ask whether the program is ending.
  while (!stream->waitPlayedFor(outcome.end, kGiveUpInterval)) {
    if (programEnding()) {
      return;
    }
  }
}

void SpeechSession::purge() {
  std::lock_guard lock(mutex_);
  dropEverythingLocked();
  if (stream_ != nullptr) {
    stream_->clear();
  }
}

void SpeechSession::dropEverythingLocked() {
  abortThrough_ = nextTicket_ - 1;
  queue_.clear();
  for (auto& [ticket, outcome] : outcomes_) {
    if (!outcome.done) {
      outcome.done = true;
      outcome.dropped = true;
    }
  }
  jobDone_.notify_all();
}

}  // namespace pelliwick::espeak
