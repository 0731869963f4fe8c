// The speech queue of the espeak-ng engine: what a SAPI voice does between
// Speak and the audio device. Texts wait as texts; a thread of our own
// synthesises them in order, no faster than they are played, into the
// speech stream. Bookmarks, events and audio formats other than the
// stream's are left out.
#include "platform/espeak/speech_session.h"

#include <cstdlib>
#include <exception>

#include "platform/espeak/speech_text.h"
#include "platform/failure.h"

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
  // espeak-ng is started, used and stopped on the worker's thread alone.
  const auto started = worker_.post([this, localeOrder] {
    try {
      LibraryData library = startLibrary(dataFolder_);
      libraryFolder_ = std::move(library.folder);
      voices_ = std::move(library.voices);
      putLocaleVoiceFirst(voices_, localeOrder);
    } catch (...) {
      stopLibrary();
      throw;
    }
  });
  worker_.wait(started, BlockingWorker::kForever);
}

SpeechSession::~SpeechSession() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    dropEverythingLocked();
  }
  worker_.post([] { stopLibrary(); });
  // The jobs hold this session: the thread must end before it goes. A
  // synthesis in progress is cut short at its next chunk.
  worker_.stop(BlockingWorker::kForever);
}

void SpeechSession::speakJob(const Job& job) {
  std::string error;
  if (!job.utterance.text.empty()) {
    {
      std::lock_guard lock(mutex_);
      if (job.ticket <= abortThrough_) {
        return;  // purged while it waited: the purge settled its outcome
      }
    }
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
    heard_[job.ticket] = {true, false, lastEnd_, error};
  }
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
  if (end > kAhead) {
    const auto dropped = [this] {
      std::lock_guard lock(mutex_);
      return droppedLocked();
    };
    const auto played = [&](std::chrono::milliseconds slice) {
      return stream->waitPlayedFor(end - kAhead, slice);
    };
    if (waitAsking(played, BlockingWorker::kForever, dropped, kThrottleSlice) ==
        BlockingWorker::Outcome::GaveUp) {
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
  auto job = std::make_shared<Job>(Job{0, std::move(utterance), waited});
  std::lock_guard lock(mutex_);
  // Numbered by the worker, under the lock that the job takes before it
  // reads its number and that a purge takes to drop everything posted.
  job->ticket = worker_.post([this, job] {
    Job mine;
    {
      std::lock_guard numbered(mutex_);
      mine = std::move(*job);
    }
    speakJob(mine);
  });
  lastPosted_ = job->ticket;
  if (waited) {
    heard_[job->ticket] = Heard{};
  }
  return job->ticket;
}

void SpeechSession::waitHeard(std::uint64_t ticket, const GiveUp& giveUp) {
  const auto programEnding = [&] {
    if (giveUp && giveUp()) {
      purge();  // settles the outcome as dropped
      return true;
    }
    return false;
  };
  // Texts queued before it are synthesised only as fast as they are
  // played, so this can last as long as hearing them.
  GiveUp askEnding;
  if (giveUp) askEnding = programEnding;
  const bool gaveUp =
      worker_.wait(ticket, BlockingWorker::kForever, askEnding) ==
      BlockingWorker::Outcome::GaveUp;
  Heard heard;
  SpeechStream* stream = nullptr;
  {
    std::lock_guard lock(mutex_);
    heard = std::move(heard_[ticket]);
    heard_.erase(ticket);
    stream = stream_;
  }
  if (gaveUp) {
    return;
  }
  if (!heard.error.empty()) {
    throw Failure(heard.error);
  }
  if (heard.dropped || stream == nullptr) {
    return;
  }
  if (!giveUp) {
    stream->waitPlayed(heard.end);
    return;
  }
  // The wait ends as soon as the text has been heard or purged; in between
  // it wakes only to ask whether the program is ending.
  waitAsking(
      [&](std::chrono::milliseconds slice) {
        return stream->waitPlayedFor(heard.end, slice);
      },
      BlockingWorker::kForever, programEnding, kGiveUpInterval);
}

void SpeechSession::purge() {
  std::lock_guard lock(mutex_);
  dropEverythingLocked();
  if (stream_ != nullptr) {
    stream_->clear();
  }
}

void SpeechSession::dropEverythingLocked() {
  // What is still queued runs as nothing, at once.
  abortThrough_ = lastPosted_;
  for (auto& [ticket, heard] : heard_) {
    if (!heard.done) {
      heard.done = true;
      heard.dropped = true;
    }
  }
}

}  // namespace pelliwick::espeak
